// The servers a community watches: the server list, the live board, the
// player pages and the start page's "Live now".
#include "servicefixture.h"
#include "../history/tempfolder.h"

#include "queryd/historyoptions.h"
#include "queryd/historypoller.h"
#include "queryd/liveboard.h"
#include "queryd/playerhistory.h"
#include "queryd/playerpage.h"
#include "queryd/polllist.h"

#include <boost/asio/post.hpp>

#include <nlohmann/json.hpp>

#include <fstream>
#include <future>

namespace {

using namespace std::chrono_literals;

// 2026-12-01 20:00:00 UTC.
constexpr long long evening = 1796155200;

history::Seconds at(long long seconds)
{
    return history::Seconds(std::chrono::seconds(seconds));
}

ut3::ListedServer listed(const std::string &host, std::uint16_t port, std::uint16_t webPort = 0)
{
    return {{host, port}, webPort, 1};
}

queryd::PolledServer lookedUp(const std::string &host, std::uint16_t port)
{
    return {{host, port}, 0, false};
}

TEST(PollList, ListedServersComeFirstAndTheBoundDropsTheOldestLookups)
{
    const std::vector<ut3::ListedServer> list{listed("a", 1, 8080), listed("b", 1)};
    const std::vector<queryd::PolledServer> recent{lookedUp("c", 1), lookedUp("a", 1), lookedUp("d", 1)};
    using Polled = std::vector<queryd::PolledServer>;
    EXPECT_EQ(queryd::composePollList(list, recent, 10),
              (Polled{{{"a", 1}, 8080, true}, {{"b", 1}, 0, true}, lookedUp("c", 1), lookedUp("d", 1)}));
    EXPECT_EQ(queryd::composePollList(list, recent, 3), (Polled{{{"a", 1}, 8080, true}, {{"b", 1}, 0, true}, lookedUp("c", 1)}));
    EXPECT_EQ(queryd::composePollList(list, recent, 1), (Polled{{{"a", 1}, 8080, true}}));
}

TEST(PollList, ABadFileStopsTheStartAndOnReloadKeepsTheOldList)
{
    TempFolder folder;
    const std::string path = (folder / "servers").string();
    std::ofstream(path) << "# ours\n8.8.4.4:6500 8080\n\n9.9.9.9\n";
    auto servers = queryd::loadServerList(path, true);
    ASSERT_TRUE(servers) << servers.fault().message;
    ASSERT_EQ(servers->size(), 2u);

    struct Row {
        std::string text;
        bool publicService;
        std::string message;
    };
    for (const Row &row : {Row{"8.8.4.4\n10.1.2.3:7000\n", true,
                               path + ":2: 10.1.2.3 is a private address; this public service queries only game servers on the internet."},
                           Row{"8.8.4.4 80 81\n", false, path + ":1: only a web port may follow the server"}}) {
        std::ofstream(path) << row.text;
        auto kept = *servers;
        EXPECT_EQ(queryd::reloadServerList(path, row.publicService, kept), row.message + "; still polling the 2 servers read before");
        EXPECT_EQ(kept.size(), 2u);
        EXPECT_EQ(kept[0].webPort, 8080);
    }
    std::ofstream(path) << "10.1.2.3:7000\n";
    auto kept = *servers;
    EXPECT_EQ(queryd::reloadServerList(path, false, kept), "read 1 servers from " + path);
    EXPECT_EQ(kept[0].target.host, "10.1.2.3");
}

queryd::BoardRow row(std::string name, std::string map, int players, bool answered)
{
    queryd::BoardRow row;
    row.address = "203.0.113.9";
    row.name = std::move(name);
    row.map = std::move(map);
    row.players = players;
    row.answered = answered;
    return row;
}

std::vector<std::string> names(const std::vector<queryd::BoardRow> &rows)
{
    std::vector<std::string> shown;
    for (const auto &row : rows)
        shown.push_back(row.name);
    return shown;
}

TEST(Board, OrderAndFilters)
{
    std::vector<queryd::BoardRow> rows{row("beta", "DM-Deck", 3, true), row("Gone", "DM-Deck", 9, false),
                                       row("alpha", "CTF-Face", 3, true), row("Empty [100%]", "VCTF-Suspense", 0, true),
                                       row("", "DM-Deck", 5, true)};
    queryd::sortBoard(rows);
    // Most humans first, then by name (the address for a server without one);
    // the ones that did not answer last.
    EXPECT_EQ(names(rows), (std::vector<std::string>{"", "alpha", "beta", "Empty [100%]", "Gone"}));
    struct Filter {
        queryd::BoardFilter filter;
        std::vector<std::string> kept;
    };
    for (const auto &[filter, kept] :
         {Filter{{"", true}, {"", "alpha", "beta"}}, Filter{{"DECK", false}, {"", "beta", "Gone"}},
          Filter{{"deck", true}, {"", "beta"}}, Filter{{"[100%]", false}, {"Empty [100%]"}}, Filter{{"%", false}, {"Empty [100%]"}},
          Filter{{"face", false}, {"alpha"}}})
        EXPECT_EQ(names(queryd::filterBoard(rows, filter)), kept) << filter.text;
}

// The whole board rendered row by row between changes is the board rendered
// at once: a changed, added, dropped or moved row shows as it is now.
TEST(Board, RenderedRowByRowAsAtOnce)
{
    std::vector<queryd::BoardRow> rows;
    for (int i = 0; i < 4; ++i) {
        rows.push_back(row("Server " + std::to_string(i), "DM-Deck", i, true));
        rows.back().queryPort = static_cast<std::uint16_t>(7777 + i);
    }
    queryd::BoardRendering rendering;
    const auto same = [&](const char *step) {
        rendering.render(rows);
        EXPECT_EQ(rendering.page(), queryd::boardPage(rows, {})) << step;
        EXPECT_EQ(rendering.json(), queryd::boardJson(rows)) << step;
    };
    same("first");
    rows[1].players = 9;
    rows[1].map = "<b>CTF-Face</b>";
    same("an answer");
    std::swap(rows[0], rows[3]);
    rows.erase(rows.begin() + 2);
    rows.push_back(row("New", "DM-Deck", 0, false));
    same("moved, dropped and added");
    rows.clear();
    same("empty");
    EXPECT_NE(rendering.page().find("No server to show."), std::string::npos);
    EXPECT_EQ(rendering.json(), "{\"servers\":[]}\n");
}

TEST(PlayerPage, SessionsAndTimePlayedPerServer)
{
    const history::ServerKey a{"203.0.113.9", 6500}, b{"198.51.100.7", 6500};
    const auto page = queryd::playerPage({{"Carol", b, "B", at(evening + 900), at(evening + 1200), true, true},
                                          {"carol", a, "A", at(evening + 600), at(evening + 700), false, false},
                                          {"Carol", b, "B", at(evening - 3600), at(evening - 3000), false, false},
                                          {"Carol", a, "A", at(evening), at(evening + 300), false, false}});
    EXPECT_EQ(page.name, "Carol");
    ASSERT_TRUE(page.online);
    EXPECT_EQ(page.online->server, b);
    ASSERT_EQ(page.perServer.size(), 2u);
    EXPECT_EQ(page.perServer[0].server, b);
    EXPECT_EQ(page.perServer[0].time, 900s);
    EXPECT_EQ(page.perServer[1].time, 400s);
    EXPECT_EQ(queryd::playerLink("A b&c/é"), "/player?name=A%20b%26c%2F%C3%A9");
    EXPECT_FALSE(queryd::hasPlayerPage("é"));
    EXPECT_TRUE(queryd::hasPlayerPage("éé"));
    EXPECT_FALSE(queryd::hasPlayerPage(std::string(33, 'a')));
}

// A server with these players on it.
fakeut3::Script withPlayers(const std::string &server, const std::string &map, std::vector<std::string> names)
{
    auto script = fakeut3::sampleScript(server, map, static_cast<int>(names.size()));
    script.players[0].second = std::move(names);
    return script;
}

class Community : public RunningService {
protected:
    std::shared_ptr<queryd::PlayerHistory> makeHistory(bool keepNames = true)
    {
        return std::make_shared<queryd::PlayerHistory>(
            queryd::PlayerHistory::Setup{.database = m_folder / "history.sqlite3",
                                         .keepNames = keepNames,
                                         .now = [this] { return at(m_clock.load()); },
                                         .utcOffset = [] { return std::chrono::seconds(0); }},
            queryd::PlayerHistory::Log{});
    }

