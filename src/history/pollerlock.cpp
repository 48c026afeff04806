#include "history/pollerlock.h"

namespace history {

namespace {

// The lock's number, the same in every instance: "Skrv" and the poller's 1.
constexpr std::int64_t pollerLockKey = 0x536b727600000001;
constexpr std::string_view locking = "Cannot take the poller's lock in";

}

// Failing to connect is the history's to report; the role only tries
// again, less often the longer the database is away.
PollerRole::PollerRole(std::string uri, std::chrono::milliseconds check, Log log)
    : m_uri(std::move(uri)), m_check(check), m_log(std::move(log)),
      m_backoff(check, std::max<std::chrono::milliseconds>(check, std::chrono::minutes(1)))
{
}

void PollerRole::lose()
{
    m_connection.reset();
    if (m_held && m_log)
        m_log("lost the connection to the history database: this instance stops polling");
    m_held = false;
}

PollerRole::Checked PollerRole::check()
{
    Checked checked{false, m_check};
    if (!m_connection) {
        if (auto opened = postgres::Connection::open(m_uri)) {
            m_connection.emplace(std::move(*opened));
            m_backoff.succeeded();
        } else {
            checked.next = m_backoff.failed();
        }
    }
    if (m_connection && !m_held) {
        auto taken = m_connection->query("SELECT pg_try_advisory_lock($1)", locking, postgres::Parameters().add(pollerLockKey));
        if (!taken) {
            lose();
        } else if (taken->text(0, 0) == "t") {
            m_held = checked.gained = true;
            if (m_log)
                m_log("this instance polls the servers looked up lately (it holds the poller's lock)");
        }
    } else if (m_connection && !m_connection->exec("SELECT 1", locking).ok()) {
        lose();
    }
    return checked;
}

PollerLock::PollerLock(std::string uri, std::chrono::milliseconds check, Log log, std::function<void()> gained)
    : m_role(std::move(uri), check, std::move(log)), m_gained(std::move(gained)), m_thread([this] { run(); })
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
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        lock.unlock();
        const PollerRole::Checked checked = m_role.check();
        m_held = m_role.held();
        if (checked.gained)
            m_gained();
        lock.lock();
        m_wake.wait_for(lock, checked.next, [&] { return m_stopping; });
    }
}

}
