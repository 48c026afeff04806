#include "backends.h"

#include "history/postgresschema.h"
#include "history/schema.h"

#include <gtest/gtest.h>

using namespace history;
using namespace std::chrono_literals;

namespace {

const ServerKey deck{"192.0.2.10", 6500};
const ServerKey other{"ut3.example.net", 6600};
// 2026-12-01 20:00:00 UTC, on a 5-minute step.
constexpr long long evening = 1796155200;

Sample sample(const ServerKey &server, long long time, int players, int bots = 0, std::string map = "DM-Deck")
{
    return {server, at(time), players, bots, std::move(map)};
}

// Servers 10.0.0.0 ... answering every 5 minutes from `from` until `to`.
void recordRounds(Store &store, int servers, long long from, long long to, const std::string &map = "DM-Deck")
{
    for (long long t = from; t < to; t += 300) {
        std::vector<Sample> round;
        for (int server = 0; server < servers; ++server)
            round.push_back(sample({"10.0.0." + std::to_string(server), 6500}, t, server % 7, 0, map));
        ASSERT_TRUE(succeeded(store.record(round))) << "at " << t;
    }
}

std::unique_ptr<Store> openStore(const std::filesystem::path &path, SqliteOptions options = {})
{
    return got(SqliteStore::open(path, options));
}

// The series' last `count` steps, oldest first.
std::vector<std::optional<Count>> lastSteps(const Series &series, std::size_t count)
{
    return {series.steps.end() - static_cast<std::ptrdiff_t>(count), series.steps.end()};
}

constexpr std::nullopt_t gap = std::nullopt;
using Samples = std::vector<Sample>;

std::vector<std::string> names(const std::vector<PlayerMatch> &matches)
{
    std::vector<std::string> names;
    for (const PlayerMatch &match : matches)
        names.push_back(match.name);
    return names;
}

// Tests of the SQLite file itself, beside the store.
class SqliteFile : public ::testing::Test
{
protected:
    TempFolder folder;
    const std::filesystem::path path = folder / "history.sqlite3";
};

}

TEST_P(EveryBackend, RecordsSamplesAndReadsThemAsStepsWithGaps)
{
    {
        auto store = open();
        const Sample samples[] = {
            sample(deck, evening - 600, 5, 1),
            sample(deck, evening + 10, 11, 2),
            sample(deck, evening + 200, 8, 0), // same step: the latest counts
            sample(deck, evening + 900, 3, 3),
            sample(other, evening, 30, 0),
        };
        ASSERT_TRUE(succeeded(store->record(samples)));
    }
    // Read back through a new connection: the rows are kept.
    const Series series = got(open()->series(deck, at(evening + 1000)));
    ASSERT_EQ(series.steps.size(), 288u);
    EXPECT_EQ(series.end(), at(evening + 1200));
    EXPECT_EQ(lastSteps(series, 6), (std::vector<std::optional<Count>>{Count{5, 1}, gap, Count{8, 0}, gap, gap, Count{3, 3}}));
    EXPECT_EQ(std::count_if(series.steps.begin(), series.steps.end(), [](auto &s) { return s.has_value(); }), 3);

    // Several servers in one read, in their order; one was never seen.
    const ServerKey several[] = {other, {"198.51.100.1", 6500}, deck, other};
    std::vector<std::vector<std::optional<Count>>> days;
    for (const Series &day : got(open()->seriesOf(several, at(evening + 1000)))) {
        EXPECT_EQ(day.end(), series.end());
        EXPECT_EQ(std::count_if(day.steps.begin(), day.steps.end() - 6, [](auto &s) { return s.has_value(); }), 0);
        days.push_back(lastSteps(day, 6));
    }
    const std::vector<std::optional<Count>> otherDay{gap, gap, Count{30, 0}, gap, gap, gap};
    EXPECT_EQ(days, (std::vector{otherDay, std::vector<std::optional<Count>>(6), lastSteps(series, 6), otherDay}));
}

TEST_P(EveryBackend, ListsRecentLookupsWithTheirLatestAnswer)
{
    auto store = open();
    const Sample samples[] = {sample(deck, evening, 4), sample(deck, evening + 300, 6, 1, "CTF-Coret")};
    ASSERT_TRUE(succeeded(store->record(samples)));
    // The latest lookup names the server, however late an earlier one is noted.
    ASSERT_TRUE(succeeded(store->noteLookup(deck, {"deck.example.net", deck.queryPort, 8080}, at(evening))));
    ASSERT_TRUE(succeeded(store->noteLookup(deck, {deck.address, deck.queryPort, 0}, at(evening - 60))));
    ASSERT_TRUE(succeeded(store->noteLookup(other, {}, at(evening + 60))));
    ASSERT_TRUE(succeeded(store->noteLookup({"old.example.net", 6500}, {}, at(evening - 8 * 86400))));

    const auto recent = got(store->recentServers(at(evening - 7 * 86400), 10));
    ASSERT_EQ(recent.size(), 2u);
    EXPECT_EQ(recent[0].server, other);
    EXPECT_FALSE(recent[0].latest);
    EXPECT_EQ(recent[0].asked, std::nullopt);
    EXPECT_EQ(recent[1].server, deck);
    EXPECT_EQ(recent[1].asked, (AskedAs{"deck.example.net", deck.queryPort, 8080}));
    ASSERT_TRUE(recent[1].latest);
    EXPECT_EQ(recent[1].latest->players, 6);
    EXPECT_EQ(recent[1].latest->map, "CTF-Coret");
    EXPECT_EQ(store->recentServers(at(evening - 7 * 86400), 1)->size(), 1u);
    EXPECT_EQ(*store->serversLookedUpSince(at(evening - 7 * 86400)), (std::vector<ServerKey>{other, deck}));
}

