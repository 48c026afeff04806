#include "queryd/historypoller.h"

#include "queryd/historyoptions.h"
#include "queryd/playerhistory.h"
#include "queryd/service.h"

#include "history/postgres.h"

namespace queryd {

namespace {

// How often an instance that does not poll tries the poller's lock: a few
// times per interval, so that the role moves within one.
std::chrono::milliseconds lockCheck(std::chrono::milliseconds interval)
{
    return std::clamp<std::chrono::milliseconds>(interval / 4, std::chrono::milliseconds(100), std::chrono::seconds(10));
}

}

std::shared_ptr<HistoryPoller> HistoryPoller::start(boost::asio::io_context &io, Servers servers, Query query,
                                                    std::chrono::milliseconds interval, std::size_t maxInFlight,
                                                    std::optional<Sharing> sharing)
{
    auto poller = std::make_shared<HistoryPoller>(io, std::move(servers), std::move(query), interval, maxInFlight);
    if (sharing)
        poller->m_lock = std::make_unique<history::PollerLock>(
            sharing->databaseUri, lockCheck(interval), std::move(sharing->log),
            [&io, weak = std::weak_ptr<HistoryPoller>(poller)] {
                boost::asio::post(io, [weak] {
                    if (const auto self = weak.lock(); self && !self->m_stopped) {
                        self->m_timer.cancel();
                        self->round();
                    }
                });
            });
    // The first round at once: servers watched before a restart get fresh
    // answers without waiting a whole interval.
    boost::asio::post(io, [poller] { poller->round(); });
    return poller;
}

HistoryPoller::HistoryPoller(boost::asio::io_context &io, Servers servers, Query query,
                             std::chrono::milliseconds interval, std::size_t maxInFlight)
    : m_timer(io)
    , m_servers(std::move(servers))
    , m_query(std::move(query))
    , m_interval(interval)
    , m_maxInFlight(std::max<std::size_t>(1, maxInFlight))
{
}

void HistoryPoller::stop()
{
    m_stopped = true;
    m_waiting.clear();
    m_timer.cancel();
    // Hands the role on now rather than when the process is gone.
    m_lock.reset();
}

void HistoryPoller::round()
{
    if (m_stopped)
        return;
    // A round still under way (many servers, slow answers) is finished
    // first rather than piled upon.
    if (m_waiting.empty() && (!m_lock || m_lock->held()))
        for (auto &server : m_servers())
            m_waiting.push_back(std::move(server));
    launch();
    m_timer.expires_after(m_interval);
    m_timer.async_wait([self = shared_from_this()](const boost::system::error_code &error) {
        if (!error)
            self->round();
    });
}

void HistoryPoller::launch()
{
    while (!m_stopped && m_inFlight < m_maxInFlight && !m_waiting.empty()) {
        const ut3::QueryTarget server = std::move(m_waiting.front());
        m_waiting.pop_front();
        ++m_inFlight;
        m_query(server, [self = shared_from_this()] {
            --self->m_inFlight;
            self->launch();
        });
    }
}

std::shared_ptr<HistoryPoller> startHistoryPolling(boost::asio::io_context &io, const HistoryOptions &options,
                                                   const std::shared_ptr<PlayerHistory> &history,
                                                   const std::shared_ptr<Service> &service, history::PollerLock::Log log)
{
    if (!history || !options.poll)
        return nullptr;
    std::optional<HistoryPoller::Sharing> sharing;
    if (options.database && history::postgres::isUri(options.database->native()))
        sharing = HistoryPoller::Sharing{options.database->native(), std::move(log)};
    return HistoryPoller::start(
        io,
        [history, service] {
            auto servers = history->serversToPoll();
            service->metrics().pollList(servers);
            return servers;
        },
        [service](const ut3::QueryTarget &server, std::function<void()> done) { service->refresh(server, std::move(done)); },
        options.pollInterval, options.pollInFlight, std::move(sharing));
}

}
