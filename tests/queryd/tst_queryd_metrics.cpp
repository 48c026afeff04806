// /metrics, /healthz and /readyz: the access rule as data rows, then the
// service over real sockets with fake game servers, its output checked by
// promtool, and the Grafana dashboard against what the service exports.
#include "servicefixture.h"
#include "../history/tempfolder.h"

#include "queryd/historyoptions.h"
#include "queryd/historypoller.h"
#include "queryd/metrics.h"
#include "queryd/metricsoptions.h"
#include "queryd/playerhistory.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>

namespace {

using namespace std::chrono_literals;
using boost::asio::ip::make_address;

TEST(MetricsAccess, FollowsPublicAndTheReadersNamed)
{
    struct Row {
        bool publicService;
        std::vector<std::string> readers; // --metrics-from values
        std::vector<const char *> allowed, refused; // clients
    };
    const Row rows[] = {
        {false, {}, {"203.0.113.9"}, {}},
        {true, {}, {"127.0.0.1", "127.8.9.10", "::1", "::ffff:127.0.0.1"}, {"203.0.113.9", "::ffff:203.0.113.9", "0.0.0.0"}},
        {true, {"192.0.2.0/24"}, {"192.0.2.255", "::ffff:192.0.2.7", "127.0.0.1"}, {"192.0.3.0"}},
        {true, {"198.51.100.0/23"}, {"198.51.101.200"}, {"198.51.102.1"}},
        {true, {"::ffff:10.0.0.0/104"}, {"10.200.0.1"}, {}},
        {true, {"192.0.2.7"}, {"192.0.2.7"}, {"192.0.2.8"}},
        {true, {"2001:db8::/32"}, {"2001:db8:ffff::1"}, {"2001:db9::1", "192.0.2.7"}},
        {true, {"0.0.0.0/0"}, {"198.51.100.1"}, {"2001:db8::1"}},
        {true, {"10.0.0.0/8", "2001:db8::/32"}, {"2001:db8::5"}, {}},
    };
    for (const Row &row : rows) {
        queryd::MetricsOptions options;
        for (const std::string &reader : row.readers)
            options.readers.push_back(*queryd::parseSubnet(reader));
        for (const bool allowed : {true, false})
            for (const char *client : allowed ? row.allowed : row.refused)
                EXPECT_EQ(queryd::mayReadMetrics(options, row.publicService, make_address(client)), allowed)
                    << (row.publicService ? "public, " : "private, ") << row.readers.size() << " readers, client " << client;
    }
}

TEST(ServiceMetrics, PerServerFiguresFollowThePollListWithinTheBound)
{
    queryd::ServiceMetrics metrics(2, {});
    metrics.pollList({{"192.0.2.1", 7777}, {"2001:db8::1", 7777}, {"192.0.2.3", 7777}});
    metrics.queryEnded(onlineResult(4, {"192.0.2.1", 7777}), 1ms);
    metrics.queryEnded(onlineResult(6, {"2001:db8::1", 7777}), 1ms);
    metrics.queryEnded(onlineResult(8, {"192.0.2.3", 7777}), 1ms);   // beyond the bound
    metrics.queryEnded(onlineResult(9, {"198.51.100.1", 7777}), 1ms); // never polled
    std::string text = metrics.text();
    EXPECT_TRUE(containsAll(text, {"skirvane_polled_servers 3\n", "skirvane_server_players{server=\"192.0.2.1:7777\"} 4\n",
                                   "skirvane_server_players{server=\"[2001:db8::1]:7777\"} 6\n",
                                   "skirvane_server_ping_seconds{server=\"192.0.2.1:7777\"} 0.0125\n",
                                   "skirvane_game_queries_total{outcome=\"ok\"} 4\n"}));
    EXPECT_TRUE(containsNone(text, {"192.0.2.3", "198.51.100.1"}));

    ut3::QueryResult silent = onlineResult(0, {"2001:db8::1", 7777});
    silent.state = ut3::QueryState::timeout;
    metrics.queryEnded(silent, 2s);
    metrics.pollList({{"2001:db8::1", 7777}});
    text = metrics.text();
    EXPECT_TRUE(containsNone(text, {"192.0.2.1", "skirvane_server_players{"}));
    EXPECT_TRUE(containsAll(text, {"skirvane_server_up{server=\"[2001:db8::1]:7777\"} 0\n",
                                   "skirvane_game_queries_total{outcome=\"timeout\"} 1\n"}));
}

// The per-server text kept between scrapes, in runs of servers, is the text
// made anew from the same answers.
TEST(ServiceMetrics, KeptServerTextFollowsEachAnswer)
{
    std::vector<ut3::QueryTarget> list;
    std::vector<ut3::QueryResult> latest;
    for (int i = 0; i < 70; ++i) {
        list.push_back({"192.0.2." + std::to_string(i), 7777});
        latest.push_back(onlineResult(i, list.back()));
    }
    queryd::ServiceMetrics kept(100, {});
    kept.pollList(list);
    for (const auto &result : latest)
        kept.queryEnded(result, 1ms);
    kept.text();
    latest[40] = onlineResult(99, {"192.0.2.40", 7777});
    latest[69].state = ut3::QueryState::timeout;
    latest[0].pingMs = 3;
    for (const std::size_t i : {0, 40, 69})
        kept.queryEnded(latest[i], 1ms);

    queryd::ServiceMetrics fresh(100, {});
    fresh.pollList(list);
    for (const auto &result : latest)
        fresh.queryEnded(result, 1ms);
    const auto serverPart = [](const std::string &text) { return text.substr(text.find("# HELP skirvane_server_up")); };
    const std::string text = kept.text();
    EXPECT_EQ(serverPart(text), serverPart(fresh.text()));
    EXPECT_TRUE(containsAll(text, {"skirvane_server_players{server=\"192.0.2.40:7777\"} 99\n",
                                   "skirvane_server_up{server=\"192.0.2.69:7777\"} 0\n"}));
}

// What promtool says of a text, and whether it passed.
std::pair<bool, std::string> promtoolCheck(const std::string &text)
{
    const TempFolder folder;
    const std::string said = (folder / "promtool.out").string();
    FILE *pipe = ::popen((PROMTOOL " check metrics >'" + said + "' 2>&1").c_str(), "w");
    if (!pipe)
        return {false, "cannot start promtool"};
    std::fwrite(text.data(), 1, text.size(), pipe);
    const int status = ::pclose(pipe);
    return {status == 0, fileBytes(said)};
}

// The metric names a dashboard query uses: identifiers before '{', '[' or
// the end that start with the service's prefix; a histogram's series
// count as the histogram.
std::set<std::string> metricsNamed(const std::string &query)
{
    std::set<std::string> names;
    static const std::regex name("skirvane_[a-z_]+");
    for (auto it = std::sregex_iterator(query.begin(), query.end(), name); it != std::sregex_iterator(); ++it)
        names.insert(std::regex_replace(it->str(), std::regex("_(bucket|sum|count)$"), ""));
    return names;
}

std::string familyNames(const std::string &text)
{
    std::string names;
    static const std::regex type("^# TYPE (\\S+) ", std::regex::multiline);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), type); it != std::sregex_iterator(); ++it)
        names += " " + (*it)[1].str() + " ";
    return names;
}

