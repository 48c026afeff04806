#pragma once

#include <boost/asio/io_context.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace queryd {

// One line per request: UTC time, client, method and target, status,
// duration. The target comes from the client: bytes outside printable
// ASCII are written as \xNN, and a long one is cut, so that a line stays
// one line of plain text.
std::string requestLogLine(std::chrono::system_clock::time_point when, std::string_view client,
                           std::string_view method, std::string_view target, unsigned status,
                           std::chrono::steady_clock::duration took);

// Lines to standard error, gathered while the io_context has other
// handlers ready and written in one write after them: under load one write
// carries many lines, and a quiet service still writes each line at once.
class RequestLog final {
public:
    explicit RequestLog(boost::asio::io_context &io);
    ~RequestLog();
    RequestLog(const RequestLog &) = delete;
    RequestLog &operator=(const RequestLog &) = delete;

    void add(const std::string &line);
    void flush();

private:
    boost::asio::io_context &m_io;
    std::string m_pending;
    bool m_flushPosted = false;
    // Tells a posted flush whether the log is gone.
    std::shared_ptr<RequestLog *> m_alive = std::make_shared<RequestLog *>(this);
};

}
