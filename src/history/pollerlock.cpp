#include "history/pollerlock.h"

#include "history/backoff.h"
#include "history/postgres.h"

#include <optional>

namespace history {

namespace {

// The lock's number, the same in every instance: "Skrv" and the poller's 1.
constexpr std::int64_t pollerLockKey = 0x536b727600000001;
constexpr std::string_view locking = "Cannot take the poller's lock in";

}

PollerLock::PollerLock(std::string uri, std::chrono::milliseconds check, Log log, std::function<void()> gained)
    : m_uri(std::move(uri)), m_check(check), m_log(std::move(log)), m_gained(std::move(gained)), m_thread([this] { run(); })
{
}

PollerLock::~PollerLock()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void PollerLock::run()
{
    std::optional<postgres::Connection> connection;
    // Failing to connect is the history's to report; the lock only tries
    // again, less often the longer the database is away.
    Backoff backoff(m_check, std::max<std::chrono::milliseconds>(m_check, std::chrono::minutes(1)));
    const auto lose = [&] {
        connection.reset();
        if (m_held.exchange(false) && m_log)
            m_log("lost the connection to the history database: this instance stops polling");
    };
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        lock.unlock();
        auto wait = m_check;
        if (!connection) {
            if (auto opened = postgres::Connection::open(m_uri)) {
                connection.emplace(std::move(*opened));
                backoff.succeeded();
            } else {
                wait = backoff.failed();
            }
        }
        if (connection && !m_held) {
            auto taken = connection->query("SELECT pg_try_advisory_lock($1)", locking, postgres::Parameters().add(pollerLockKey));
            if (!taken) {
                lose();
            } else if (taken->text(0, 0) == "t") {
                m_held = true;
                if (m_log)
                    m_log("this instance polls the servers looked up lately (it holds the poller's lock)");
                m_gained();
            }
        } else if (connection && !connection->exec("SELECT 1", locking).ok()) {
            lose();
        }
        lock.lock();
        m_wake.wait_for(lock, wait, [&] { return m_stopping; });
    }
}

}