class ServiceMetricsOverHttp : public RunningService {
protected:
    std::shared_ptr<queryd::PlayerHistory> makeHistory(const std::filesystem::path &file)
    {
        return std::make_shared<queryd::PlayerHistory>(queryd::PlayerHistory::Setup{.database = file}, nullptr);
    }

    TempFolder m_folder;
};

TEST_F(ServiceMetricsOverHttp, ShowPagesQueriesAndPolledPlayersAndPassPromtool)
{
    auto history = makeHistory(m_folder / "history.sqlite3");
    auto &busy = addFake(fakeut3::sampleScript("Busy \"Quoted\" Server", "DM-Deck", 7));
    auto &quiet = addFake(fakeut3::sampleScript("Quiet", "CTF-Coret", 2));
    auto options = testOptions();
    options.cacheTime = 1s;
    start(options, history);
    queryd::HistoryOptions polling;
    polling.pollInterval = 200ms;
    m_poller = queryd::startHistoryPolling(m_io, polling, history, service());

    // Users look the servers up once; from then on the service polls them.
    EXPECT_EQ(get(statusTarget("127.0.0.1", busy.port())).status, 200u);
    EXPECT_EQ(get(statusTarget("127.0.0.1", quiet.port()) + "&format=json").status, 200u);
    EXPECT_EQ(get("/no/such/page").status, 404u);

    const auto server = [](const auto &fake) { return "{server=\"127.0.0.1:" + std::to_string(fake.port()) + "\"} "; };
    const std::string busyPlayers = "skirvane_server_players" + server(busy) + "7\n";
    const std::string quietPlayers = "skirvane_server_players" + server(quiet) + "2\n";
    HttpReply metrics;
    waitFor([&] {
        metrics = get("/metrics");
        return contains(metrics.body, busyPlayers) && contains(metrics.body, quietPlayers);
    }, 20s);
    ASSERT_EQ(metrics.status, 200u);
    EXPECT_EQ(metrics.headers["content-type"], "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_TRUE(containsAll(metrics.body, {busyPlayers, quietPlayers, "skirvane_server_max_players" + server(busy) + "32\n",
                                           "skirvane_polled_servers 2\n", "skirvane_http_requests_total{code=\"200\"} ",
                                           "skirvane_http_requests_total{code=\"404\"} 1\n",
                                           "skirvane_history_write_faults_total 0\n", "skirvane_open_connections "}));
    EXPECT_TRUE(containsNone(metrics.body, {"skirvane_open_connections 0\n",
                                            "skirvane_game_queries_total{outcome=\"ok\"} 0\n",
                                            "skirvane_cache_lookups_total{result=\"miss\"} 0\n"}));

    const auto [passed, said] = promtoolCheck(metrics.body);
    EXPECT_TRUE(passed) << said << "\n" << metrics.body;

    // Every query of the dashboard, its variable's too, names only what
    // the service exports.
    std::ifstream file(GRAFANA_DASHBOARD);
    const auto dashboard = nlohmann::json::parse(file);
    std::vector<std::string> queries{dashboard["templating"]["list"][0]["definition"].get<std::string>()};
    for (const auto &panel : dashboard["panels"])
        for (const auto &target : panel["targets"])
            queries.push_back(target["expr"].get<std::string>());
    ASSERT_GE(queries.size(), 6u);
    const std::string exported = familyNames(metrics.body);
    for (const std::string &query : queries) {
        const auto names = metricsNamed(query);
        EXPECT_FALSE(names.empty()) << query;
        for (const std::string &name : names)
            EXPECT_TRUE(contains(exported, " " + name + " ")) << name << " in " << query;
    }
}

