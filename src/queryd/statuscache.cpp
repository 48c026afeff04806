#include "queryd/statuscache.h"

namespace queryd {

StatusCache::StatusCache(Query query, Clock::duration period, std::size_t maxInFlight, SteadyNow now)
    : m_query(std::move(query))
    , m_period(period)
    , m_maxInFlight(maxInFlight)
    , m_now(orSteadyClock(std::move(now)))
    , m_lastSweep(m_now())
{
}

StatusCache::Lookup StatusCache::get(const boost::asio::ip::udp::endpoint &server, Delivery delivery)
{
    const Clock::time_point now = m_now();
    forgetStale(now);
    auto found = m_entries.find(server);
    if (found != m_entries.end()) {
        Entry &entry = found->second;
        if (entry.querying) {
            entry.waiting.push_back(std::move(delivery));
            return Lookup::shared;
        }
        if (now - entry.sentAt < m_period) {
            delivery(entry.result);
            return Lookup::hit;
        }
    }
    if (m_inFlight >= m_maxInFlight)
        return Lookup::busy;
    Entry &entry = m_entries[server];
    entry.sentAt = now;
    entry.querying = true;
    entry.waiting.push_back(std::move(delivery));
    ++m_inFlight;
    std::weak_ptr<StatusCache *> alive = m_alive;
    m_query(server, [alive, server](ut3::QueryResult result) {
        if (const auto cache = alive.lock())
            (*cache)->finish(server, std::move(result));
    });
    return Lookup::miss;
}

void StatusCache::finish(const boost::asio::ip::udp::endpoint &server, ut3::QueryResult result)
{
    --m_inFlight;
    Entry &entry = m_entries[server];
    entry.querying = false;
    entry.result = std::make_shared<const ut3::QueryResult>(std::move(result));
    // The waiters may ask again for this server; take them out first.
    std::vector<Delivery> waiting = std::move(entry.waiting);
    entry.waiting.clear();
    const Result shared = entry.result;
    for (Delivery &delivery : waiting)
        delivery(shared);
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
