#pragma once

#include "queryd/admission.h"
#include "queryd/options.h"
#include "queryd/response.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace queryd {

// A request as it was answered, for the log and the metrics.
struct AnsweredRequest {
    ConnectionId connection;
    std::string_view client, method, target;
    unsigned status;
    std::chrono::steady_clock::time_point started;
    bool served; // it was handed to SessionHost::serve
};

// What a connection's session asks of the server that accepted it.
class SessionHost {
public:
    virtual ~SessionHost() = default;
    virtual const ServiceOptions &options() const = 0;
    // The time requests are stamped with, for the log, the metrics and the rates.
    virtual std::chrono::steady_clock::time_point now() const = 0;
    // A stopping server closes each connection after its current answer.
    virtual bool stopping() const = 0;
    // A GET or HEAD request that HTTP let through; reply is called once.
    virtual void serve(ConnectionId connection, std::string_view target, const boost::asio::ip::address &client,
                       std::chrono::steady_clock::time_point started, Reply reply) = 0;
    // An answer went out, or could not.
    virtual void answered(const AnsweredRequest &request) = 0;
    // The connection is closed and its session gone.
    virtual void closed(ConnectionId connection) = 0;
};

// One connection: reads requests one after another, each within its
// timeouts, and writes their answers. Keeps its connection alive between
// requests as HTTP/1.1 allows.
class Session final : public std::enable_shared_from_this<Session> {
public:
    using Clock = std::chrono::steady_clock;

    Session(boost::asio::ip::tcp::socket socket, ConnectionId id, std::shared_ptr<SessionHost> host);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    void start();
    // Turned away before any request: this one answer, then closed.
    void refuse(Response answer);
    void close();

    const boost::asio::ip::address &client() const { return m_client; }

private:
    void armTimer(Clock::duration timeout);
    void awaitNextRequest();
    void readHead();
    void onHead(boost::beast::error_code error);
    void onRead(boost::beast::error_code error);
    void takeHead();
    void plainAnswer(unsigned status, std::string sentence);
    void answer(Response response);
    void onWritten(boost::beast::error_code error);

    boost::beast::tcp_stream m_stream;
    const ConnectionId m_id;
    std::shared_ptr<SessionHost> m_host;
    boost::beast::flat_buffer m_buffer;
    // Not the stream's own deadline, which closes the socket: a client that
    // stalls mid-request is owed a 408 first.
    boost::asio::steady_timer m_readTimer;
    bool m_timedOut = false;
    std::optional<boost::beast::http::request_parser<boost::beast::http::empty_body>> m_parser;
    boost::beast::http::response<boost::beast::http::string_body> m_response;
    boost::asio::ip::address m_client;
    std::string m_clientText;
    std::string m_method, m_target;
    unsigned m_version = 11;
    unsigned m_status = 0;
    bool m_keepAlive = true;
    bool m_head = false;
    bool m_served = false;
    Clock::time_point m_started;
};

}
