#pragma once

#include "history/pollerlock.h"
#include "ut3/result.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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
//
// Instances sharing one PostgreSQL history poll one at a time: given the
// database, the poller takes part in the poller's lock and only its holder
// asks the servers. It asks at once when the role comes to it, so that a
// handover leaves no more than one interval without answers.
class HistoryPoller final : public std::enable_shared_from_this<HistoryPoller> {
public:
    using Servers = std::function<std::vector<ut3::QueryTarget>()>;
    using Query = std::function<void(const ut3::QueryTarget &, std::function<void()> done)>;

    struct Sharing {
        std::string databaseUri;
        history::PollerLock::Log log;
    };

    static std::shared_ptr<HistoryPoller> start(boost::asio::io_context &io, Servers servers, Query query,
                                                std::chrono::milliseconds interval, std::size_t maxInFlight,
                                                std::optional<Sharing> sharing = std::nullopt);
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
    std::unique_ptr<history::PollerLock> m_lock; // none: this instance alone polls
};

// Polls the history's servers through the service, as the options say;
// nothing when history or polling is off.
std::shared_ptr<HistoryPoller> startHistoryPolling(boost::asio::io_context &io, const HistoryOptions &options,
                                                   const std::shared_ptr<PlayerHistory> &history,
                                                   const std::shared_ptr<Service> &service,
                                                   history::PollerLock::Log log = {});

}
