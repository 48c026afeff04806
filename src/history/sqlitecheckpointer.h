#pragma once

#include "history/sqlite.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <thread>

namespace history {

// Copies the write-ahead log of a file into the file on a thread of its
// own, with a connection of its own, so that a writer's commit never waits
// for the copy: it only wakes the thread. The thread starts with the first
// copy wanted, so a store that only reads has none.
//
// The log's file keeps the size it has reached when the log starts again
// from its beginning (SQLite's default): cutting it short each time, to
// make it longer again at the next commits, held the writer up for tens of
// milliseconds while the thread copied.
class SqliteCheckpointer final
{
public:
    // The log is copied once it holds 32 MiB (at SQLite's 4 KiB pages)
    // rather than after each commit, so that a page written by every poll
    // round is copied once for some rounds.
    static constexpr int defaultWakeAt = 8192;

    explicit SqliteCheckpointer(std::filesystem::path path, int wakeAt = defaultWakeAt)
        : m_path(std::move(path)), m_wakeAt(wakeAt)
    {
    }
    SqliteCheckpointer(const SqliteCheckpointer &) = delete;
    SqliteCheckpointer &operator=(const SqliteCheckpointer &) = delete;
    ~SqliteCheckpointer();

    // Takes over the copying of the log from `writer`, whose commits no
    // longer copy it themselves but when the thread falls behind.
    void watch(sqlite::Connection &writer);

    // How often the thread has copied; for tests.
    std::uint64_t copies();

    // For a write that can wait, such as a prune's step: while the thread
    // copies the log, waits up to `wait` for the copy to end, and says
    // whether the write should wait on. The log starts again from its
    // beginning only when a transaction begins with all of it copied, which
    // a writer that never rests does not let come; and a write made during
    // a copy was seen to wait in its statements for up to a hundred
    // milliseconds.
    bool restFor(std::chrono::milliseconds wait);

private:
    // See committed().
    int copyItselfAt() const { return 4 * m_wakeAt; }
    bool copyUnderWay() const { return !m_stopping && (m_wanted || m_copying); }
    static int committed(void *self, sqlite3 *db, const char *schema, int pages);
    void run();
    void copy();

    const std::filesystem::path m_path;
    const int m_wakeAt;
    sqlite::Connection m_connection; // the thread's
    std::mutex m_mutex;
    std::condition_variable m_wake, m_copied;
    bool m_wanted = false;
    bool m_copying = false;
    bool m_stopping = false;
    std::uint64_t m_copies = 0;
    std::thread m_thread;
};

}
