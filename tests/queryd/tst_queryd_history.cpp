#include "servicefixture.h"
#include "../history/tempfolder.h"

#include "queryd/historyoptions.h"
#include "queryd/historypoller.h"
#include "queryd/playerhistory.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

// 2026-12-01 20:00:00 UTC.
constexpr long long evening = 1796155200;

class ServiceHistory : public RunningService {
protected:
    std::shared_ptr<queryd::PlayerHistory> makeHistory(const std::filesystem::path &file)
    {
        return std::make_shared<queryd::PlayerHistory>(
            queryd::PlayerHistory::Setup{.database = file,
                                         .now = [this] { return history::Seconds(std::chrono::seconds(m_clock.load())); },
                                         .utcOffset = [] { return std::chrono::seconds(0); }},
            [this](std::string_view line) {
                std::lock_guard lock(m_logMutex);
                m_log.emplace_back(line);
            });
    }

    std::vector<std::string> log()
    {
        std::lock_guard lock(m_logMutex);
        return m_log;
    }

    // The service with a second cache period, so polls every 300 ms reach
    // the game server about once a second.
    void startWith(std::shared_ptr<queryd::PlayerHistory> history, bool poll)
    {
        auto options = testOptions();
        options.cacheTime = 1s;
        start(options, history);
        if (poll) {
            queryd::HistoryOptions polling;
            polling.pollInterval = 300ms;
            m_poller = queryd::startHistoryPolling(m_io, polling, history, service());
        }
    }

    TempFolder m_folder;
    std::atomic<long long> m_clock{evening};
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
};

}

