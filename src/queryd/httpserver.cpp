#include "queryd/httpserver.h"

#include "queryd/listenaddress.h"
#include "queryd/options.h"
#include "queryd/pages.h"
#include "queryd/ratelimiter.h"
#include "queryd/requesthead.h"
#include "queryd/requestlog.h"

#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <list>
#include <map>

namespace queryd {

namespace beast = boost::beast;
namespace http = beast::http;
using boost::asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

// Beast of this Boost takes its own string_view.
beast::string_view view(std::string_view text)
{
    return {text.data(), text.size()};
}

// Every answer says that its scripts and styles come only from the service.
constexpr std::string_view ContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
    "base-uri 'none'; form-action 'self'; frame-ancestors 'none'";

class Session;

}

class HttpServer::Core final : public std::enable_shared_from_this<Core> {
public:
    Core(boost::asio::io_context &io, const ServiceOptions &options, std::shared_ptr<Service> service)
        : io(io)
        , options(options)
        , service(std::move(service))
        , rateLimiter(options.limits.clientRate)
        , idleTimer(io)
        , sweepTimer(io)
        , log(io)
        , serverHeader("skirvane-queryd/" + std::string(version()))
    {
    }

    void accept(tcp::acceptor &acceptor);
    void armIdleTimer();
    void armSweepTimer();
    void stop();

    boost::asio::io_context &io;
    ServiceOptions options;
    std::shared_ptr<Service> service;
    RateLimiter rateLimiter;
    std::list<tcp::acceptor> acceptors;
    std::list<std::weak_ptr<Session>> sessions;
    std::size_t connections = 0;
    std::map<boost::asio::ip::address, std::size_t> clientConnections;
    std::size_t activeRequests = 0;
    Clock::time_point lastRequest = Clock::now();
    boost::asio::steady_timer idleTimer;
    boost::asio::steady_timer sweepTimer;
    std::function<void()> idle;
    RequestLog log;
    std::string serverHeader;
    bool stopped = false;
};

namespace {

class Session final : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, std::shared_ptr<HttpServer::Core> core)
        : m_stream(std::move(socket))
        , m_core(std::move(core))
        , m_buffer(m_core->options.limits.maxRequestBytes)
        , m_headerTimer(m_core->io)
    {
        boost::system::error_code ignored;
        const tcp::endpoint remote = m_stream.socket().remote_endpoint(ignored);
        m_client = remote.address();
        m_clientText = m_client.to_string();
        ++m_core->connections;
        ++m_core->clientConnections[m_client];
        m_core->service->metrics().connectionOpened();
    }
    ~Session()
    {
        --m_core->connections;
        if (--m_core->clientConnections[m_client] == 0)
            m_core->clientConnections.erase(m_client);
        m_core->service->metrics().connectionClosed();
    }

    void start() { read(); }

    const boost::asio::ip::address &client() const { return m_client; }

    // Over a connection limit: one short answer, then closed.
    void refuse(std::string_view sentence)
    {
        m_keepAlive = false;
        m_started = Clock::now();
        m_method = "-";
        m_target = "-";
        answer(Response{503, "text/plain; charset=utf-8", std::string(sentence) + "\n", {{"Retry-After", "1"}}});
    }

    void close()
    {
        m_headerTimer.cancel();
        boost::system::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        m_stream.close();
    }

