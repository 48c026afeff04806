#include "common/utctime.h"

#include <cstdio>
#include <ctime>

namespace common {

std::string utcTime(std::chrono::system_clock::time_point when, const char *format)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(when));
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &tm);
    return std::string(text, length);
}

std::string isoUtcMillis(std::chrono::system_clock::time_point when)
{
    const auto millis = std::chrono::floor<std::chrono::milliseconds>(when).time_since_epoch().count() % 1000;
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03dZ", int(millis < 0 ? millis + 1000 : millis));
    return utcTime(when, "%Y-%m-%dT%H:%M:%S") + fraction;
}

}
