#pragma once

#include "history/store.h"

#include <optional>
#include <string>

namespace history {

// The hours of the day (local time) in which a server usually has the most
// players: from `fromHour` up to `toHour` (exclusive, 0-23, wrapping past
// midnight when smaller).
struct BusiestHours
{
    int fromHour = 0;
    int toHour = 0;
    double averagePlayers = 0;

    bool operator==(const BusiestHours &) const = default;
};

// The busiest hour and its neighbours that come close to it, at most six
// hours; nothing while most hours of the day have no samples yet, or when
// the server is usually empty.
std::optional<BusiestHours> busiestHours(const HourlyAverages &averages);

// "usually busiest 20:00–23:00 (last 7 days)"
std::string busiestSentence(const BusiestHours &hours, std::string_view period);

}