private:
    void read()
    {
        m_parser.emplace();
        m_parser->header_limit(static_cast<std::uint32_t>(m_core->options.limits.maxRequestBytes));
        m_parser->body_limit(0);
        // Not the stream's own deadline: that closes the socket, and a
        // client that stalls mid-request is owed a 408 first.
        m_stream.expires_never();
        m_timedOut = false;
        const auto &limits = m_core->options.limits;
        m_headerTimer.expires_after(m_answered > 0 ? limits.keepAliveTimeout : limits.headerTimeout);
        m_headerTimer.async_wait([self = shared_from_this()](boost::system::error_code error) {
            if (error)
                return;
            self->m_timedOut = true;
            boost::system::error_code ignored;
            self->m_stream.socket().cancel(ignored);
        });
        http::async_read_header(m_stream, m_buffer, *m_parser, [self = shared_from_this()](beast::error_code error,
                                                                                         std::size_t) {
            self->onHead(error);
        });
    }

    // The head is checked before any body is read: a body that cannot be
    // framed must not be read as the next request.
    void onHead(beast::error_code error)
    {
        if (!error) {
            if (auto refusal = refusalForHead(m_parser->get(), m_core->options)) {
                stopWaiting();
                takeHead();
                m_keepAlive = false;
                return plainAnswer(refusal->status, std::move(refusal->sentence));
            }
            if (!m_parser->is_done())
                return http::async_read(m_stream, m_buffer, *m_parser,
                                        [self = shared_from_this()](beast::error_code error, std::size_t) {
                                            self->onRead(error);
                                        });
        }
        onRead(error);
    }

    void stopWaiting()
    {
        m_started = Clock::now();
        m_headerTimer.cancel();
    }

    void takeHead()
    {
        const auto &request = m_parser->get();
        m_method = std::string(request.method_string());
        m_target = std::string(request.target());
        m_keepAlive = request.keep_alive();
        m_head = request.method() == http::verb::head;
        m_version = request.version();
    }

    void onRead(beast::error_code error)
    {
        stopWaiting();
        if (error) {
            m_keepAlive = false;
            m_method = "-";
            // A connection waiting quietly for its next request just ends;
            // one that started a request and stalled is told why.
            if (m_timedOut && !m_core->stopped) {
                if (m_buffer.size() == 0 && !m_parser->got_some())
                    return close();
                return plainAnswer(408, "The request did not arrive in time.");
            }
            if (error == http::error::end_of_stream || error == boost::asio::error::operation_aborted
                || error == boost::asio::error::connection_reset)
                return close();
            if (error == http::error::header_limit || error == http::error::buffer_overflow)
                return plainAnswer(431, "The request is larger than this service accepts.");
            if (error == http::error::body_limit || error == http::error::unexpected_body)
                return plainAnswer(413, "This service reads no request bodies.");
            return plainAnswer(400, "The request is not valid HTTP/1.1 (" + error.message() + ").");
        }
        takeHead();
        const auto &request = m_parser->get();
        if (request.method() != http::verb::get && request.method() != http::verb::head) {
            Response response{405, "text/plain; charset=utf-8", "Only GET and HEAD are served here.\n", {{"Allow", "GET, HEAD"}}};
            return answer(std::move(response));
        }
        if (const auto wait = m_core->rateLimiter.refusal(m_client, m_started)) {
            Response response{429, "text/html; charset=utf-8",
                              messagePage("Too many requests", "This address sent more requests than the service "
                                                               "answers per second. Try again in a moment."),
                              {{"Retry-After", std::to_string(wait->count())}}};
            return answer(std::move(response));
        }
        ++m_core->activeRequests;
        m_counted = true;
        m_core->service->handle(m_target, m_client, [self = shared_from_this()](Response response) {
            self->answer(std::move(response));
        });
    }

    void plainAnswer(unsigned status, std::string sentence)
    {
        if (m_target.empty())
            m_target = "-";
        answer(Response{status, "text/plain; charset=utf-8", std::move(sentence) + "\n", {}});
    }

    void answer(Response response)
    {
        m_response = {};
        m_response.result(response.status);
        m_response.version(m_version);
        m_response.set(http::field::server, m_core->serverHeader);
        m_response.set(http::field::content_type, view(response.contentType));
        m_response.set("Content-Security-Policy", view(ContentSecurityPolicy));
        m_response.set("X-Content-Type-Options", "nosniff");
        m_response.set("Referrer-Policy", "no-referrer");
        for (const auto &[name, value] : response.headers)
            m_response.set(view(name), value);
        m_response.keep_alive(m_keepAlive && !m_core->stopped);
        m_status = response.status;
        m_response.content_length(response.body.size());
        if (!m_head)
            m_response.body() = std::move(response.body);
        m_stream.expires_after(m_core->options.limits.writeTimeout);
        http::async_write(m_stream, m_response, [self = shared_from_this()](beast::error_code error, std::size_t) {
            self->onWritten(error);
        });
    }

    void onWritten(beast::error_code error)
    {
        m_core->log.add(requestLogLine(std::chrono::system_clock::now(), m_clientText, m_method, m_target, m_status,
                                       Clock::now() - m_started));
        m_core->service->metrics().requestAnswered(m_status, Clock::now() - m_started);
        // Any answer, a refusal too, counts as use for the idle exit.
        m_core->lastRequest = Clock::now();
        if (m_counted) {
            m_counted = false;
            --m_core->activeRequests;
        }
        if (error || !m_response.keep_alive())
            return close();
        m_target.clear();
        ++m_answered;
        read();
    }

    beast::tcp_stream m_stream;
    std::shared_ptr<HttpServer::Core> m_core;
    beast::flat_buffer m_buffer;
    boost::asio::steady_timer m_headerTimer;
    bool m_timedOut = false;
    std::optional<http::request_parser<http::empty_body>> m_parser;
    http::response<http::string_body> m_response;
    boost::asio::ip::address m_client;
    std::string m_clientText;
    std::string m_method, m_target;
    unsigned m_version = 11;
    unsigned m_status = 0;
    bool m_keepAlive = true;
    bool m_head = false;
    bool m_counted = false;
    std::size_t m_answered = 0;
    Clock::time_point m_started;
};

}

