#pragma once

#include <chrono>
#include <string>

namespace common {

// ISO 8601 to the second, as JSON and the log give times.
inline constexpr char IsoSeconds[] = "%Y-%m-%dT%H:%M:%SZ";

// The time in UTC, laid out by a strftime format.
std::string utcTime(std::chrono::system_clock::time_point when, const char *format);

// ISO 8601 to the millisecond: "2023-11-14T22:13:20.123Z".
std::string isoUtcMillis(std::chrono::system_clock::time_point when);

}
