#include "queryd/utctime.h"

#include <ctime>

namespace queryd {

std::string utcTime(std::chrono::system_clock::time_point when, const char *format)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &tm);
    return std::string(text, length);
}

}