void HttpServer::Core::accept(tcp::acceptor &acceptor)
{
    acceptor.async_accept([self = shared_from_this(), &acceptor](boost::system::error_code error, tcp::socket socket) {
        if (self->stopped || error == boost::asio::error::operation_aborted
            || error == boost::asio::error::bad_descriptor)
            return;
        if (!error) {
            const bool over = self->connections >= self->options.limits.maxConnections;
            auto session = std::make_shared<Session>(std::move(socket), self);
            // Forget sessions that are gone, so that the list stays as long as the open connections.
            std::erase_if(self->sessions, [](const std::weak_ptr<Session> &s) { return s.expired(); });
            self->sessions.push_back(session);
            const std::size_t perClient = self->options.limits.maxClientConnections;
            if (over)
                session->refuse("The service has too many connections open. Try again in a moment.");
            else if (perClient > 0 && self->clientConnections[session->client()] > perClient)
                session->refuse("This address has too many connections open to the service. Close some, or try "
                                "again in a moment.");
            else
                session->start();
        }
        // Running out of descriptors must not spin: wait a moment then.
        if (error == boost::asio::error::no_descriptors || error == boost::asio::error::no_buffer_space) {
            auto timer = std::make_shared<boost::asio::steady_timer>(self->io, std::chrono::milliseconds(100));
            timer->async_wait([self, timer, &acceptor](auto) { self->accept(acceptor); });
            return;
        }
        self->accept(acceptor);
    });
}

void HttpServer::Core::armIdleTimer()
{
    const Clock::time_point due = lastRequest + options.idleExit;
    idleTimer.expires_at(due);
    idleTimer.async_wait([self = shared_from_this()](boost::system::error_code error) {
        if (error || self->stopped)
            return;
        if (self->activeRequests == 0 && Clock::now() - self->lastRequest >= self->options.idleExit) {
            if (self->idle)
                self->idle();
            return;
        }
        if (self->activeRequests > 0)
            self->lastRequest = Clock::now();
        self->armIdleTimer();
    });
}

void HttpServer::Core::armSweepTimer()
{
    sweepTimer.expires_after(std::chrono::seconds(10));
    sweepTimer.async_wait([self = shared_from_this()](boost::system::error_code error) {
        if (error || self->stopped)
            return;
        self->rateLimiter.forgetIdle(Clock::now());
        self->armSweepTimer();
    });
}

void HttpServer::Core::stop()
{
    if (stopped)
        return;
    stopped = true;
    boost::system::error_code ignored;
    for (tcp::acceptor &acceptor : acceptors)
        acceptor.close(ignored);
    idleTimer.cancel();
    sweepTimer.cancel();
    for (const auto &weak : sessions)
        if (const auto session = weak.lock())
            session->close();
    sessions.clear();
    log.flush();
}

HttpServer::HttpServer(std::shared_ptr<Core> core)
    : m_core(std::move(core))
{
}

HttpServer::~HttpServer()
{
    m_core->stop();
}

std::variant<std::unique_ptr<HttpServer>, std::string>
HttpServer::start(boost::asio::io_context &io, const ServiceOptions &options, std::shared_ptr<Service> service,
                  const std::vector<int> &inheritedSockets)
{
    auto core = std::make_shared<Core>(io, options, std::move(service));
    for (const int fd : inheritedSockets) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
        const tcp protocol = address.ss_family == AF_INET6 ? tcp::v6() : tcp::v4();
        boost::system::error_code error;
        core->acceptors.emplace_back(io).assign(protocol, fd, error);
        if (error)
            return "cannot use the socket handed over as descriptor " + std::to_string(fd) + ": " + error.message();
    }
    const bool defaults = options.listen.empty() && inheritedSockets.empty();
    const auto wanted = defaults ? defaultListenAddresses() : options.listen;
    for (const tcp::endpoint &endpoint : wanted) {
        tcp::acceptor acceptor(io);
        boost::system::error_code error;
        acceptor.open(endpoint.protocol(), error);
        if (!error && endpoint.address().is_v6())
            acceptor.set_option(boost::asio::ip::v6_only(true), error);
        if (!error)
            acceptor.set_option(tcp::acceptor::reuse_address(true), error);
        if (!error)
            acceptor.bind(endpoint, error);
        if (!error)
            acceptor.listen(boost::asio::socket_base::max_listen_connections, error);
        // A machine without IPv6 still serves the IPv4 default.
        if (error && defaults && endpoint.address().is_v6()
            && (error == boost::system::errc::address_not_available
                || error == boost::asio::error::address_family_not_supported))
            continue;
        if (error)
            return "cannot listen on " + endpointText(endpoint) + ": " + error.message();
        core->acceptors.push_back(std::move(acceptor));
    }
    for (tcp::acceptor &acceptor : core->acceptors)
        core->accept(acceptor);
    if (options.idleExit.count() > 0)
        core->armIdleTimer();
    core->armSweepTimer();
    return std::make_unique<HttpServer>(core);
}

std::vector<tcp::endpoint> HttpServer::endpoints() const
{
    std::vector<tcp::endpoint> result;
    for (const tcp::acceptor &acceptor : m_core->acceptors) {
        boost::system::error_code ignored;
        result.push_back(acceptor.local_endpoint(ignored));
    }
    return result;
}

void HttpServer::onIdle(std::function<void()> idle)
{
    m_core->idle = std::move(idle);
}

void HttpServer::stop()
{
    m_core->stop();
}

}
