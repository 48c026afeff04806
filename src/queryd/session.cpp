#include "queryd/session.h"

#include "queryd/options.h"
#include "queryd/requesthead.h"

#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

namespace queryd {

namespace beast = boost::beast;
namespace http = beast::http;
using boost::asio::ip::tcp;

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

const std::string &serverHeader()
{
    static const std::string header = "skirvane-queryd/" + std::string(version());
    return header;
}

}

Session::Session(tcp::socket socket, ConnectionId id, std::shared_ptr<SessionHost> host)
    : m_stream(std::move(socket))
    , m_id(id)
    , m_host(std::move(host))
    , m_buffer(m_host->options().limits.maxRequestBytes)
    , m_readTimer(m_stream.get_executor())
{
    boost::system::error_code ignored;
    m_client = m_stream.socket().remote_endpoint(ignored).address();
    m_clientText = m_client.to_string();
}

Session::~Session()
{
    m_host->closed(m_id);
}

// The first request's head is due a header timeout after the connection opens.
void Session::start()
{
    readHead();
}

void Session::refuse(Response answer)
{
    m_keepAlive = false;
    m_started = m_host->now();
    m_method = "-";
    m_target = "-";
    this->answer(std::move(answer));
}

void Session::close()
{
    m_readTimer.cancel();
    boost::system::error_code ignored;
    m_stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
    m_stream.close();
}

void Session::armTimer(Clock::duration timeout)
{
    m_timedOut = false;
    m_readTimer.expires_after(timeout);
    m_readTimer.async_wait([self = shared_from_this()](boost::system::error_code error) {
        // A timer set again after it went off is not due yet.
        if (error || self->m_readTimer.expiry() > Clock::now())
            return;
        self->m_timedOut = true;
        boost::system::error_code ignored;
        self->m_stream.socket().cancel(ignored);
    });
}

// Between requests the connection waits for the keep-alive timeout; a next
// request's head is then due a header timeout after its first bytes.
void Session::awaitNextRequest()
{
    if (m_buffer.size() > 0)
        return readHead();
    armTimer(m_host->options().limits.keepAliveTimeout);
    m_stream.socket().async_wait(tcp::socket::wait_read, [self = shared_from_this()](boost::system::error_code error) {
        if (error || self->m_timedOut || self->m_host->stopping())
            return self->close();
        self->readHead();
    });
}

void Session::readHead()
{
    const Limits &limits = m_host->options().limits;
    m_parser.emplace();
    m_parser->header_limit(static_cast<std::uint32_t>(limits.maxRequestBytes));
    m_parser->body_limit(0);
    armTimer(limits.headerTimeout);
    http::async_read_header(m_stream, m_buffer, *m_parser,
                            [self = shared_from_this()](beast::error_code error, std::size_t) { self->onHead(error); });
}

// The head is checked before any body is read: a body that cannot be
// framed must not be read as the next request.
void Session::onHead(beast::error_code error)
{
    if (!error) {
        auto verdict = judgeHead(m_parser->get(), m_host->options());
        if (auto *refusal = std::get_if<HeadRefusal>(&verdict)) {
            m_started = m_host->now();
            m_readTimer.cancel();
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

void Session::takeHead()
{
    const auto &request = m_parser->get();
    // Assigned, not made anew: the strings keep their room from request to request.
    m_method.assign(request.method_string().data(), request.method_string().size());
    m_target.assign(request.target().data(), request.target().size());
    m_keepAlive = request.keep_alive();
    m_head = request.method() == http::verb::head;
    m_version = request.version();
}

void Session::onRead(beast::error_code error)
{
    m_started = m_host->now();
    m_readTimer.cancel();
    if (error) {
        m_keepAlive = false;
        m_method = "-";
        // A connection that sent nothing just ends; one that started a
        // request and stalled is told why.
        if (m_timedOut && !m_host->stopping()) {
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
    const auto method = m_parser->get().method();
    if (method != http::verb::get && method != http::verb::head)
        return answer({405, "text/plain; charset=utf-8", "Only GET and HEAD are served here.\n", {{"Allow", "GET, HEAD"}}});
    m_served = true;
    m_host->serve(m_id, m_target, m_client, m_started,
                  [self = shared_from_this()](Response response) { self->answer(std::move(response)); });
}

void Session::plainAnswer(unsigned status, std::string sentence)
{
    if (m_target.empty())
        m_target = "-";
    answer(Response{status, "text/plain; charset=utf-8", std::move(sentence) + "\n", {}});
}

void Session::answer(Response response)
{
    m_response = {};
    m_response.result(response.status);
    m_response.version(m_version);
    m_response.set(http::field::server, serverHeader());
    m_response.set(http::field::content_type, view(response.contentType));
    m_response.set("Content-Security-Policy", view(ContentSecurityPolicy));
    m_response.set("X-Content-Type-Options", "nosniff");
    m_response.set("Referrer-Policy", "no-referrer");
    for (const auto &[name, value] : response.headers)
        m_response.set(view(name), value);
    m_response.keep_alive(m_keepAlive && !m_host->stopping());
    m_status = response.status;
    m_response.content_length(response.body.size());
    if (!m_head)
        m_response.body() = std::move(response.body);
    m_stream.expires_after(m_host->options().limits.writeTimeout);
    http::async_write(m_stream, m_response,
                      [self = shared_from_this()](beast::error_code error, std::size_t) { self->onWritten(error); });
}

void Session::onWritten(beast::error_code error)
{
    m_stream.expires_never();
    m_host->answered({m_id, m_clientText, m_method, m_target, m_status, m_started, m_served});
    m_served = false;
    if (error || !m_response.keep_alive())
        return close();
    m_target.clear();
    awaitNextRequest();
}

}