TEST_F(ServiceMetricsOverHttp, APublicServiceShowsThemToLoopbackClients)
{
    auto options = testOptions();
    options.publicService = true;
    start(options);
    const HttpReply metrics = get("/metrics");
    EXPECT_EQ(metrics.status, 200u);
    EXPECT_TRUE(contains(metrics.body, "# TYPE skirvane_cache_lookups_total counter\n")) << metrics.body;
}

struct HealthRow {
    std::string name;
    std::string history; // "none", "file", "broken"
    std::string healthz;
    unsigned readyStatus;
    std::string readyz;
};

class Health : public ServiceMetricsOverHttp, public ::testing::WithParamInterface<HealthRow> {};

TEST_P(Health, SaysTheHistoryStoresState)
{
    std::shared_ptr<queryd::PlayerHistory> history;
    if (GetParam().history == "file") {
        history = makeHistory(m_folder / "history.sqlite3");
    } else if (GetParam().history == "broken") {
        std::ofstream(m_folder / "history.sqlite3") << "not a database" << std::string(4096, 'x');
        history = makeHistory(m_folder / "history.sqlite3");
    }
    start(testOptions(), history);
    const HttpReply live = get("/healthz");
    EXPECT_EQ(live.status, 200u);
    EXPECT_EQ(live.headers.at("content-type"), "text/plain; charset=utf-8");
    EXPECT_TRUE(live.body.starts_with(GetParam().healthz)) << live.body;
    const HttpReply ready = get("/readyz");
    EXPECT_EQ(ready.status, GetParam().readyStatus);
    EXPECT_TRUE(ready.body.starts_with(GetParam().readyz)) << ready.body;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Health,
    ::testing::Values(HealthRow{"NoHistory", "none", "ok\nhistory: off\n", 200, "ready\nhistory: off\n"},
                      HealthRow{"WorkingFile", "file", "ok\nhistory: ok\n", 200, "ready\nhistory: ok\n"},
                      HealthRow{"NotADatabase", "broken", "ok\nhistory: unavailable: Cannot", 503,
                                "not ready\nhistory: unavailable: Cannot"}),
    [](const auto &row) { return row.param.name; });

}