// A file from elsewhere may hold any number: what is read is bounded as
// what is written is.
TEST_F(SqliteFile, CountsReadFromAForeignFileAreBounded)
{
    auto store = openStore(path);
    ASSERT_TRUE(succeeded(store->record(std::vector{sample(deck, evening - 300, 1)})));
    ASSERT_TRUE(succeeded(store->noteLookup(deck, {}, at(evening))));
    const std::string rows = "INSERT INTO samples(server_id, t, players, bots) VALUES(1, " + std::to_string(evening - 300)
        + ", 2147483647, -9223372036854775808), (1, " + std::to_string(evening) + ", 9223372036854775807, 1e300)";
    ASSERT_EQ(sqlExec(path, "DELETE FROM samples; " + rows), SQLITE_OK);

    EXPECT_EQ(lastSteps(got(store->series(deck, at(evening))), 2),
              (std::vector<std::optional<Count>>{Count{65535, 0}, Count{65535, 65535}}));
    const auto recent = got(store->recentServers(at(0), 10));
    ASSERT_TRUE(recent.size() == 1u && recent[0].latest);
    EXPECT_EQ(recent[0].latest->players, 65535);
    const auto averages = got(store->hourlyAverages(deck, at(0), at(evening + 1), std::chrono::seconds(0)));
    EXPECT_EQ(averages[19], 65535.0);
    EXPECT_EQ(averages[20], 65535.0);
}

// The service searches on a connection of its own while the writer records.
TEST_F(SqliteFile, ASearchSeesWhatAnotherConnectionWroteSince)
{
    auto writer = openStore(path);
    auto reader = openStore(path);
    ASSERT_TRUE(succeeded(writer->record(Samples{{deck, at(evening), 1, 0, {}, "Deck Night", {"Ann"}}})));
    EXPECT_EQ(got(reader->searchPlayers("ann", at(0), at(evening), 10)),
              (std::vector<PlayerMatch>{{"Ann", true, at(evening), deck, "Deck Night"}}));
    ASSERT_TRUE(succeeded(writer->record(Samples{{deck, at(evening + 300), 0, 0, {}, "Deck Night", {}},
                                                 {other, at(evening + 300), 1, 0, {}, "Other Place", {"Ann"}}})));
    EXPECT_EQ(got(reader->searchPlayers("ann", at(0), at(evening + 300), 10)),
              (std::vector<PlayerMatch>{{"Ann", true, at(evening + 300), other, "Other Place"},
                                        {"Ann", false, at(evening), deck, "Deck Night"}}));

    // A prune moves the ended sessions into the large table, then drops
    // every name, whose number a new name takes again.
    ASSERT_TRUE(succeeded(writer->record(Samples{{deck, at(evening + 600), 1, 0, {}, "Deck Night", {"Bob"}}})));
    ASSERT_TRUE(succeeded(writer->record(Samples{{deck, at(evening + 900), 0, 0, {}, "Deck Night", {}}})));
    EXPECT_EQ(names(got(reader->searchPlayers("bob", at(evening), at(evening + 900), 10))), std::vector<std::string>{"Bob"});
    ASSERT_TRUE(succeeded(writer->prune(at(evening))));
    EXPECT_EQ(got(reader->searchPlayers("bob", at(evening), at(evening + 900), 10)),
              (std::vector<PlayerMatch>{{"Bob", false, at(evening + 600), deck, "Deck Night"}}));
    ASSERT_TRUE(succeeded(writer->prune(at(evening + 1000))));
    ASSERT_TRUE(succeeded(writer->record(Samples{{deck, at(evening + 1200), 1, 0, {}, "Deck Night", {"Cy"}}})));
    EXPECT_EQ(got(reader->searchPlayers("cy", at(0), at(evening + 1200), 10)),
              (std::vector<PlayerMatch>{{"Cy", true, at(evening + 1200), deck, "Deck Night"}}));
    EXPECT_TRUE(got(reader->searchPlayers("ann", at(0), at(evening + 1200), 10)).empty());

    // Answers of the same second and late ones leave the server's latest time.
    ASSERT_TRUE(succeeded(writer->record(Samples{{deck, at(evening + 1200), 1, 0, {}, "Deck Night", {"Dee"}},
                                                 {deck, at(evening + 1100), 1, 0, {}, "Deck Night", {"Dee"}}})));
    EXPECT_EQ(got(reader->searchPlayers("dee", at(0), at(evening + 1200), 10)),
              (std::vector<PlayerMatch>{{"Dee", true, at(evening + 1200), deck, "Deck Night"}}));
    // A name dropped comes back under a number of its own.
    ASSERT_TRUE(succeeded(writer->record(Samples{{deck, at(evening + 1500), 3, 0, {}, "Deck Night", {"Ann", "Cy", "Dee"}}})));
    EXPECT_EQ(got(reader->searchPlayers("ann", at(0), at(evening + 1500), 10)),
              (std::vector<PlayerMatch>{{"Ann", true, at(evening + 1500), deck, "Deck Night"}}));
}

