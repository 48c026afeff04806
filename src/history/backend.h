#pragma once

#include "history/sample.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

// What the store's backends share beyond the interface: the words their
// messages begin with, the bound on counts from game servers, and times as
// the whole seconds both keep.
namespace history::backend {

inline constexpr std::string_view recording = "Cannot record player history in";
inline constexpr std::string_view reading = "Cannot read player history from";
inline constexpr std::string_view pruning = "Cannot drop old player history from";

// Counts are bounded both ways: a database may come from an older or foreign
// program, and pages do arithmetic with what it holds.
inline constexpr int maxCount = 65535;

inline int storedCount(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, maxCount));
}

inline std::int64_t seconds(Seconds time)
{
    return time.time_since_epoch().count();
}

inline Seconds at(std::int64_t seconds)
{
    return Seconds(std::chrono::seconds(seconds));
}

}
