#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace history {

// The poller's role among the service instances sharing one PostgreSQL
// database: the instance whose connection holds a session advisory lock
// polls, the others do not. The lock lives on a connection of its own,
// used by a thread of its own, so nothing on the caller's event loop waits
// for the database. When the holder ends, or its connection goes, the
// server releases the lock and another instance takes it at its next try.
class PollerLock final
{
public:
    using Log = std::function<void(std::string_view)>;

    // Tries (or, holding it, checks) the lock every `check`; gained() is
    // called on the lock's thread each time the role comes to this instance.
    PollerLock(std::string uri, std::chrono::milliseconds check, Log log, std::function<void()> gained);
    PollerLock(const PollerLock &) = delete;
    PollerLock &operator=(const PollerLock &) = delete;
    // Closes the connection, which hands the role on.
    ~PollerLock();

    bool held() const { return m_held; }

private:
    void run();

    const std::string m_uri;
    const std::chrono::milliseconds m_check;
    const Log m_log;
    const std::function<void()> m_gained;
    std::atomic<bool> m_held{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

}
