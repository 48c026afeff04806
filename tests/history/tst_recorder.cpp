#include "history/recorder.h"
#include "history/sqlitestore.h"
#include "history/statepath.h"

#include "tempfolder.h"

#include <gtest/gtest.h>

using namespace history;

namespace {

const ServerKey deck{"192.0.2.10", 6500};
constexpr long long evening = 1796155200;

}

TEST(Recorder, WritesQueuedSamplesAndPrunesByItsClock)
{
    TempFolder folder;
    const auto path = folder / "state/history.sqlite3";
    std::atomic<long long> now = evening;
    {
        Recorder recorder({.open = SqliteStore::opener(path), .keep = std::chrono::days(2), .now = [&] { return at(now); }});
        for (long long t = evening - 5 * 86400; t <= evening; t += 300)
            recorder.record({deck, at(t), 4, 1, "DM-Deck"});
        recorder.noteLookup(deck, {}, at(evening));
        recorder.flush();
        EXPECT_FALSE(recorder.fault()) << recorder.fault()->message;
        EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM samples"), 2 * 288 + 1);

        // An hour later, the next write prunes again.
        now = evening + 3600;
        recorder.record({deck, at(evening + 3600), 6, 0, "DM-Deck"});
        recorder.flush();
        EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM samples"), 2 * 288 - 12 + 2);
        // What is queued when it ends is written.
        recorder.record({deck, at(evening + 3900), 7, 0, "DM-Deck"});
    }
    EXPECT_EQ(sqlValue(path, "SELECT players FROM samples ORDER BY t DESC LIMIT 1"), 7);
    EXPECT_EQ(sqlValue(path, "SELECT last_lookup FROM servers"), evening);
}

TEST(StatePath, FollowsTheXdgRules)
{
    EXPECT_EQ(defaultDatabasePath("/home/ann/.state", "/home/ann"), "/home/ann/.state/skirvane-queryd/history.sqlite3");
    EXPECT_EQ(defaultDatabasePath("relative/state", "/home/ann"), "/home/ann/.local/state/skirvane-queryd/history.sqlite3");
    EXPECT_EQ(defaultDatabasePath("", "/home/ann"), "/home/ann/.local/state/skirvane-queryd/history.sqlite3");
    EXPECT_EQ(defaultDatabasePath(nullptr, nullptr), std::nullopt);
}
