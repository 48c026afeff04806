#include "history/chart.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace history {

namespace {

struct Frame
{
    double left, top, width, height;
};

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string result(text);
    if (result.ends_with(".0"))
        result.resize(result.size() - 2);
    return result;
}

// The smallest of 1, 2, 5, 10, 20, 50 … at or above `value`; above the
// largest int it is 5,000,000,000, hence 64 bits.
long long roundUp(int value)
{
    for (long long scale = 1;; scale *= 10)
        for (long long step : {1, 2, 5})
            if (step * scale >= value)
                return step * scale;
}

int highest(const Series &series, const std::function<int(const Count &)> &of)
{
    int top = 0;
    for (const auto &step : series.steps)
        if (step)
            top = std::max(top, of(*step));
    return top;
}

// One path per run of answered steps, as steps (flat within a step, upright
// between two), so a gap breaks the line. `closed` draws each run down to the
// base line, for a filled area.
std::string stepPath(const Series &series, const Frame &frame, long long top, const std::function<int(const Count &)> &of, bool closed)
{
    const double stepWidth = frame.width / static_cast<double>(std::max<std::size_t>(1, series.steps.size()));
    const double base = frame.top + frame.height;
    std::string path;
    bool inRun = false;
    for (std::size_t i = 0; i <= series.steps.size(); ++i) {
        const bool answered = i < series.steps.size() && series.steps[i];
        const std::string x = number(frame.left + static_cast<double>(i) * stepWidth);
        if (inRun && !answered)
            path += "H" + x + (closed ? "V" + number(base) + "Z" : "");
        if (answered) {
            // A negative count stays on the base line rather than below the frame.
            const double share = std::clamp(static_cast<double>(of(*series.steps[i])) / static_cast<double>(top), 0.0, 1.0);
            const std::string y = number(base - frame.height * share);
            if (!inRun)
                path += "M" + x + (closed ? "," + number(base) + "V" + y : "," + y);
            else
                path += "H" + x + "V" + y;
        }
        inRun = answered;
    }
    return path;
}

const auto players = [](const Count &count) { return count.players; };
const auto bots = [](const Count &count) { return count.bots; };

}

std::string dayChart(const Series &series, std::chrono::seconds utcOffset)
{
    const Frame frame{28, 16, 514, 100};
    const long long top = roundUp(std::max({1, highest(series, players), highest(series, bots)}));
    const std::string base = number(frame.top + frame.height);
    const std::string right = number(frame.left + frame.width);

    std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" class="history-chart" width="100%" height="140" viewBox="0 0 550 140" role="img">)";
    svg += "<title>Players in the last 24 hours, every 5 minutes; gaps where the server did not answer</title>";
    svg += R"(<g stroke="#ffffff" stroke-opacity="0.18" stroke-width="1">)";
    svg += "<path d=\"M" + number(frame.left) + "," + number(frame.top) + "H" + right + "M" + number(frame.left) + "," + base + "H" + right + "\"/>";

    // Hour marks where local time is a whole hour divisible by three.
    std::string labels;
    const double stepWidth = frame.width / static_cast<double>(std::max<std::size_t>(1, series.steps.size()));
    for (std::size_t i = 0; i <= series.steps.size(); ++i) {
        const auto local = (series.start + series.step * static_cast<long>(i) + utcOffset).time_since_epoch().count();
        const long secondOfDay = (local % 86400 + 86400) % 86400;
        if (secondOfDay % 10800 != 0)
            continue;
        const std::string x = number(frame.left + static_cast<double>(i) * stepWidth);
        svg += "<path d=\"M" + x + "," + number(frame.top) + "V" + base + "\" stroke-dasharray=\"2 3\"/>";
        char hour[8];
        std::snprintf(hour, sizeof hour, "%02ld:00", secondOfDay / 3600);
        labels += "<text x=\"" + x + "\" y=\"132\" text-anchor=\"middle\">" + hour + "</text>";
    }
    svg += "</g>";
    svg += R"(<g fill="#c8d2dc" font-family="sans-serif" font-size="10">)";
    svg += labels;
    svg += "<text x=\"" + number(frame.left - 4) + "\" y=\"" + number(frame.top + 4) + "\" text-anchor=\"end\">" + std::to_string(top) + "</text>";
    svg += "<text x=\"" + number(frame.left - 4) + "\" y=\"" + number(frame.top + frame.height + 4) + "\" text-anchor=\"end\">0</text>";
    if (std::none_of(series.steps.begin(), series.steps.end(), [](const auto &s) { return s.has_value(); }))
        svg += "<text x=\"" + number(frame.left + frame.width / 2) + "\" y=\"" + number(frame.top + frame.height / 2)
               + "\" text-anchor=\"middle\">no answers recorded in the last 24 hours</text>";
    svg += R"(<text x="440" y="10">players</text><text x="508" y="10">bots</text>)";
    svg += "</g>";
    svg += R"(<path d="M420,7H436" stroke="#8fd0ff" stroke-width="2"/><path d="M488,7H504" stroke="#ffc864" stroke-width="1.2" stroke-dasharray="4 2"/>)";

    svg += "<path class=\"players-area\" fill=\"#8fd0ff\" fill-opacity=\"0.28\" d=\"" + stepPath(series, frame, top, players, true) + "\"/>";
    svg += "<path class=\"players\" fill=\"none\" stroke=\"#8fd0ff\" stroke-width=\"1.5\" d=\"" + stepPath(series, frame, top, players, false) + "\"/>";
    svg += "<path class=\"bots\" fill=\"none\" stroke=\"#ffc864\" stroke-width=\"1.2\" stroke-dasharray=\"4 2\" d=\"" + stepPath(series, frame, top, bots, false) + "\"/>";
    svg += "</svg>";
    return svg;
}

std::string sparkline(const Series &series)
{
    const Frame frame{1, 2, 78, 14};
    const int top = std::max(1, highest(series, players));
    return R"(<svg xmlns="http://www.w3.org/2000/svg" class="sparkline" width="80" height="18" viewBox="0 0 80 18" role="img">)"
           "<title>Players in the last 24 hours</title>"
           R"(<path d="M1,16H79" stroke="#ffffff" stroke-opacity="0.2" stroke-width="1"/>)"
           "<path fill=\"none\" stroke=\"#8fd0ff\" stroke-width=\"1.2\" d=\"" + stepPath(series, frame, top, players, false) + "\"/></svg>";
}

}
