#include "history/sqlitecheckpointer.h"

#include "succeeded.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace history;

namespace {

constexpr int pageBytes = 4096;

std::uintmax_t pagesIn(const std::filesystem::path &file)
{
    return std::filesystem::file_size(file) / pageBytes;
}

}

// The writer's commits leave the log as it is until it holds the pages that
// wake the thread; the thread then copies at least those into the file, and
// every row reads back through another connection.
TEST(Checkpointer, CopiesTheLogIntoTheFileOnItsOwnThread)
{
    TempFolder folder;
    const auto path = folder / "log.sqlite3";
    auto writer = got(sqlite::Connection::open(path, true));
    ASSERT_TRUE(succeeded(writer.exec("PRAGMA page_size = 4096; PRAGMA journal_mode = WAL; CREATE TABLE t(b BLOB)", "setup")));
    SqliteCheckpointer checkpointer(path, 64);
    checkpointer.watch(writer);
    const auto pagesBefore = pagesIn(path);

    auto insert = got(writer.prepare("INSERT INTO t VALUES (zeroblob(3 * 4096))", "insert"));
    for (int row = 0; row < 10; ++row)
        ASSERT_TRUE(succeeded(writer.run(insert, "insert")));
    EXPECT_EQ(checkpointer.copies(), 0u);
    EXPECT_EQ(pagesIn(path), pagesBefore);

    for (int row = 0; row < 30; ++row)
        ASSERT_TRUE(succeeded(writer.run(insert, "insert")));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (checkpointer.copies() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(checkpointer.copies(), 1u);
    EXPECT_GE(pagesIn(path), pagesBefore + 40);

    auto reader = got(sqlite::Connection::open(path, false));
    EXPECT_EQ(got(reader.integer("SELECT count(*) FROM t", "count")), 40);
}

// A writer that rests when asked lets the thread copy the whole log, so
// that the log starts again from its beginning and its file stays near the
// size that wakes the thread. One that never rests would make it four
// times that size before copying it itself.
TEST(Checkpointer, AWriterThatRestsWhenAskedKeepsTheLogShort)
{
    TempFolder folder;
    const auto path = folder / "log.sqlite3";
    auto writer = got(sqlite::Connection::open(path, true));
    ASSERT_TRUE(succeeded(writer.exec("PRAGMA page_size = 4096; PRAGMA journal_mode = WAL; CREATE TABLE t(b BLOB)", "setup")));
    constexpr int wakeAt = 64;
    SqliteCheckpointer checkpointer(path, wakeAt);
    checkpointer.watch(writer);
    auto insert = got(writer.prepare("INSERT INTO t VALUES (zeroblob(3 * 4096))", "insert"));
    int rests = 0;
    for (int row = 0; row < 400;) {
        if (checkpointer.restFor(std::chrono::seconds(20))) {
            ++rests;
            continue;
        }
        ASSERT_TRUE(succeeded(writer.run(insert, "insert")));
        ++row;
    }
    EXPECT_GT(rests, 0);
    // Each row is a commit of three pages and a page of the table's tree.
    EXPECT_LE(pagesIn(folder / "log.sqlite3-wal"), wakeAt + 8u);
    auto reader = got(sqlite::Connection::open(path, false));
    EXPECT_EQ(got(reader.integer("SELECT count(*) FROM t", "count")), 400);
}