    static queryd::ServiceOptions options()
    {
        auto options = testOptions();
        options.cacheTime = 1s;
        return options;
    }

    // Stops polling on the service's thread, so that no packet goes out after.
    void stopPolling()
    {
        std::promise<void> stopped;
        boost::asio::post(m_io, [&] {
            m_poller->stop();
            stopped.set_value();
        });
        stopped.get_future().wait();
    }

    nlohmann::json json(const std::string &target) { return nlohmann::json::parse(get(target).body); }

    TempFolder m_folder;
    std::atomic<long long> m_clock{evening};
};

TEST_F(Community, ListedServersAreOnTheBoardAndInTheSearchWithoutALookup)
{
    auto &busy = addFake(withPlayers("Busy <b>", "DM-Deck", {"Ann", "Bob"}));
    auto &quiet = addFake(withPlayers("Quiet", "CTF-Face", {}));
    const auto closed = fakeut3::closedEndpoint();
    auto history = makeHistory();
    history->setListedServers({listed("127.0.0.1", quiet.port()), listed("127.0.0.1", busy.port(), 8080),
                               listed("127.0.0.1", closed.port())});
    start(options(), history);
    queryd::HistoryOptions polling;
    polling.pollInterval = 300ms;
    m_poller = queryd::startHistoryPolling(m_io, polling, history, service());

    const auto answered = [&](const nlohmann::json &board) {
        return board["servers"].size() == 3 && board["servers"][1]["answered"] == true;
    };
    ASSERT_TRUE(waitFor([&] { return answered(json("/servers?format=json")); }, 10s));
    stopPolling();
    history->flush();
    const int packets = busy.requestsSeen() + quiet.requestsSeen();

    const auto board = json("/servers?format=json");
    const auto server = [](const nlohmann::json &row) { return row["name"].get<std::string>() + " " + row["map"].get<std::string>(); };
    ASSERT_EQ(board["servers"].size(), 3u) << board.dump();
    EXPECT_EQ(server(board["servers"][0]), "Busy <b> DM-Deck");
    EXPECT_EQ(server(board["servers"][1]), "Quiet CTF-Face");
    const auto &first = board["servers"][0];
    EXPECT_EQ(first["webPort"], 8080);
    EXPECT_EQ(first["players"], 2);
    EXPECT_EQ(first["lastAnswer"], "2026-12-01T20:00:00Z");
    EXPECT_EQ(board["servers"][2]["answered"], false);
    EXPECT_EQ(board["servers"][2]["lastAnswer"], nullptr);
    EXPECT_EQ(json("/servers?players=1&format=json")["servers"].size(), 1u);
    EXPECT_EQ(json("/servers?q=face&format=json")["servers"][0]["name"], "Quiet");
    const HttpReply page = get("/servers?q=%3Cb");
    EXPECT_EQ(page.status, 200u);
    EXPECT_TRUE(containsAll(page.body, {"<bdi>Busy &lt;b&gt;</bdi></a>", "value=\"&lt;b\""})) << page.body;
    EXPECT_FALSE(contains(page.body, "Quiet"));
    EXPECT_EQ(get("/servers?players=2").status, 400u);
    EXPECT_EQ(busy.requestsSeen() + quiet.requestsSeen(), packets) << "the board asks no game server";

    // Found by the player search though nobody looked the server up.
    const auto found = json("/players?name=ann&format=json");
    ASSERT_EQ(found["matches"].size(), 1u) << found.dump();
    EXPECT_EQ(found["matches"][0]["server"]["webPort"], 8080);

    const HttpReply start = get("/Zyr/04query.html");
    EXPECT_TRUE(containsAll(start.body, {"<h2>Live now</h2>", "<bdi>Busy &lt;b&gt;</bdi></a> <span class=\"recent-players\">2 players</span>",
                                         "<a href=\"/servers\">"}))
        << start.body;
    EXPECT_LT(start.body.find("Live now"), start.body.find("No server has been looked up")) << start.body;
    EXPECT_FALSE(contains(start.body, ">Quiet<")) << "nobody plays there";
}

TEST_F(Community, APlayerSeenOnTwoServersAndALookupListedAtOnce)
{
    auto &a = addFake(withPlayers("Server A", "DM-Deck", {"Carol", "Dan"}));
    auto &b = addFake(withPlayers("Server B", "CTF-Face", {}));
    auto history = makeHistory();
    start(options(), history);
    const auto look = [&](fakeut3::FakeServer &fake, long long time) {
        m_clock = evening + time;
        advanceClock(options().cacheTime);
        return get(statusTarget("127.0.0.1", fake.port(), 7780));
    };
    look(a, 0);
    // The page right after the lookup lists it, before the writer thread has it.
    EXPECT_TRUE(contains(get("/Zyr/04query.html").body, ">Server A</a>"));
    look(a, 300);
    a.setScript(withPlayers("Server A", "DM-Deck", {"Dan"}));
    look(a, 600);
    b.setScript(withPlayers("Server B", "CTF-Face", {"CAROL"}));
    look(b, 900);
    history->flush();

    const nlohmann::json serverA = {{"address", "127.0.0.1"}, {"queryPort", a.port()}, {"webPort", 7780}, {"name", "Server A"}},
                         serverB = {{"address", "127.0.0.1"}, {"queryPort", b.port()}, {"webPort", 7780}, {"name", "Server B"}};
    const auto page = json("/player?name=carol&format=json");
    EXPECT_EQ(page, (nlohmann::json{{"name", "CAROL"},
                                    {"online", {{"server", serverB}, {"since", "2026-12-01T20:15:00Z"}}},
                                    {"sessions",
                                     {{{"server", serverB}, {"from", "2026-12-01T20:15:00Z"}, {"to", nullptr}},
                                      {{"server", serverA}, {"from", "2026-12-01T20:00:00Z"}, {"to", "2026-12-01T20:05:00Z"}}}},
                                    {"perServer", {{{"server", serverA}, {"seconds", 300}}, {{"server", serverB}, {"seconds", 0}}}}}))
        << page.dump();
    const HttpReply html = get("/player?name=Carol");
    EXPECT_TRUE(containsAll(html.body, {"<h1><bdi>CAROL</bdi></h1>", "<span class=\"online\">Playing now</span> on ",
                                        "0 h 05 min"}))
        << html.body;
    EXPECT_EQ(get("/player?name=Nobody").status, 404u);
    EXPECT_EQ(get("/player?name=C").status, 400u);

    restart(options(), makeHistory(false));
    for (const std::string target : {"/player?name=Carol", "/players?name=Carol"}) {
        const HttpReply none = get(target);
        EXPECT_EQ(none.status, 404u);
        EXPECT_TRUE(contains(none.body, "keeps no player names")) << none.body;
    }
}

}
