#pragma once

#include "history/backoff.h"
#include "history/postgres.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace history {

// One instance's claim on the poller's role among the service instances
// sharing one PostgreSQL database: the instance whose connection holds a
// session advisory lock polls, the others do not. When the holder ends, or
// its connection goes, the server releases the lock and another instance
// takes it at its next try. No thread and no clock: each check is one try.
class PollerRole final
{
public:
    using Log = std::function<void(std::string_view)>;

    // Tries again every `check`, and less often while the database cannot
    // be reached.
    PollerRole(std::string uri, std::chrono::milliseconds check, Log log);
    PollerRole(const PollerRole &) = delete;
    PollerRole &operator=(const PollerRole &) = delete;

    struct Checked
    {
        bool gained = false; // the role came to this instance with this check
        std::chrono::milliseconds next; // the wait before the next check
    };
    // Connects when not connected, then tries for the lock, or, holding it,
    // checks that the connection still holds it.
    Checked check();
    bool held() const { return m_held; }

private:
    void lose();

    const std::string m_uri;
    const std::chrono::milliseconds m_check;
    const Log m_log;
    std::optional<postgres::Connection> m_connection;
    Backoff m_backoff;
    bool m_held = false;
};

// The role checked on a connection of its own, used by a thread of its own,
// so nothing on the caller's event loop waits for the database.
class PollerLock final
{
public:
    using Log = PollerRole::Log;

    // Checks the role every `check`; gained() is called on the lock's thread
    // each time the role comes to this instance.
    PollerLock(std::string uri, std::chrono::milliseconds check, Log log, std::function<void()> gained);
    PollerLock(const PollerLock &) = delete;
    PollerLock &operator=(const PollerLock &) = delete;
    // Closes the connection, which hands the role on.
    ~PollerLock();

    bool held() const { return m_held; }

private:
    void run();

    PollerRole m_role; // used on the lock's thread alone
    const std::function<void()> m_gained;
    std::atomic<bool> m_held{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

}