TEST_F(SqliteFile, PruningKeepsTheFileFromGrowing)
{
    auto store = openStore(path);
    // Eight days of 50 servers, keeping two: once full, the file reuses the
    // pages pruning frees (give or take the trees' slack).
    std::vector<std::uintmax_t> sizes;
    for (long long day = 0; day < 8; ++day) {
        recordRounds(*store, 50, evening + day * 86400, evening + (day + 1) * 86400, "DM-Map" + std::to_string(day));
        ASSERT_TRUE(succeeded(store->prune(at(evening + (day + 1) * 86400 - 2 * 86400))));
        sizes.push_back(std::filesystem::file_size(path));
    }
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM samples"), 2 * 288 * 50);
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM maps"), 2);
    EXPECT_LT(sizes.back(), sizes[3] + sizes[3] / 50) << "the file grew after pruning began";
    // Servers no one looked up and without samples go too.
    ASSERT_TRUE(succeeded(store->prune(at(evening + 20 * 86400))));
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM servers"), 0);
}

TEST_F(SqliteFile, SizeLimitDropsTheOldestDayToKeepRecording)
{
    auto store = openStore(path, {.maxBytes = 256 * 1024});
    recordRounds(*store, 20, evening, evening + 20 * 86400);
    EXPECT_LE(std::filesystem::file_size(path), 256u * 1024);
    EXPECT_EQ(sqlValue(path, "SELECT max(t) FROM samples"), evening + 20 * 86400 - 300);
    EXPECT_GT(sqlValue(path, "SELECT min(t) FROM samples"), evening);

    // A batch larger than the whole limit cannot be written; the next one can.
    std::vector<Sample> huge;
    for (int server = 0; server < 20000; ++server)
        huge.push_back(sample({"host-" + std::to_string(server) + ".example.net", 6500}, evening + 30 * 86400, 1));
    auto written = store->record(huge);
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.fault().kind, FaultKind::diskFull);
    EXPECT_NE(written.fault().message.find(path.string()), std::string::npos) << written.fault().message;
    EXPECT_TRUE(succeeded(store->record(Samples{sample(deck, evening + 30 * 86400, 9)})));
}

TEST_F(SqliteFile, UpgradesAVersion1File)
{
    std::filesystem::copy_file(std::filesystem::path(HISTORY_TEST_DATA) / "history-v1.sqlite3", path);
    auto store = openStore(path);
    EXPECT_EQ(sqlValue(path, "PRAGMA user_version"), schema::currentVersion);
    EXPECT_EQ(lastSteps(got(store->series(deck, at(evening + 1000))), 4),
              (std::vector<std::optional<Count>>{Count{12, 2}, Count{14, 0}, gap, Count{9, 4}}));

    const auto recent = got(store->recentServers(at(0), 10));
    ASSERT_EQ(recent.size(), 3u);
    EXPECT_EQ(recent[0].server, deck);
    EXPECT_EQ(recent[0].latest->map, "CTF-Coret");
    EXPECT_EQ(recent[1].server, other);
    EXPECT_EQ(recent[1].latest->players, 3);
    EXPECT_EQ(recent[2].server, (ServerKey{"198.51.100.7", 7787}));
    EXPECT_FALSE(recent[2].latest);

    // Writing goes on in the new layout; the old tables are gone.
    EXPECT_TRUE(succeeded(store->record(Samples{sample(deck, evening + 1100, 1, 0, "DM-Deck")})));
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM samples"), 6);
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM sqlite_schema WHERE name = 'lookups'"), 0);
}

TEST_P(EveryBackend, PruningDropsOldRowsAndWhatNothingRefersTo)
{
    auto store = open();
    recordRounds(*store, 3, evening, evening + 4 * 86400);
    ASSERT_TRUE(succeeded(store->noteLookup(deck, {}, at(evening))));
    ASSERT_TRUE(succeeded(store->prune(at(evening + 2 * 86400))));
    EXPECT_EQ(value("SELECT count(*) FROM samples"), 2 * 288 * 3);
    EXPECT_EQ(value("SELECT min(t) FROM samples"), evening + 2 * 86400);
    // Servers not looked up since go with their last sample, and the maps.
    ASSERT_TRUE(succeeded(store->prune(at(evening + 20 * 86400))));
    EXPECT_EQ(value("SELECT count(*) FROM samples"), 0);
    EXPECT_EQ(value("SELECT count(*) FROM maps"), 0);
    EXPECT_EQ(value("SELECT count(*) FROM servers"), 0);

    // Names go when nothing refers to them, as many as a prune looks at in
    // several steps; one in a session going on stays.
    Samples crowd;
    for (int s = 0; s < 200; ++s) {
        crowd.push_back({{"10.1." + std::to_string(s) + ".1", 6500}, at(evening + 21 * 86400), 60, 0, {}, "Crowd", {}});
        for (int j = 0; j < 60; ++j)
            crowd.back().names.push_back("P" + std::to_string(s * 60 + j));
    }
    ASSERT_TRUE(succeeded(store->record(crowd)));
    ASSERT_TRUE(succeeded(store->record(Samples{{crowd[0].server, at(evening + 22 * 86400), 1, 0, {}, "Crowd", {"Stay"}}})));
    EXPECT_EQ(value("SELECT count(*) FROM names"), 12001);
    ASSERT_TRUE(succeeded(store->prune(at(evening + 22 * 86400))));
    EXPECT_EQ(value("SELECT count(*) FROM names"), 1);
}

