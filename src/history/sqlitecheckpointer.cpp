#include "history/sqlitecheckpointer.h"

#include <sqlite3.h>

#include <string>

namespace history {

SqliteCheckpointer::~SqliteCheckpointer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void SqliteCheckpointer::watch(sqlite::Connection &writer)
{
    sqlite3_wal_hook(writer.handle(), &SqliteCheckpointer::committed, this);
}

std::uint64_t SqliteCheckpointer::copies()
{
    std::lock_guard lock(m_mutex);
    return m_copies;
}

bool SqliteCheckpointer::restFor(std::chrono::milliseconds wait)
{
    std::unique_lock lock(m_mutex);
    if (!copyUnderWay())
        return false;
    m_copied.wait_for(lock, wait, [this] { return !copyUnderWay(); });
    return true;
}

int SqliteCheckpointer::committed(void *self, sqlite3 *db, const char *schema, int pages)
{
    auto &checkpointer = *static_cast<SqliteCheckpointer *>(self);
    // The log starts again from its beginning only when a transaction
    // begins with all of it copied. A writer that never rests begins its
    // next one while the thread copies the last commit: once the log is
    // four times its usual size, the thread is left to end the copy it is
    // making, and the writer copies the rest itself, when the thread is not
    // copying (SQLite refuses a second copy at once). That is a pause of
    // the writer, so it is kept rare: once for 128 MiB written without rest.
    // Writes that can wait rest while the thread copies (see restFor).
    if (pages >= checkpointer.copyItselfAt()) {
        sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        return SQLITE_OK;
    }
    if (pages < checkpointer.m_wakeAt)
        return SQLITE_OK;
    {
        std::lock_guard lock(checkpointer.m_mutex);
        checkpointer.m_wanted = true;
        if (!checkpointer.m_thread.joinable())
            checkpointer.m_thread = std::thread([&checkpointer] { checkpointer.run(); });
    }
    checkpointer.m_wake.notify_one();
    return SQLITE_OK;
}

void SqliteCheckpointer::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_wanted; });
        if (m_stopping)
            return;
        m_wanted = false;
        m_copying = true;
        lock.unlock();
        copy();
        lock.lock();
        m_copying = false;
        ++m_copies;
        m_copied.notify_all();
    }
}

void SqliteCheckpointer::copy()
{
    // A file that cannot be opened now is opened at the next copy wanted;
    // meanwhile the writer's commits copy the log once it is long.
    if (!m_connection.handle()) {
        auto opened = sqlite::Connection::open(m_path, false);
        // The log is opened with the connection's first read; a copy asked
        // of a connection that has read nothing yet copies nothing.
        if (!opened || !opened->integer("PRAGMA user_version", "Cannot copy the log of the history file"))
            return;
        m_connection = std::move(*opened);
    }
    // What was committed when the copy began goes over while the writer
    // goes on. A copy that fails is made again at the next one wanted, as
    // SQLite's own copies after a commit are.
    sqlite3_wal_checkpoint_v2(m_connection.handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

}
