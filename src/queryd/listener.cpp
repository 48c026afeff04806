#include "queryd/listener.h"

namespace queryd {

using boost::asio::ip::tcp;

Listener::Listener(boost::asio::io_context &io, const ServiceOptions &options, std::shared_ptr<Service> service,
                   std::list<tcp::acceptor> acceptors, SteadyNow now)
    : m_io(io)
    , m_options(options)
    , m_service(std::move(service))
    , m_acceptors(std::move(acceptors))
    , m_admission(options.limits, std::move(now))
    , m_idleTimer(io)
    , m_sweepTimer(io)
    , m_log(io)
{
}

void Listener::start()
{
    for (tcp::acceptor &acceptor : m_acceptors)
        accept(acceptor);
    if (m_options.idleExit.count() > 0)
        armIdleTimer();
    armSweepTimer();
}

std::vector<tcp::endpoint> Listener::endpoints() const
{
    std::vector<tcp::endpoint> result;
    for (const tcp::acceptor &acceptor : m_acceptors) {
        boost::system::error_code ignored;
        result.push_back(acceptor.local_endpoint(ignored));
    }
    return result;
}

void Listener::onIdle(std::function<void()> idle)
{
    m_idle = std::move(idle);
}

void Listener::accept(tcp::acceptor &acceptor)
{
    acceptor.async_accept([self = shared_from_this(), &acceptor](boost::system::error_code error, tcp::socket socket) {
        if (self->m_stopped || error == boost::asio::error::operation_aborted
            || error == boost::asio::error::bad_descriptor)
            return;
        if (!error)
            self->admit(std::move(socket));
        // Running out of descriptors must not spin: wait a moment then.
        if (error == boost::asio::error::no_descriptors || error == boost::asio::error::no_buffer_space) {
            auto timer = std::make_shared<boost::asio::steady_timer>(self->m_io, std::chrono::milliseconds(100));
            timer->async_wait([self, timer, &acceptor](auto) { self->accept(acceptor); });
            return;
        }
        self->accept(acceptor);
    });
}

void Listener::admit(tcp::socket socket)
{
    boost::system::error_code ignored;
    auto opening = m_admission.opened(socket.remote_endpoint(ignored).address());
    auto session = std::make_shared<Session>(std::move(socket), opening.id, shared_from_this());
    m_service->metrics().connectionOpened();
    m_sessions.emplace(opening.id, session);
    if (auto *refusal = std::get_if<Refusal>(&opening.verdict))
        return session->refuse(std::move(refusal->answer));
    if (const auto *displacing = std::get_if<Displacing>(&opening.verdict))
        if (const auto quietest = m_sessions.find(displacing->quietest); quietest != m_sessions.end())
            if (const auto closing = quietest->second.lock())
                closing->close();
    session->start();
}

void Listener::serve(ConnectionId connection, std::string_view target, const boost::asio::ip::address &client,
                     Clock::time_point started, Reply reply)
{
    auto verdict = m_admission.request(connection, started);
    if (auto *refusal = std::get_if<Refusal>(&verdict))
        return reply(std::move(refusal->answer));
    m_service->handle(target, client, std::move(reply));
}

void Listener::answered(const AnsweredRequest &request)
{
    const Clock::duration took = now() - request.started;
    m_log.add(requestLogLine(std::chrono::system_clock::now(), request.client, request.method, request.target,
                             request.status, took));
    m_service->metrics().requestAnswered(request.status, took);
    m_admission.answered(request.connection, request.served);
}

void Listener::closed(ConnectionId connection)
{
    m_sessions.erase(connection);
    m_admission.closed(connection);
    m_service->metrics().connectionClosed();
}

void Listener::armIdleTimer()
{
    m_idleTimer.expires_after(m_admission.untilIdle(m_options.idleExit));
    m_idleTimer.async_wait([self = shared_from_this()](boost::system::error_code error) {
        if (error || self->m_stopped)
            return;
        if (self->m_admission.untilIdle(self->m_options.idleExit) == Clock::duration::zero()) {
            if (self->m_idle)
                self->m_idle();
            return;
        }
        self->armIdleTimer();
    });
}

void Listener::armSweepTimer()
{
    m_sweepTimer.expires_after(std::chrono::seconds(10));
    m_sweepTimer.async_wait([self = shared_from_this()](boost::system::error_code error) {
        if (error || self->m_stopped)
            return;
        self->m_admission.forgetQuietClients();
        self->armSweepTimer();
    });
}

void Listener::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    boost::system::error_code ignored;
    for (tcp::acceptor &acceptor : m_acceptors)
        acceptor.close(ignored);
    m_idleTimer.cancel();
    m_sweepTimer.cancel();
    // Closing ends each session, which takes itself off the map.
    for (const auto &[connection, weak] : std::map(m_sessions))
        if (const auto session = weak.lock())
            session->close();
    m_log.flush();
}

}