TEST_P(EveryBackend, ALayoutOfANewerVersionIsRefusedAndLeftAlone)
{
    {
        auto store = open();
        ASSERT_TRUE(succeeded(store->record(Samples{sample(deck, evening, 4)})));
    }
    setLayoutVersion(99);
    auto refused = tryOpen();
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.fault().kind, FaultKind::newerSchema);
    EXPECT_NE(refused.fault().message.find("newer version of the program (layout 99"), std::string::npos)
        << refused.fault().message;
    EXPECT_EQ(value("SELECT count(*) FROM samples"), 1);
}

INSTANTIATE_TEST_SUITE_P(, EveryBackend, ::testing::Values("sqlite", "postgresql"), backendName);

TEST_P(EveryBackend, NamesMakeSessionsThatBreakAtGapsAndAreFoundOnEveryServer)
{
    // Gaps longer than two intervals and a half-minute start a new session.
    auto store = open(SessionRule{std::chrono::seconds(300)});
    const auto seen = [](const ServerKey &server, long long time, std::vector<std::string> names, std::string serverName = {}) {
        return Sample{server, at(time), static_cast<int>(names.size()), 0, "DM-Deck", std::move(serverName), std::move(names)};
    };
    // One batch, as the writer gathers them: a name may be in several samples.
    const Sample samples[] = {
        seen(deck, evening, {"Ann", "Bob"}),
        seen(deck, evening + 300, {"Ann", "Ann"}),
        seen(deck, evening + 1700, {"Bob"}),
        seen(deck, evening + 2000, {"Ann"}),
        seen(other, evening, {"Ann%_x"}, "Other Place"),
    };
    ASSERT_TRUE(succeeded(store->record(samples)));

    EXPECT_EQ(got(store->playersSeen(deck, at(evening - 1), at(evening + 1900))),
              (std::vector<SeenPlayer>{
                  {"Ann", true, {{at(evening + 2000), at(evening + 2000)}, {at(evening), at(evening + 300)}}},
                  {"Bob", false, {{at(evening + 1700), at(evening + 1700)}, {at(evening), at(evening)}}}}));
    EXPECT_EQ(got(store->searchPlayers("ANN", at(evening - 1), at(evening + 1900), 10)),
              (std::vector<PlayerMatch>{{"Ann", true, at(evening + 2000), deck, ""},
                                        {"Ann%_x", false, at(evening), other, "Other Place"}}));
}

// A copy of a file in an older layout, opened (so upgraded), after checking
// that it now has today's layout and every sample it had.
static std::unique_ptr<Store> upgradedCopy(const char *fixture, const std::filesystem::path &path)
{
    std::filesystem::copy_file(std::filesystem::path(HISTORY_TEST_DATA) / fixture, path);
    auto store = openStore(path);
    EXPECT_EQ(sqlValue(path, "PRAGMA user_version"), schema::currentVersion);
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM samples"), 4);
    return store;
}

TEST_F(SqliteFile, UpgradesAVersion2FileKeepingEverySample)
{
    auto store = upgradedCopy("history-v2.sqlite3", path);
    const Series series = got(store->series(deck, at(evening + 1000)));
    EXPECT_EQ(series.steps[284], (Count{12, 2}));
    EXPECT_EQ(series.steps[287], (Count{9, 4}));
    EXPECT_EQ((*store->serversLookedUpSince(at(0))), (std::vector<ServerKey>{deck}));

    ASSERT_TRUE(succeeded(store->record(Samples{{deck, at(evening + 1200), 1, 0, "DM-Deck", "Deck Night", {"Ann"}}})));
    EXPECT_EQ(*store->playersSeen(deck, at(evening), at(evening)),
              (std::vector<SeenPlayer>{{"Ann", true, {{at(evening + 1200), at(evening + 1200)}}}}));
    EXPECT_EQ((*store->recentServers(at(0), 1))[0].latest->serverName, "Deck Night");
}

TEST_F(SqliteFile, UpgradesAVersion3FileKeepingItsSessions)
{
    auto store = upgradedCopy("history-v3.sqlite3", path);
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM current_sessions WHERE last_seen IS NULL"), 2);
    EXPECT_EQ(sqlValue(path, "SELECT latest FROM servers WHERE address = '192.0.2.10'"), evening + 600);
    EXPECT_EQ(got(store->searchPlayers("n", at(0), at(evening), 1)),
              (std::vector<PlayerMatch>{{"Ann", true, at(evening + 600), deck, "Deck Night"}}));
}

