#pragma once

#include <chrono>
#include <string>

namespace queryd {

// The time in UTC, laid out by a strftime format.
std::string utcTime(std::chrono::system_clock::time_point when, const char *format);

}
