#include "queryd/requestlog.h"

#include <cstdio>
#include <ctime>

namespace queryd {

std::string requestLogLine(std::chrono::system_clock::time_point when, std::string_view client,
                           std::string_view method, std::string_view target, unsigned status,
                           std::chrono::steady_clock::duration took)
{
    constexpr std::size_t longestTarget = 300;
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    char head[40];
    std::strftime(head, sizeof head, "%Y-%m-%dT%H:%M:%SZ ", &tm);
    std::string line = head;
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

void logRequest(const std::string &line)
{
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}