// Both backends' layouts before the current one, holding the same rows.
TEST_P(EveryBackend, UpgradesTheOlderLayoutKeepingEverySampleAndSession)
{
    loadOlderLayout();
    auto store = open(SessionRule{300s});
    const bool sqlite = GetParam() == "sqlite";
    EXPECT_EQ(value(sqlite ? "PRAGMA user_version" : "SELECT version FROM skirvane_history"),
              sqlite ? schema::currentVersion : postgres::schema::currentVersion);
    EXPECT_EQ(value("SELECT count(*) FROM samples"), 4);
    EXPECT_EQ(value("SELECT latest FROM servers WHERE address = '192.0.2.10'"), evening + 600);
    if (!sqlite) { // Ann's sessions go on in their servers' latest samples.
        EXPECT_EQ(value("SELECT count(*) FROM open_sessions"), 2);
    }
    const Series series = got(store->series(deck, at(evening + 1000)));
    EXPECT_EQ(series.steps[284], (Count{2, 0}));
    EXPECT_EQ(series.steps[286], (Count{1, 0}));
    const auto ann = [](long long to, bool online) { return SeenPlayer{"Ann", online, {{at(evening), at(evening + to)}}}; };
    const SeenPlayer bob{"Bob", false, {{at(evening), at(evening + 300)}}};
    EXPECT_EQ(*store->playersSeen(deck, at(evening), at(evening + 600)), (std::vector<SeenPlayer>{ann(600, true), bob}));
    EXPECT_EQ(*store->playersSeen(other, at(evening), at(evening)), (std::vector<SeenPlayer>{ann(0, true)}));
    // The search ranks names by what the upgrade worked out from their sessions.
    EXPECT_EQ(*store->searchPlayers("b", at(0), at(evening), 10),
              (std::vector<PlayerMatch>{{"Bob", false, at(evening + 300), deck, "Deck Night"}}));
    EXPECT_EQ(*store->searchPlayers("n", at(0), at(evening), 1),
              (std::vector<PlayerMatch>{{"Ann", true, at(evening + 600), deck, "Deck Night"}}));

    // Ann's session on the first server goes on; the other one's has ended.
    const Sample named[] = {{deck, at(evening + 900), 1, 0, "DM-Deck", "Deck Night", {"Ann"}},
                            {other, at(evening + 900), 0, 0, {}, "Other Place", {}}};
    ASSERT_TRUE(succeeded(store->record(named)));
    EXPECT_EQ(*store->playersSeen(deck, at(evening), at(evening + 900)), (std::vector<SeenPlayer>{ann(900, true), bob}));
    EXPECT_EQ(*store->playersSeen(other, at(evening), at(evening + 900)), (std::vector<SeenPlayer>{ann(0, false)}));

    // Back within the gap, also over a prune that moved the ended session.
    ASSERT_TRUE(succeeded(store->record(Samples{{deck, at(evening + 1200), 0, 0, "DM-Deck", "Deck Night", {}}})));
    ASSERT_TRUE(succeeded(store->prune(at(evening))));
    ASSERT_TRUE(succeeded(store->record(Samples{{deck, at(evening + 1500), 1, 0, "DM-Deck", "Deck Night", {"Ann"}}})));
    EXPECT_EQ(*store->playersSeen(deck, at(evening), at(evening + 1500)), (std::vector<SeenPlayer>{ann(1500, true), bob}));
    EXPECT_EQ(*store->searchPlayers("ann", at(0), at(evening + 1500), 10),
              (std::vector<PlayerMatch>{{"Ann", true, at(evening + 1500), deck, "Deck Night"},
                                        {"Ann", false, at(evening), other, "Other Place"}}));
}

