#include "servicefixture.h"
#include "../history/tempfolder.h"

#include "queryd/historyoptions.h"
#include "queryd/options.h"
#include "queryd/historypoller.h"
#include "queryd/playerhistory.h"

#include "history/sqlitestore.h"
#include "common/utctime.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <fstream>
#include <mutex>

namespace {

using namespace std::chrono_literals;

// 2026-12-01 20:00:00 UTC.
constexpr long long evening = 1796155200;

class ServiceHistory : public RunningService {
protected:
    std::shared_ptr<queryd::PlayerHistory> makeHistory(const std::filesystem::path &file, bool keepNames = true)
    {
        return std::make_shared<queryd::PlayerHistory>(
            queryd::PlayerHistory::Setup{.database = file,
                                         .keepNames = keepNames,
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

    // A second's cache period, so that polls every 300 ms reach the game
    // server about once a second.
    static queryd::ServiceOptions historyOptions()
    {
        auto options = testOptions();
        options.cacheTime = 1s;
        return options;
    }

    void startWith(std::shared_ptr<queryd::PlayerHistory> history, bool poll)
    {
        start(historyOptions(), history);
        if (poll) {
            queryd::HistoryOptions polling;
            polling.pollInterval = 300ms;
            m_poller = queryd::startHistoryPolling(m_io, polling, history, service());
        }
    }

    TempFolder m_folder;
    const std::filesystem::path m_file = m_folder / "history.sqlite3";
    std::atomic<long long> m_clock{evening};
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
};

// The steps of a day that have an answer, as "HH:MM players/bots".
std::vector<std::string> answered(const std::optional<history::Series> &day)
{
    std::vector<std::string> steps;
    for (std::size_t i = 0; day && i < day->steps.size(); ++i)
        if (const auto &count = day->steps[i])
            steps.push_back(common::utcTime(day->start + day->step * static_cast<long>(i), "%H:%M ")
                            + std::to_string(count->players) + "/" + std::to_string(count->bots));
    return steps;
}

// Whether the status page's history section says why it cannot be shown.
bool saysUnavailable(queryd::PlayerHistory &history, const ut3::QueryTarget &server)
{
    const auto past = history.past(server);
    return past && past->troubled;
}

// A server with these players on it.
fakeut3::Script withPlayers(const std::string &server, std::vector<std::string> names)
{
    auto script = fakeut3::sampleScript(server, "DM-Deck", static_cast<int>(names.size()));
    script.players[0].second = std::move(names);
    return script;
}

}

TEST_F(ServiceHistory, PlayersAreSeenAndFoundAndTheStartPageSurvivesARestart)
{
    auto history = makeHistory(m_file);
    // Markup, a quote, a right-to-left override and a control byte; the
    // last two as the engine decodes them.
    const std::string hostile = "<b>Ann</b> \"\u202e\x07", shown = "<b>Ann</b> \"\ufffd\ufffd";
    auto &fake = addFake(withPlayers("Lately <3", {hostile, "Bob_%"}));
    startWith(history, false);
    const std::string target = statusTarget("127.0.0.1", fake.port(), 7780);
    EXPECT_TRUE(contains(get("/Zyr/04query.html").body, "No server has been looked up"));
    get(statusTarget("127.0.0.1", fakeut3::closedEndpoint().port())); // no answer: never listed
    ASSERT_EQ(get(target).status, 200u);
    history->flush();
    const auto during = nlohmann::json::parse(get(target + "&format=json").body);
    const nlohmann::json fromEight = {{{"from", "2026-12-01T20:00:00Z"}, {"to", "2026-12-01T20:00:00Z"}}};
    EXPECT_EQ(during["seen"], (nlohmann::json{{{"name", shown}, {"online", true}, {"sessions", fromEight}},
                                              {{"name", "Bob_%"}, {"online", true}, {"sessions", fromEight}}}))
        << during["seen"].dump();

    // Ann leaves; Bob stays.
    m_clock = evening + 600;
    fake.setScript(withPlayers("Lately <3", {"Bob_%"}));
    advanceClock(historyOptions().cacheTime); // the next answer comes from the server, not the cache
    const HttpReply page = get(target);
    history->flush();
    EXPECT_TRUE(containsAll(page.body, {"<h3>Seen in the last 24 hours</h3>",
                                        "<bdi class=\"name\">Bob_%</bdi> <span class=\"online\">online</span> "
                                        "<span class=\"quiet\">20:00–20:10</span>",
                                        "<bdi class=\"name\">&lt;b&gt;Ann&lt;/b&gt; &quot;\ufffd\ufffd</bdi> "
                                        "<span class=\"quiet\">20:00–20:00</span>"}));

    const auto found = nlohmann::json::parse(get("/players?name=aNN&format=json").body);
    const nlohmann::json server = {{"address", "127.0.0.1"}, {"queryPort", fake.port()}, {"name", "Lately <3"}};
    EXPECT_EQ(found, (nlohmann::json{{"query", "aNN"},
                                     {"matches",
                                      {{{"name", shown}, {"online", false}, {"lastSeen", "2026-12-01T20:00:00Z"},
                                        {"server", server}}}}}));
    const HttpReply search = get("/players?name=b_%25");
    EXPECT_EQ(search.status, 200u);
    EXPECT_TRUE(contains(search.body, "<td><bdi>Bob_%</bdi></td><td><a href=\"/Zyr/Skirvane/skirvane.php?serverip=127.0.0.1&amp;"
                                      "serverqport=" + std::to_string(fake.port()) + "&amp;serverwport=0\"><bdi>Lately &lt;3</bdi></a></td>"
                                      "<td class=\"online\">online now</td>"))
        << search.body;
    EXPECT_EQ(occurrences(search.body, "<tr><td>"), 1u) << "the name with an underscore alone";
    const HttpReply tooShort = get("/players?name=a");
    EXPECT_EQ(tooShort.status, 400u);
    EXPECT_TRUE(contains(tooShort.body, "The name must be 2 to 32 characters")) << tooShort.body;
    EXPECT_EQ(get("/players?name=%FF%FE").status, 400u);

    // A new start of the program knows the server from the file, with the
    // web port it was asked with.
    history.reset();
    restart(historyOptions(), makeHistory(m_file));
    const HttpReply start = get("/Zyr/04query.html");
    EXPECT_TRUE(containsAll(start.body, {"<a href=\"/Zyr/Skirvane/skirvane.php?serverip=127.0.0.1&amp;serverqport="
                                             + std::to_string(fake.port()) + "&amp;serverwport=7780\">Lately &lt;3</a>",
                                         "<span class=\"recent-players\">1 player</span> <svg ",
                                         "<form class=\"search\" method=\"get\" action=\"/players\">"}));
    EXPECT_EQ(occurrences(start.body, "<li><a href"), 1u);
}

TEST_F(ServiceHistory, WithoutPlayerNamesOnlyCountsAreKept)
{
    auto history = makeHistory(m_file, false);
    auto &fake = addFake(withPlayers("Private Games", {"Annabel", "Bobbity"}));
    startWith(history, false);
    const std::string target = statusTarget("127.0.0.1", fake.port());
    const auto json = nlohmann::json::parse(get(target + "&format=json").body);
    EXPECT_FALSE(json.contains("seen"));
    EXPECT_FALSE(contains(get(target).body, "Seen in the last"));
    EXPECT_EQ(get("/players?name=anna").status, 404u);
    EXPECT_FALSE(contains(get("/Zyr/04query.html").body, "<form"));
    history->flush();
    EXPECT_EQ(sqlValue(m_file, "SELECT count(*) FROM samples"), 1);
    const std::string bytes = fileBytes(m_file) + fileBytes(m_file.string() + "-wal");
    EXPECT_TRUE(contains(bytes, "Private Games")) << "the file holds the server";
    EXPECT_TRUE(containsNone(bytes, {"Annabel", "Bobbity"}));
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
        ASSERT_TRUE(waitFor([&] { return fake.requestsSeen() >= before + 2 * perQuery; }, 20s)) << "no polls at step " << step;
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
    EXPECT_TRUE(containsAll(page.body, {"<h2>Last 24 hours</h2><svg ", "class=\"history-chart\""}));
    const HttpReply start = get("/Zyr/04query.html");
    EXPECT_TRUE(contains(start.body, "<span class=\"recent-players\">4 players</span> <svg ")) << start.body;
    EXPECT_TRUE(log().empty()) << log().front();
}

TEST_F(ServiceHistory, AnUnusableFileIsExplainedAndPagesGoOn)
{
    std::ofstream(m_file) << "not a database <b>at all</b>\n" << std::string(4096, 'x');
    const std::string before = fileBytes(m_file);
    auto history = makeHistory(m_file);
    auto &fake = addFake(fakeut3::sampleScript("Still Here", "DM-Deck", 3));
    startWith(history, false);

    const std::string target = statusTarget("127.0.0.1", fake.port());
    for (int i = 0; i < 3; ++i) {
        const HttpReply page = get(target);
        EXPECT_EQ(page.status, 200u);
        // Where the file is and what is wrong with it are the operators'.
        EXPECT_TRUE(containsAll(page.body, {"<h1>Still Here</h1>", "History unavailable."}));
        EXPECT_FALSE(contains(page.body, "not a database") || contains(page.body, m_folder.path().string())) << page.body;
    }
    const auto json = nlohmann::json::parse(get(target + "&format=json").body);
    EXPECT_EQ(json["state"], "online");
    EXPECT_EQ(json["history"], nlohmann::json::array());
    history->flush();
    // Once in the log, however often it shows; the file as it was.
    const auto lines = log();
    ASSERT_EQ(lines.size(), 1u) << lines.back();
    EXPECT_TRUE(lines[0].starts_with("History unavailable: Cannot")) << lines[0];
    EXPECT_TRUE(containsAll(lines[0], {m_file.string(), "file is not a database"})) << lines[0];
    EXPECT_TRUE(fileBytes(m_file) == before) << "the file was changed";
}

TEST_F(ServiceHistory, APageRightAfterAnAnswerShowsIt)
{
    auto history = makeHistory(m_file);
    ut3::QueryResult result = onlineResult(9);
    result.status->server.bots = 1;
    result.status->server.map = "CTF-Coret";
    // Written by the writer thread in its own time; shown at once.
    history->record(result);
    const std::vector<std::string> expected = {"20:00 9/1"};
    EXPECT_EQ(answered(history->daySeries(result.query)), expected);
    history->flush();
    EXPECT_EQ(answered(history->daySeries(result.query)), expected);
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
    {
        auto store = history::SqliteStore::open(m_file);
        ASSERT_TRUE(store) << store.fault().message;
        ASSERT_TRUE((*store)->noteLookup({"127.0.0.1", fake.port()}, {}, history::Seconds(std::chrono::seconds(evening))).ok());
    }
    ASSERT_EQ(sqlExec(m_file, "INSERT INTO samples(server_id, t, players, bots) VALUES(1, " + std::to_string(evening - 600)
                                + ", 2147483647, 2147483647)"),
              SQLITE_OK);
    startWith(makeHistory(m_file), false);

    const std::string target = statusTarget("127.0.0.1", fake.port());
    const HttpReply page = get(target);
    EXPECT_EQ(page.status, 200u);
    EXPECT_TRUE(containsAll(page.body, {"<h1>Two Billion</h1>", ">100000</text>"}));
    const auto json = nlohmann::json::parse(get(target + "&format=json").body);
    EXPECT_TRUE(json["server"]["numPlayers"].is_null()) << json.dump();
    EXPECT_EQ(json["history"].back(), (nlohmann::json{{"t", "2026-12-01T20:00:00Z"}, {"players", 1}, {"bots", 0}}));
}

// A damaged table: the reader and the writer meet faults of their own, on
// every page and every answer. Each is logged once a minute, not each time.
TEST_F(ServiceHistory, EachFaultIsLoggedOnceAMinute)
{
    {
        auto store = history::SqliteStore::open(m_file);
        std::vector<history::Sample> samples;
        for (long long t = evening - 7 * 86400; t < evening; t += 300)
            samples.push_back({{"127.0.0.1", 7787}, history::Seconds(std::chrono::seconds(t)), 3, 0, "DM-Deck"});
        ASSERT_TRUE((*store)->record(samples).ok());
    }
    const long long root = sqlValue(m_file, "SELECT rootpage FROM sqlite_schema WHERE name = 'samples'");
    const long long pageSize = sqlValue(m_file, "PRAGMA page_size");
    ASSERT_GT(root, 1);
    std::fstream(m_file, std::ios::in | std::ios::out | std::ios::binary).seekp((root - 1) * pageSize)
        << std::string(static_cast<std::size_t>(pageSize), '\xFF');
    auto history = makeHistory(m_file);
    const auto result = onlineResult(3);
    for (long long second = 0; second < 180; second += 5) {
        m_clock = evening + second;
        history->record(result);
        history->flush();
        EXPECT_TRUE(saysUnavailable(*history, result.query)) << second;
    }
    const auto lines = log();
    EXPECT_GE(lines.size(), 2u);
    EXPECT_LE(lines.size(), 6u) << lines.front() << "\n" << lines.back();
}

// Another program held the file at the start and let it go: the fault is
// logged once, and once that the history is back.
TEST_F(ServiceHistory, TheEndOfAFaultIsLoggedOnce)
{
    ASSERT_TRUE(history::SqliteStore::open(m_file));
    sqlite3 *holder = nullptr;
    sqlite3_open(m_file.c_str(), &holder);
    ASSERT_EQ(sqlite3_exec(holder, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT", nullptr, nullptr, nullptr),
              SQLITE_OK);
    auto history = makeHistory(m_file);
    const auto result = onlineResult(3);
    history->record(result);
    history->flush();
    EXPECT_TRUE(saysUnavailable(*history, result.query));
    sqlite3_close(holder);

    m_clock = evening + 30;
    history->record(result);
    history->flush();
    // The reader tries the file again a minute after it failed.
    m_clock = evening + 60;
    for (int page = 0; page < 2; ++page)
        EXPECT_FALSE(saysUnavailable(*history, result.query));
    const auto lines = log();
    ASSERT_EQ(lines.size(), 2u) << lines.back();
    EXPECT_TRUE(lines[0].starts_with("History unavailable: Cannot")) << lines[0];
    EXPECT_EQ(lines[1], "History available again: " + m_file.string());
}

// The pages of the tables of sessions damaged: the counts still read, the
// searches do not. The service is not ready, however many other reads
// succeed, until a search does.
TEST_F(ServiceHistory, AFailedSearchHoldsReadinessWhateverElseSucceeds)
{
    {
        auto store = history::SqliteStore::open(m_file);
        std::vector<history::Sample> samples;
        for (long long t = evening - 86400; t < evening; t += 300)
            samples.push_back({{"127.0.0.1", 7787}, history::Seconds(std::chrono::seconds(t)), 2, 0, "DM-Deck", "Here",
                               {"Anna " + std::to_string(t), "Bob " + std::to_string(t)}});
        ASSERT_TRUE((*store)->record(samples).ok());
    }
    const long long pageSize = sqlValue(m_file, "PRAGMA page_size");
    // Every table and index of sessions, the first page of each.
    std::istringstream roots(sqlText(m_file, "SELECT group_concat(rootpage, ' ') FROM sqlite_schema "
                                             "WHERE name LIKE '%session%' AND rootpage > 1"));
    for (long long root; roots >> root;)
        std::fstream(m_file, std::ios::in | std::ios::out | std::ios::binary).seekp((root - 1) * pageSize)
            << std::string(static_cast<std::size_t>(pageSize), '\xFF');
    auto history = makeHistory(m_file);
    startWith(history, false);

    EXPECT_EQ(get("/readyz").status, 200u) << "nothing failed yet";
    const HttpReply search = get("/players?name=anna");
    EXPECT_EQ(search.status, 503u);
    EXPECT_TRUE(contains(search.body, "History unavailable.")) << search.body;
    EXPECT_FALSE(contains(search.body, "malformed")) << search.body;
    for (int second = 1; second <= 3; ++second) {
        m_clock = evening + second; // a second on: the search is tried again
        EXPECT_TRUE(history->daySeries({"127.0.0.1", 7787}));
        EXPECT_EQ(get("/readyz").status, 503u) << second;
    }
    const auto lines = log();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(contains(lines[0], "malformed")) << lines[0];
    for (const std::string &line : lines)
        EXPECT_FALSE(contains(line, "available again")) << line;
}
