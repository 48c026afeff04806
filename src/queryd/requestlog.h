#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

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

// Lines to standard error, gathered for a moment and written together:
// one write carries every line of that moment (or of 64 KiB), not one
// write per request, and a quiet service's line still shows at once to
// the eye. What is held is written out by flush(), which stopping the
// service calls, and on destruction.
class RequestLog final {
public:
    explicit RequestLog(boost::asio::io_context &io);
    ~RequestLog();
    RequestLog(const RequestLog &) = delete;
    RequestLog &operator=(const RequestLog &) = delete;

    void add(const std::string &line);
    void flush();

private:
    std::string m_pending;
    boost::asio::steady_timer m_flushTimer;
    bool m_flushArmed = false;
    // Tells a flush already due whether the log is gone.
    std::shared_ptr<RequestLog *> m_alive = std::make_shared<RequestLog *>(this);
};

}