// The layout before the trigram index, holding the same rows for both
// backends: the names are folded again, and found through the index, which
// follows the names added and dropped after the upgrade; the sessions going
// on gain their index by name.
TEST_P(EveryBackend, UpgradesThePreviousLayoutToSearchThroughTheIndex)
{
    loadPreviousLayout();
    auto store = open(SessionRule{300s});
    EXPECT_EQ(value("SELECT count(*) FROM samples"), 4);
    EXPECT_EQ(value("SELECT count(*) FROM sessions"), 2);
    const std::vector<PlayerMatch> unicode{{"\u00dcn\u00efc\u00f8d\u00e9", false, at(evening - 300), other, "Other Place"}};
    EXPECT_EQ(got(store->searchPlayers("\u00dcN\u00cf", at(0), at(evening), 10)), unicode); // ÜNÏ
    EXPECT_EQ(got(store->searchPlayers("\u00fcN", at(0), at(evening), 10)), unicode);        // üN
    EXPECT_EQ(got(store->searchPlayers("bob", at(0), at(evening), 10)),
              (std::vector<PlayerMatch>{{"Bob", false, at(evening + 300), deck, "Deck Night"}}));

    ASSERT_TRUE(succeeded(store->record(Samples{{deck, at(evening + 900), 2, 0, "DM-Deck", "Deck Night", {"Ann", "Zo\u00eb"}}})));
    EXPECT_EQ(names(got(store->searchPlayers("ZO\u00cb", at(0), at(evening), 10))), (std::vector<std::string>{"Zo\u00eb"}));
    ASSERT_TRUE(succeeded(store->prune(at(evening))));
    EXPECT_TRUE(got(store->searchPlayers("\u00fcn\u00ef", at(0), at(evening), 10)).empty()) << "pruned with its sessions";
    EXPECT_EQ(names(got(store->searchPlayers("ann", at(0), at(evening), 10))), (std::vector<std::string>{"Ann", "Ann"}));
    if (GetParam() == "postgresql") { // the evening's day, and the next one made ahead
        EXPECT_EQ(value("SELECT count(*) FROM pg_inherits WHERE inhparent = 'samples'::regclass"), 2);
        EXPECT_EQ(value("SELECT count(*) FROM pg_indexes WHERE indexname IN ('names_by_text', 'open_sessions_by_name')"), 2);
        // The ended sessions by name, with each one's server in the index.
        EXPECT_EQ(value("SELECT count(*) FROM pg_indexes WHERE indexname = 'sessions_by_name' "
                        "AND indexdef LIKE '%(name_id, last_seen) INCLUDE (server_id)'"),
                  1);
        // A server's samples with their counts in the index of their key,
        // and each day's partitions vacuumed after every so many rows.
        EXPECT_EQ(value("SELECT count(*) FROM pg_indexes WHERE indexname = 'samples_pkey' "
                        "AND indexdef LIKE '%(server_id, t) INCLUDE (players, bots)'"),
                  1);
        EXPECT_EQ(value("SELECT count(*) FROM pg_inherits i JOIN pg_class c ON c.oid = i.inhrelid "
                        "WHERE i.inhparent IN ('samples'::regclass, 'sessions'::regclass) "
                        "AND 'autovacuum_vacuum_insert_scale_factor=0' = ANY(c.reloptions)"),
                  4);
    } else {
        // By name, with each session's end in the index.
        EXPECT_EQ(value("SELECT group_concat(seqno || name) = '0name_id,1last_seen' FROM pragma_index_info('current_sessions_by_name')"),
                  1);
    }
}

namespace history {

// Failures name the players and their sessions (in seconds after the epoch).
void PrintTo(const SeenPlayer &player, std::ostream *out)
{
    *out << player.name << (player.online ? " online" : "");
    for (const PlayerSession &session : player.sessions)
        *out << " " << session.from.time_since_epoch().count() << "-" << session.to.time_since_epoch().count();
}

}

namespace {

struct Poll
{
    long long after; // seconds after the evening
    ServerKey server;
    std::vector<std::string> names;
};

struct SessionRow
{
    const char *what;
    std::vector<Poll> polls;
    ServerKey server;
    std::vector<SeenPlayer> expected; // the evening's offsets in seconds
};

SeenPlayer seen(std::string name, bool online, std::vector<std::pair<long long, long long>> sessions)
{
    SeenPlayer player{std::move(name), online, {}};
    for (const auto &[from, to] : sessions)
        player.sessions.push_back({at(evening + from), at(evening + to)});
    return player;
}

}

// Polls every 300 s: a session goes on over a gap of up to 630 s.
TEST_P(EveryBackend, SessionsFollowTheNamesFromPollToPoll)
{
    const SessionRow rows[] = {
        {"join", {{0, deck, {"Ann", "Bob"}}}, deck, {seen("Ann", true, {{0, 0}}), seen("Bob", true, {{0, 0}})}},
        {"leave",
         {{0, deck, {"Ann", "Bob"}}, {300, deck, {"Ann", "Bob"}}, {600, deck, {"Bob"}}},
         deck,
         {seen("Bob", true, {{0, 600}}), seen("Ann", false, {{0, 300}})}},
        {"back within the gap",
         {{0, deck, {"Ann"}}, {300, deck, {}}, {600, deck, {"Ann"}}},
         deck,
         {seen("Ann", true, {{0, 600}})}},
        {"back after the gap",
         {{0, deck, {"Ann"}}, {300, deck, {}}, {600, deck, {}}, {900, deck, {"Ann"}}},
         deck,
         {seen("Ann", true, {{900, 900}, {0, 0}})}},
        {"an answer older than the latest ends nobody's session, and stretches or makes those of its names",
         {{0, deck, {"Ann", "Cy"}}, {600, deck, {"Ann"}}, {300, deck, {"Bob", "Cy"}}, {900, deck, {"Ann"}}},
         deck,
         {seen("Ann", true, {{0, 900}}), seen("Bob", false, {{300, 300}}), seen("Cy", false, {{0, 300}})}},
        {"one name on two servers",
         {{0, deck, {"Ann"}}, {300, other, {"Ann"}}, {600, deck, {"Ann"}}},
         deck,
         {seen("Ann", true, {{0, 600}})}},
        {"the other server's session is its own",
         {{0, deck, {"Ann"}}, {300, other, {"Ann"}}, {600, deck, {"Ann"}}},
         other,
         {seen("Ann", true, {{300, 300}})}},
        {"a name that changes case is another name",
         {{0, deck, {"Ann"}}, {300, deck, {"ANN"}}},
         deck,
         {seen("ANN", true, {{300, 300}}), seen("Ann", false, {{0, 0}})}},
    };
    auto store = open(SessionRule{300s});
    // The rows share one history: each row's servers are its own ports.
    std::uint16_t rowPorts = 0;
    for (const SessionRow &row : rows) {
        rowPorts += 10;
        const auto own = [&](ServerKey server) {
            server.queryPort += rowPorts;
            return server;
        };
        const long long last = row.polls.back().after;
        for (std::size_t i = 0; i < row.polls.size(); ++i) {
            const Poll &poll = row.polls[i];
            // Before the last poll is written, the reader folds it in as a
            // page made right after an answer does; it must come to the same.
            if (i + 1 == row.polls.size() && poll.server == row.server) {
                auto before = got(store->playersSeen(own(row.server), at(evening - 86400), at(evening + last - 600)));
                foldLatest(before, at(evening + poll.after), poll.names, store->sessionRule());
                EXPECT_EQ(before, row.expected) << row.what << ", folded";
            }
            const Sample sample{own(poll.server), at(evening + poll.after), static_cast<int>(poll.names.size()), 0, {}, {}, poll.names};
            ASSERT_TRUE(succeeded(store->record(std::span(&sample, 1)))) << row.what;
        }
        EXPECT_EQ(got(store->playersSeen(own(row.server), at(evening - 86400), at(evening + last - 600))), row.expected)
            << row.what;
    }
}