TEST_F(ServiceHistory, PollingRecordsEachChangeInOrder)
{
    auto history = makeHistory(m_folder / "state/history.sqlite3");
    auto &fake = addFake(fakeut3::sampleScript("Busy Evenings", "DM-Deck", 2));
    startWith(history, true);
    const std::string target = statusTarget("127.0.0.1", fake.port());
    // A user looks the server up once; from then on the service polls it.
    ASSERT_EQ(get(target + "&format=json").status, 200u);
    const int perQuery = fake.requestsSeen();
    ASSERT_GT(perQuery, 0);

    const int counts[] = {5, 1, 4};
    for (int step = 1; step <= 3; ++step) {
        m_clock = evening + step * 300;
        fake.setScript(fakeut3::sampleScript("Busy Evenings", "DM-Deck", counts[step - 1]));
        // Two queries after the change, with no page asked for meanwhile.
        const int before = fake.requestsSeen();
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (fake.requestsSeen() < before + 2 * perQuery && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(50ms);
        ASSERT_GE(fake.requestsSeen(), before + 2 * perQuery) << "no polls at step " << step;
    }
    history->flush();

    const auto json = nlohmann::json::parse(get(target + "&format=json").body);
    ASSERT_TRUE(json["history"].is_array()) << json.dump();
    const nlohmann::json expected = {
        {{"t", "2026-12-01T20:00:00Z"}, {"players", 2}, {"bots", 2}},
        {{"t", "2026-12-01T20:05:00Z"}, {"players", 5}, {"bots", 2}},
        {{"t", "2026-12-01T20:10:00Z"}, {"players", 1}, {"bots", 2}},
        {{"t", "2026-12-01T20:15:00Z"}, {"players", 4}, {"bots", 2}},
    };
    EXPECT_EQ(json["history"], expected);

    const HttpReply page = get(target);
    EXPECT_TRUE(contains(page.body, "<h2>Last 24 hours</h2><svg ")) << page.body;
    EXPECT_TRUE(contains(page.body, "class=\"history-chart\""));
    const HttpReply start = get("/Zyr/04query.html");
    EXPECT_TRUE(contains(start.body, "<span class=\"recent-players\">4 players</span> <svg ")) << start.body;
    EXPECT_TRUE(log().empty()) << log().front();
}

TEST_F(ServiceHistory, AnUnusableFileIsExplainedAndPagesGoOn)
{
    const auto file = m_folder / "history.sqlite3";
    std::ofstream(file) << "not a database <b>at all</b>\n" << std::string(4096, 'x');
    const std::string before = fileBytes(file);
    auto history = makeHistory(file);
    auto &fake = addFake(fakeut3::sampleScript("Still Here", "DM-Deck", 3));
    startWith(history, false);

    const std::string target = statusTarget("127.0.0.1", fake.port());
    for (int i = 0; i < 3; ++i) {
        const HttpReply page = get(target);
        EXPECT_EQ(page.status, 200u);
        EXPECT_TRUE(contains(page.body, "<h1>Still Here</h1>"));
        EXPECT_TRUE(contains(page.body, "History unavailable: Cannot"));
        EXPECT_TRUE(contains(page.body, "file is not a database")) << page.body;
    }
    const auto json = nlohmann::json::parse(get(target + "&format=json").body);
    EXPECT_EQ(json["state"], "online");
    EXPECT_EQ(json["history"], nlohmann::json::array());
    history->flush();
    // Once in the log, however often it shows; the file as it was.
    const auto lines = log();
    ASSERT_EQ(lines.size(), 1u) << lines.back();
    EXPECT_TRUE(lines[0].starts_with("History unavailable: Cannot")) << lines[0];
    EXPECT_TRUE(fileBytes(file) == before) << "the file was changed";
}

TEST_F(ServiceHistory, APageRightAfterAnAnswerShowsIt)
{
    auto history = makeHistory(m_folder / "history.sqlite3");
    ut3::QueryResult result;
    result.query = {"127.0.0.1", 7787};
    result.state = ut3::QueryState::online;
    result.status.emplace();
    result.status->server.numPlayers = 9;
    result.status->server.bots = 1;
    result.status->server.map = "CTF-Coret";
    // Written by the writer thread in its own time; shown at once.
    history->record(result);
    const nlohmann::json expected = {{{"t", "2026-12-01T20:00:00Z"}, {"players", 9}, {"bots", 1}}};
    EXPECT_EQ(history->series(result.query), expected);
    history->flush();
    EXPECT_EQ(history->series(result.query), expected);
}

// A server claiming two billion players, and a history file from elsewhere
// holding such a count: the status page answers as for any other server.
TEST_F(ServiceHistory, HostileCountsAnswerLikeAnyOther)
{
    auto script = fakeut3::sampleScript("Two Billion", "DM-Deck", 1);
    for (auto &[key, value] : script.keys)
        if (key == "numplayers" || key == "maxplayers" || key == "p268435703")
            value = "2147483647";
    auto &fake = addFake(script);
    const auto file = m_folder / "history.sqlite3";
    {
        auto store = history::Store::open(file);
        ASSERT_TRUE(store) << store.fault().message;
        ASSERT_FALSE(store->noteLookup({"127.0.0.1", fake.port()}, history::Seconds(std::chrono::seconds(evening))));
    }
    sqlite3 *db = nullptr;
    sqlite3_open(file.c_str(), &db);
    const std::string row = "INSERT INTO samples(server_id, t, players, bots) VALUES(1, " + std::to_string(evening - 600)
        + ", 2147483647, 2147483647)";
    ASSERT_EQ(sqlite3_exec(db, row.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    startWith(makeHistory(file), false);

    const std::string target = statusTarget("127.0.0.1", fake.port());
    const HttpReply page = get(target);
    EXPECT_EQ(page.status, 200u);
    EXPECT_TRUE(contains(page.body, "<h1>Two Billion</h1>"));
    EXPECT_TRUE(contains(page.body, ">100000</text>")) << page.body;
    const auto json = nlohmann::json::parse(get(target + "&format=json").body);
    EXPECT_TRUE(json["server"]["numPlayers"].is_null()) << json.dump();
    EXPECT_EQ(json["history"].back(), (nlohmann::json{{"t", "2026-12-01T20:00:00Z"}, {"players", 1}, {"bots", 0}}));
}

TEST(HistoryOptions, TakesItsOwnAndLeavesTheRest)
{
    std::vector<std::string> arguments = {"--db", "/srv/h.sqlite3", "--listen", "127.0.0.1:8650", "--poll-interval=60",
                                          "--no-poll", "--keep-days", "7"};
    queryd::HistoryOptions options;
    EXPECT_EQ(queryd::takeHistoryOptions(arguments, options), std::nullopt);
    EXPECT_EQ(arguments, (std::vector<std::string>{"--listen", "127.0.0.1:8650"}));
    EXPECT_EQ(options.database, std::filesystem::path("/srv/h.sqlite3"));
    EXPECT_EQ(options.pollInterval, 60s);
    EXPECT_FALSE(options.poll);
    EXPECT_EQ(options.keep, std::chrono::days(7));

    const std::string help = queryd::historyHelp();
    for (const char *option : {"--db PATH", "--keep-days N", "--db-max-mb N", "--no-history", "--poll-interval N",
                               "--poll-days N", "--poll-in-flight N", "--no-poll"})
        EXPECT_NE(help.find(std::string("  ") + option + " "), std::string::npos) << option;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 79u) << line;

    for (const auto &bad : {std::vector<std::string>{"--poll-interval", "5 minutes"}, {"--keep-days=0"}, {"--db"}}) {
        auto copy = bad;
        const auto error = queryd::takeHistoryOptions(copy, options);
        ASSERT_TRUE(error) << bad[0];
        EXPECT_TRUE(error->starts_with(bad[0].substr(0, bad[0].find('=')))) << *error;
    }
}
