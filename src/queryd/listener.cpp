#include "queryd/listener.h"

#include "queryd/pages.h"

namespace queryd {

using boost::asio::ip::tcp;

Listener::Listener(boost::asio::io_context &io, const ServiceOptions &options, std::shared_ptr<Service> service,
                   std::list<tcp::acceptor> acceptors)
    : m_io(io)
    , m_options(options)
    , m_service(std::move(service))
    , m_acceptors(std::move(acceptors))
    , m_rateLimiter(options.limits.clientRate)
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
    const bool over = m_connections >= m_options.limits.maxConnections;
    auto session = std::make_shared<Session>(std::move(socket), shared_from_this());
    ++m_connections;
    const std::size_t fromClient = ++m_clientConnections[session->client()];
    m_service->metrics().connectionOpened();
    // Forget sessions that are gone, so that the list stays as long as the open connections.
    std::erase_if(m_sessions, [](const std::weak_ptr<Session> &s) { return s.expired(); });
    m_sessions.push_back(session);
    const std::size_t perClient = m_options.limits.maxClientConnections;
    if (over)
        session->refuse("The service has too many connections open. Try again in a moment.");
    else if (perClient > 0 && fromClient > perClient)
        session->refuse("This address has too many connections open to the service. Close some, or try again in a "
                        "moment.");
    else
        session->start();
}

void Listener::serve(std::string_view target, const boost::asio::ip::address &client, Clock::time_point started,
                     Service::Reply reply)
{
    ++m_activeRequests;
    if (const auto wait = m_rateLimiter.refusal(client, started))
        return reply({429, "text/html; charset=utf-8",
                      messagePage("Too many requests", "This address sent more requests than the service answers "
                                                       "per second. Try again in a moment."),
                      {{"Retry-After", std::to_string(wait->count())}}});
    m_service->handle(target, client, std::move(reply));
}

void Listener::answered(const AnsweredRequest &request)
{
    const Clock::time_point now = Clock::now();
    m_log.add(requestLogLine(std::chrono::system_clock::now(), request.client, request.method, request.target,
                             request.status, now - request.started));
    m_service->metrics().requestAnswered(request.status, now - request.started);
    // Any answer, a refusal too, counts as use for the idle exit.
    m_lastRequest = now;
    if (request.served)
        --m_activeRequests;
}

void Listener::closed(const boost::asio::ip::address &client)
{
    --m_connections;
    if (--m_clientConnections[client] == 0)
        m_clientConnections.erase(client);
    m_service->metrics().connectionClosed();
}

void Listener::armIdleTimer()
{
    m_idleTimer.expires_at(m_lastRequest + m_options.idleExit);
    m_idleTimer.async_wait([self = shared_from_this()](boost::system::error_code error) {
        if (error || self->m_stopped)
            return;
        if (self->m_activeRequests == 0 && Clock::now() - self->m_lastRequest >= self->m_options.idleExit) {
            if (self->m_idle)
                self->m_idle();
            return;
        }
        if (self->m_activeRequests > 0)
            self->m_lastRequest = Clock::now();
        self->armIdleTimer();
    });
}

void Listener::armSweepTimer()
{
    m_sweepTimer.expires_after(std::chrono::seconds(10));
    m_sweepTimer.async_wait([self = shared_from_this()](boost::system::error_code error) {
        if (error || self->m_stopped)
            return;
        self->m_rateLimiter.forgetIdle(Clock::now());
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
    for (const auto &weak : m_sessions)
        if (const auto session = weak.lock())
            session->close();
    m_sessions.clear();
    m_log.flush();
}

}
