#include "history/busiesthours.h"

#include <algorithm>
#include <cstdio>

namespace history {

namespace {

// Fewer covered hours say more about when the service ran than about when
// people play.
constexpr int minimumCoveredHours = 12;
// Less than this many players on average is an empty server, not a busy one.
constexpr double minimumPeak = 0.5;
// A neighbouring hour belongs to the busy time when it comes this close.
constexpr double closeToPeak = 0.75;
constexpr int maximumHours = 6;

int wrap(int hour)
{
    return (hour % 24 + 24) % 24;
}

}

std::optional<BusiestHours> busiestHours(const HourlyAverages &averages)
{
    const auto covered = std::count_if(averages.begin(), averages.end(), [](const auto &a) { return a.has_value(); });
    if (covered < minimumCoveredHours)
        return std::nullopt;
    int peak = 0;
    for (int hour = 1; hour < 24; ++hour)
        if (averages[hour].value_or(-1) > averages[peak].value_or(-1))
            peak = hour;
    const double peakAverage = averages[peak].value_or(0);
    if (peakAverage < minimumPeak)
        return std::nullopt;

    const auto close = [&](int hour) {
        const auto &average = averages[static_cast<std::size_t>(wrap(hour))];
        return average && *average >= closeToPeak * peakAverage ? *average : -1.0;
    };
    int from = peak;
    int to = peak + 1;
    double sum = peakAverage;
    while (to - from < maximumHours) {
        const double before = close(from - 1);
        const double after = close(to);
        if (before < 0 && after < 0)
            break;
        if (after >= before)
            sum += after, ++to;
        else
            sum += before, --from;
    }
    return BusiestHours{wrap(from), wrap(to), sum / (to - from)};
}

std::string busiestSentence(const BusiestHours &hours, std::string_view period)
{
    char text[64];
    std::snprintf(text, sizeof text, "usually busiest %02d:00\u2013%02d:00 (", hours.fromHour, hours.toHour);
    return std::string(text) + std::string(period) + ")";
}

}