TEST_P(EveryBackend, PlayerSearchIsCaseBlindLiteralAndCapped)
{
    auto store = open(SessionRule{300s});
    const Sample samples[] = {
        {other, at(evening), 2, 0, {}, "Other Place", {"JoAnna", "a_b"}},
        {deck, at(evening + 300), 6, 0, {}, "Deck Night", {"Ann", "100%_Sure", "a\\b", "axb", "a\"bc", "\u00dcn\u00efc\u00f8d\u00e9\u540d\u524d"}},
        {other, at(evening + 300), 0, 0, {}, "Other Place", {}},
    };
    ASSERT_TRUE(succeeded(store->record(samples)));
    const auto onlineSince = at(evening);
    struct Row {
        const char *text;
        std::vector<std::pair<std::string, bool>> expected; // name, online
    };
    const Row rows[] = {
        {"ann", {{"Ann", true}, {"JoAnna", false}}},
        {"NN", {{"Ann", true}, {"JoAnna", false}}},
        {"%_", {{"100%_Sure", true}}},
        {"a_", {{"a_b", false}}},
        {"a\\", {{"a\\b", true}}},
        {"%", {{"100%_Sure", true}}},
        {"0%_s", {{"100%_Sure", true}}},
        {"A\"B", {{"a\"bc", true}}},
        {"\u00fcN", {{"\u00dcn\u00efc\u00f8d\u00e9\u540d\u524d", true}}},   // üN in Ünïcødé名前
        {"\u00d8D\u00c9\u540d", {{"\u00dcn\u00efc\u00f8d\u00e9\u540d\u524d", true}}}, // ØDÉ名
        {"nobody", {}},
    };
    for (const Row &row : rows) {
        std::vector<std::pair<std::string, bool>> found;
        for (const PlayerMatch &match : got(store->searchPlayers(row.text, at(evening - 7 * 86400), onlineSince, 100)))
            found.emplace_back(match.name, match.online);
        EXPECT_EQ(found, row.expected) << row.text;
    }
    const auto ann = *store->searchPlayers("joanna", at(0), onlineSince, 100);
    EXPECT_EQ(ann, (std::vector<PlayerMatch>{{"JoAnna", false, at(evening), other, "Other Place"}}));
    EXPECT_TRUE(store->searchPlayers("ann", at(evening + 301), onlineSince, 100)->empty()) << "seen before `since`";

    // The latest 100 of 150, the latest first.
    for (int i = 0; i < 150; ++i) {
        const Sample one{deck, at(evening + 600 + i), 1, 0, {}, "Deck Night", {"Player" + std::to_string(1000 + i)}};
        ASSERT_TRUE(succeeded(store->record(std::span(&one, 1))));
    }
    const auto capped = *store->searchPlayers("player", at(0), onlineSince, 100);
    ASSERT_EQ(capped.size(), 100u);
    EXPECT_EQ(capped.front().name, "Player1149");
    EXPECT_TRUE(capped.front().online);
    EXPECT_EQ(capped.back().name, "Player1050");
    EXPECT_FALSE(capped.back().online);

    // A 1 KiB name is kept to 200 bytes, cut between characters.
    std::string long_;
    for (int i = 0; i < 512; ++i)
        long_ += "\u00e9";
    ASSERT_TRUE(succeeded(store->record(Samples{{deck, at(evening + 900), 1, 0, {}, "Deck Night", {"z" + long_}}})));
    EXPECT_EQ(store->searchPlayers("z\u00e9", at(0), onlineSince, 100)->at(0).name, "z" + long_.substr(0, 198));

    // Names seen at once are taken by name up to the cap, as the rows are.
    const Sample atOnce{deck, at(evening + 1000), 3, 0, {}, "Deck Night", {"TieC", "TieA", "TieB"}};
    ASSERT_TRUE(succeeded(store->record(std::span(&atOnce, 1))));
    EXPECT_EQ(names(got(store->searchPlayers("tie", at(0), onlineSince, 2))), (std::vector<std::string>{"TieA", "TieB"}));

    // Sessions and names go with the samples.
    ASSERT_TRUE(succeeded(store->prune(at(evening + 3600))));
    EXPECT_EQ(value("SELECT count(*) FROM sessions"), 0);
    EXPECT_EQ(value("SELECT count(*) FROM names"), 0);
}

