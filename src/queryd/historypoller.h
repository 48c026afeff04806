#pragma once

#include "ut3/result.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace queryd {

class PlayerHistory;
class Service;
struct HistoryOptions;

// Asks the servers users looked up lately for their state every interval,
// so their history has no holes while nobody watches. Runs on the
// service's io_context with at most maxInFlight polls at once; each poll goes
// through the service's cache, so a poll and a page share one query and a
// server still gets at most one per cache period.
class HistoryPoller final : public std::enable_shared_from_this<HistoryPoller> {
public:
    using Servers = std::function<std::vector<ut3::QueryTarget>()>;
    using Query = std::function<void(const ut3::QueryTarget &, std::function<void()> done)>;

    static std::shared_ptr<HistoryPoller> start(boost::asio::io_context &io, Servers servers, Query query,
                                                std::chrono::milliseconds interval, std::size_t maxInFlight);
    HistoryPoller(boost::asio::io_context &io, Servers servers, Query query, std::chrono::milliseconds interval,
                  std::size_t maxInFlight);
    void stop();

private:
    void round();
    void launch();

    boost::asio::steady_timer m_timer;
    Servers m_servers;
    Query m_query;
    std::chrono::milliseconds m_interval;
    std::size_t m_maxInFlight;
    std::size_t m_inFlight = 0;
    std::deque<ut3::QueryTarget> m_waiting;
    bool m_stopped = false;
};

// Polls the history's servers through the service, as the options say;
// nothing when history or polling is off.
std::shared_ptr<HistoryPoller> startHistoryPolling(boost::asio::io_context &io, const HistoryOptions &options,
                                                   const std::shared_ptr<PlayerHistory> &history,
                                                   const std::shared_ptr<Service> &service);

}
