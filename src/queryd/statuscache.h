#pragma once

#include "queryd/clock.h"
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
// however many ask: a period starts when its query is sent. What a fresh
// result means for the history and the metrics is the query's business,
// not the cache's.
class StatusCache final {
public:
    using Clock = std::chrono::steady_clock;
    using Result = std::shared_ptr<const ut3::QueryResult>;
    // Hands a server's result to one who asked for it.
    using Delivery = std::function<void(Result)>;
    // Sends a query to a server; the callback is called once with its result.
    using Query = std::function<void(const boost::asio::ip::udp::endpoint &, std::function<void(ut3::QueryResult)>)>;

    // How a request for a server's result was met.
    enum class Lookup {
        hit,    // from the cache, at once
        miss,   // by a new query
        shared, // by the query already in flight
        busy,   // not at all: a new query was needed, but maxInFlight are under way
    };

    StatusCache(Query query, Clock::duration period, std::size_t maxInFlight, SteadyNow now = {});

    // Delivers the server's result: at once from the cache, or when the
    // query in flight or a new one ends. Never delivers when busy.
    Lookup get(const boost::asio::ip::udp::endpoint &server, Delivery delivery);

    std::size_t inFlight() const { return m_inFlight; }

private:
    struct Entry {
        Clock::time_point sentAt;
        Result result;                 // null while the first query is in flight
        std::vector<Delivery> waiting; // non-empty only while a query is in flight
        bool querying = false;
    };
    void finish(const boost::asio::ip::udp::endpoint &server, ut3::QueryResult result);
    void forgetStale(Clock::time_point now);

    Query m_query;
    Clock::duration m_period;
    std::size_t m_maxInFlight;
    SteadyNow m_now;
    std::size_t m_inFlight = 0;
    Clock::time_point m_lastSweep;
    std::map<boost::asio::ip::udp::endpoint, Entry> m_entries;
    // Tells callbacks of queries still in flight whether the cache is gone.
    std::shared_ptr<StatusCache *> m_alive = std::make_shared<StatusCache *>(this);
};

}