// Hundreds of names holding the text, on hundreds of servers sampled at
// their own times, some names on several, some gone and some still there:
// the rows are those of every (name, server) by the last sample that showed
// the name there, the latest first.
TEST_P(EveryBackend, PlayerSearchOverManyNamesAndServersKeepsTheLatestRows)
{
    auto store = open();
    const auto pilot = [](int s, int k, int j) {
        const int n = (s * 37 + k * 11 + j * 211) % 800;
        return "Pilot" + std::string(n < 10 ? "00" : n < 100 ? "0" : "") + std::to_string(n);
    };
    // Server s answers at evening + 3s, then a gap and two gaps later: the
    // search reads the rows of the last hour, of the last day and of all
    // days since its start. Ghosts are there at first only, on the servers
    // that answer first; pilots come and go, and stay on the servers that
    // answer last. Then half the servers answer in one second, with more
    // pilots than some lists hold, each on one of them.
    constexpr int servers = 600;
    constexpr long long gap = 50000;
    std::vector<Sample> samples;
    std::vector<std::size_t> serverOf;
    for (int k = 0; k < 4; ++k)
        for (int s = k == 3 ? servers / 2 : 0; s < servers; ++s) {
            Sample sample{{"10.0." + std::to_string(s / 256) + "." + std::to_string(s % 256), 6500},
                          at(k == 3 ? evening + gap * k : evening + 3 * s + gap * k), 0, 0, "DM-Deck", "Server " + std::to_string(s), {}};
            serverOf.push_back(static_cast<std::size_t>(s));
            if (k == 0) {
                sample.names = {pilot(s, k, 0), pilot(s, k, 1)};
                for (int j = 0; j < 6 && s < 100; ++j)
                    sample.names.push_back("Ghost" + std::to_string(s * 6 + j));
            } else if (k == 3)
                sample.names = {pilot(s, k, 0)};
            else if (k == 1 || s >= 480)
                sample.names = {pilot(s, k, 0), pilot(s, k, 1), pilot(s, k, 2)};
            else
                sample.names = {"Crew" + std::to_string(s)};
            sample.players = static_cast<int>(sample.names.size());
            samples.push_back(std::move(sample));
        }
    ASSERT_TRUE(succeeded(store->record(samples)));

    std::map<std::pair<std::string, std::size_t>, long long> lastSeen; // (name, server): time
    std::vector<long long> latest(servers);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const long long time = samples[i].time.time_since_epoch().count();
        latest[serverOf[i]] = time;
        for (const std::string &name : samples[i].names)
            lastSeen[{name, serverOf[i]}] = time;
    }
    const auto expected = [&](std::string text, long long since, std::size_t limit) {
        std::vector<PlayerMatch> rows;
        for (auto &c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const auto &[key, time] : lastSeen) {
            std::string folded = key.first;
            for (auto &c : folded)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (time >= since && folded.find(text) != std::string::npos)
                rows.push_back({key.first, time == latest[key.second], at(time), samples[key.second].server,
                                samples[key.second].serverName});
        }
        std::sort(rows.begin(), rows.end(), [](const PlayerMatch &a, const PlayerMatch &b) {
            return a.lastSeen != b.lastSeen ? a.lastSeen > b.lastSeen : a.name < b.name;
        });
        rows.resize(std::min(rows.size(), limit));
        return rows;
    };
    struct Row {
        const char *text;
        long long since;
        std::size_t limit;
    };
    const Row rows[] = {
        {"pilot", evening, 100},        {"PILOT", evening + gap + 500, 7}, {"pi", evening, 100},
        {"lot0", evening, 100},         {"ghost", evening, 100},           {"ghost", evening + 200, 100},
        {"crew", evening, 200},         {"o", evening + gap + 500, 100},   {"pilot7", evening + 2 * gap + 500, 100},
        {"pilot00", evening, 100},      {"pilot", evening, 50},            {"ilot1", evening, 20},
    };
    for (const Row &row : rows) {
        const auto found = got(store->searchPlayers(row.text, at(row.since), at(evening), row.limit));
        EXPECT_EQ(found, expected(row.text, row.since, row.limit)) << row.text << " since +" << row.since - evening;
        EXPECT_FALSE(found.empty()) << row.text;
    }
}
