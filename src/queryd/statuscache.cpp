#include "queryd/statuscache.h"

namespace queryd {

StatusCache::StatusCache(ut3::Client &client, Clock::duration period, std::size_t maxInFlight, ServerHistory *history,
                         ServiceMetrics *metrics)
    : m_client(client)
    , m_period(period)
    , m_maxInFlight(maxInFlight)
    , m_history(history)
    , m_metrics(metrics)
{
}

bool StatusCache::get(const boost::asio::ip::udp::endpoint &server, Done done)
{
    const Clock::time_point now = Clock::now();
    forgetStale(now);
    auto found = m_entries.find(server);
    if (found != m_entries.end()) {
        Entry &entry = found->second;
        if (entry.querying) {
            count(ServiceMetrics::Lookup::shared);
            entry.waiting.push_back(std::move(done));
            return true;
        }
        if (now - entry.sentAt < m_period) {
            count(ServiceMetrics::Lookup::hit);
            done(entry.result);
            return true;
        }
    }
    if (m_inFlight >= m_maxInFlight)
        return false;
    count(ServiceMetrics::Lookup::miss);
    Entry &entry = m_entries[server];
    entry.sentAt = now;
    entry.querying = true;
    entry.waiting.push_back(std::move(done));
    ++m_inFlight;
    std::weak_ptr<StatusCache *> alive = m_alive;
    m_client.query(server, [alive, server](ut3::QueryResult result) {
        if (const auto cache = alive.lock())
            (*cache)->finish(server, std::move(result));
    });
    return true;
}

void StatusCache::finish(const boost::asio::ip::udp::endpoint &server, ut3::QueryResult result)
{
    --m_inFlight;
    Entry &entry = m_entries[server];
    entry.querying = false;
    entry.result = std::make_shared<const ut3::QueryResult>(std::move(result));
    if (m_metrics)
        m_metrics->queryEnded(*entry.result, Clock::now() - entry.sentAt);
    if (m_history)
        m_history->record(*entry.result);
    // The waiters may ask again for this server; take them out first.
    std::vector<Done> waiting = std::move(entry.waiting);
    entry.waiting.clear();
    const Result shared = entry.result;
    for (Done &done : waiting)
        done(shared);
}

void StatusCache::forgetStale(Clock::time_point now)
{
    if (now - m_lastSweep < m_period)
        return;
    m_lastSweep = now;
    std::erase_if(m_entries,
                  [&](const auto &item) { return !item.second.querying && now - item.second.sentAt >= m_period; });
}

}
