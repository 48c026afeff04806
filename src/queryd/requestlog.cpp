#include "queryd/requestlog.h"

#include "queryd/utctime.h"

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace queryd {

std::string requestLogLine(std::chrono::system_clock::time_point when, std::string_view client,
                           std::string_view method, std::string_view target, unsigned status,
                           std::chrono::steady_clock::duration took)
{
    constexpr std::size_t longestTarget = 300;
    std::string line = utcTime(when, IsoSeconds) + ' ';
    line.append(client);
    line += ' ';
    line.append(method);
    line += ' ';
    for (std::size_t i = 0; i < target.size() && i < longestTarget; ++i) {
        const unsigned char c = static_cast<unsigned char>(target[i]);
        if (c > 0x20 && c < 0x7F && c != '\\') {
            line += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            line += escape;
        }
    }
    if (target.size() > longestTarget)
        line += "...";
    char tail[48];
    std::snprintf(tail, sizeof tail, " %u %.1fms\n", status,
                  std::chrono::duration<double, std::milli>(took).count());
    line += tail;
    return line;
}

namespace {

constexpr auto FlushEvery = std::chrono::milliseconds(50);
constexpr std::size_t FlushBytes = 64 * 1024;

}

RequestLog::RequestLog(boost::asio::io_context &io)
    : m_flushTimer(io)
{
}

RequestLog::~RequestLog()
{
    flush();
}

void RequestLog::add(const std::string &line)
{
    m_pending += line;
    if (m_pending.size() >= FlushBytes)
        return flush();
    if (m_flushArmed)
        return;
    m_flushArmed = true;
    m_flushTimer.expires_after(FlushEvery);
    m_flushTimer.async_wait([alive = std::weak_ptr<RequestLog *>(m_alive)](boost::system::error_code error) {
        if (const auto log = alive.lock(); log && !error)
            (*log)->flush();
    });
}

void RequestLog::flush()
{
    if (m_flushArmed) {
        m_flushArmed = false;
        m_flushTimer.cancel();
    }
    std::string_view rest = m_pending;
    while (!rest.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, rest.data(), rest.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break; // nowhere to log to: the service goes on without
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    m_pending.clear();
}

}
