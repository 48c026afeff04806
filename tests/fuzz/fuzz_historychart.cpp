// libFuzzer target for the history's pictures: the day chart, the
// sparkline and the busiest hours, with any counts an int can hold. Build
// as fuzz_ut3reply is built, then:
//   mkdir -p found-chart && build/fuzz/bin/fuzz_historychart found-chart tests/fuzz/corpus-chart
// The input is two bytes of UTC offset (signed, in minutes, cut to ±14 h),
// then steps of nine bytes each: a flag byte (bit 0: answered) and the
// players and bots as 32-bit little-endian ints, up to three days of
// 5-minute steps. The same bytes, read as doubles, are the hourly averages.
#include "history/busiesthours.h"
#include "history/chart.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::int32_t int32At(const std::uint8_t *bytes)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | bytes[i];
    return static_cast<std::int32_t>(value);
}

// A picture is drawn whole and with finite numbers alone.
void checkPicture(const std::string &svg)
{
    if (!svg.starts_with("<svg ") || !svg.ends_with("</svg>"))
        std::abort();
    if (svg.find("nan") != std::string::npos || svg.find("inf") != std::string::npos)
        std::abort();
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int offsetMinutes = std::clamp<int>(static_cast<std::int16_t>(data[0] | data[1] << 8), -14 * 60, 14 * 60);
    data += 2;
    size -= 2;

    constexpr std::size_t stepBytes = 9;
    constexpr std::size_t mostSteps = 3 * 288;
    history::Series series{history::Seconds(std::chrono::seconds(1796155200 - 86400)), std::chrono::minutes(5), {}};
    for (std::size_t at = 0; at + stepBytes <= size && series.steps.size() < mostSteps; at += stepBytes) {
        if (data[at] & 1)
            series.steps.push_back(history::Count{int32At(data + at + 1), int32At(data + at + 5)});
        else
            series.steps.push_back(std::nullopt);
    }
    checkPicture(history::dayChart(series, std::chrono::minutes(offsetMinutes)));
    checkPicture(history::sparkline(series));

    history::HourlyAverages averages;
    for (std::size_t hour = 0; hour < averages.size() && (hour + 1) * sizeof(double) <= size; ++hour) {
        double average;
        std::memcpy(&average, data + hour * sizeof(double), sizeof average);
        if (data[hour] & 2)
            averages[hour] = average;
    }
    if (const auto busiest = history::busiestHours(averages)) {
        if (busiest->fromHour < 0 || busiest->fromHour > 23 || busiest->toHour < 0 || busiest->toHour > 23)
            std::abort();
        if (!busiestSentence(*busiest, "last 7 days").starts_with("usually busiest "))
            std::abort();
    }
    return 0;
}
