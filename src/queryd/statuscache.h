#pragma once

#include "queryd/history.h"
#include "queryd/metrics.h"
#include "ut3/client.h"
#include "ut3/result.h"

#include <boost/asio/ip/udp.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace queryd {

// Each server's latest result, kept for one period, with the requests that
// wait for a query in flight. A server gets at most one query per period,
// however many ask: a period starts when its query is sent.
class StatusCache final {
public:
    using Clock = std::chrono::steady_clock;
    using Result = std::shared_ptr<const ut3::QueryResult>;
    using Done = std::function<void(Result)>;

    // history, when given, records each fresh result; metrics, when given,
    // counts lookups and queries.
    StatusCache(ut3::Client &client, Clock::duration period, std::size_t maxInFlight, ServerHistory *history,
                ServiceMetrics *metrics = nullptr);

    // Calls done with the server's result: at once from the cache, or when
    // the query in flight or a new one ends. False, without calling done,
    // when a new query is needed but maxInFlight are already under way.
    bool get(const boost::asio::ip::udp::endpoint &server, Done done);

    std::size_t inFlight() const { return m_inFlight; }

private:
    struct Entry {
        Clock::time_point sentAt;
        Result result;             // null while the first query is in flight
        std::vector<Done> waiting; // non-empty only while a query is in flight
        bool querying = false;
    };
    void finish(const boost::asio::ip::udp::endpoint &server, ut3::QueryResult result);
    void forgetStale(Clock::time_point now);
    void count(ServiceMetrics::Lookup lookup)
    {
        if (m_metrics)
            m_metrics->cacheLookup(lookup);
    }

    ut3::Client &m_client;
    Clock::duration m_period;
    std::size_t m_maxInFlight;
    ServerHistory *m_history;
    ServiceMetrics *m_metrics;
    std::size_t m_inFlight = 0;
    Clock::time_point m_lastSweep = Clock::now();
    std::map<boost::asio::ip::udp::endpoint, Entry> m_entries;
    // Tells callbacks of queries still in flight whether the cache is gone.
    std::shared_ptr<StatusCache *> m_alive = std::make_shared<StatusCache *>(this);
};

}
