#include "history/busiesthours.h"
#include "history/chart.h"

#include "tempfolder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <limits>
#include <regex>

using namespace history;

namespace {

HourlyAverages hours(std::initializer_list<std::pair<int, double>> values, std::optional<double> rest = 1)
{
    HourlyAverages averages;
    averages.fill(rest);
    for (auto [hour, average] : values)
        averages[hour] = average;
    return averages;
}

struct BusyCase
{
    const char *name;
    HourlyAverages averages;
    std::optional<BusiestHours> expected;
};

class Busiest : public testing::TestWithParam<BusyCase>
{
};

std::size_t count(const std::string &text, const std::string &what)
{
    std::size_t found = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++found;
    return found;
}

// The `d` of the path with the given class.
std::string pathOf(const std::string &svg, const std::string &name)
{
    std::smatch match;
    std::regex_search(svg, match, std::regex("class=\"" + name + "\"[^>]* d=\"([^\"]*)\""));
    return match[1];
}

Series series(std::initializer_list<std::optional<Count>> steps, long long start = 1796155200 - 86400)
{
    Series result{at(start), std::chrono::minutes(5), steps};
    result.steps.resize(288);
    return result;
}

}

TEST_P(Busiest, FindsTheBusyHours)
{
    EXPECT_EQ(busiestHours(GetParam().averages), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, Busiest,
    testing::Values(BusyCase{"evening", hours({{19, 5}, {20, 12}, {21, 14}, {22, 11}, {23, 6}}), BusiestHours{20, 23, 37.0 / 3}},
                    BusyCase{"past_midnight", hours({{23, 10}, {0, 12}, {1, 9}}), BusiestHours{23, 2, 31.0 / 3}},
                    BusyCase{"at_most_six_hours", hours({}, 8), BusiestHours{0, 6, 8}},
                    BusyCase{"usually_empty", hours({{20, 0.3}}, 0), std::nullopt},
                    BusyCase{"too_few_hours_seen", hours({{20, 12}, {21, 14}}, std::nullopt), std::nullopt}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Pictures, BusiestSentence)
{
    EXPECT_EQ(busiestSentence({20, 23, 12}, "last 7 days"), "usually busiest 20:00\u201323:00 (last 7 days)");
    EXPECT_EQ(busiestSentence({22, 0, 12}, "last 7 days"), "usually busiest 22:00\u201300:00 (last 7 days)");
}

TEST(Pictures, DayChartBreaksAtGapsAndKeepsBotsApart)
{
    const Series day = series({Count{4, 2}, Count{6, 2}, std::nullopt, Count{10, 0}});
    const std::string svg = dayChart(day, std::chrono::hours(0));
    EXPECT_TRUE(svg.starts_with("<svg ")) << svg;
    EXPECT_EQ(count(svg, "<script"), 0u);
    // Two runs of answers: two pieces of each line and two filled areas.
    EXPECT_EQ(count(pathOf(svg, "players"), "M"), 2u) << svg;
    EXPECT_EQ(count(pathOf(svg, "players-area"), "Z"), 2u) << svg;
    EXPECT_EQ(count(pathOf(svg, "bots"), "M"), 2u) << svg;
    // The scale rounds the highest count up: 10 players.
    EXPECT_NE(svg.find(">10</text>"), std::string::npos);
    // The first step's players sit at 4/10 of the 100 px plot above its base (116).
    EXPECT_TRUE(pathOf(svg, "players").starts_with("M28,76H")) << pathOf(svg, "players");
}

TEST(Pictures, DayChartMarksLocalHours)
{
    const auto labels = [](const std::string &svg) {
        const std::regex label(">(\\d\\d:00)<");
        std::string found;
        for (std::sregex_iterator at(svg.begin(), svg.end(), label), end; at != end; ++at)
            found += (*at)[1].str() + " ";
        return found;
    };
    // The series runs from 20:00 UTC to 20:00 UTC.
    const Series day = series({Count{1, 0}});
    EXPECT_EQ(labels(dayChart(day, std::chrono::hours(0))), "21:00 00:00 03:00 06:00 09:00 12:00 15:00 18:00 ");
    EXPECT_EQ(labels(dayChart(day, std::chrono::minutes(90))), "00:00 03:00 06:00 09:00 12:00 15:00 18:00 21:00 ");
    EXPECT_NE(dayChart(series({}), std::chrono::hours(0)).find("no answers recorded"), std::string::npos);
}

TEST(Pictures, SparklineFollowsThePlayers)
{
    const std::string svg = sparkline(series({Count{2, 0}, std::nullopt, Count{4, 9}}));
    EXPECT_NE(svg.find("width=\"80\""), std::string::npos) << svg;
    std::smatch match;
    ASSERT_TRUE(std::regex_search(svg, match, std::regex("stroke=\"#8fd0ff\"[^>]* d=\"([^\"]*)\"")));
    // Two runs; the highest players (4) at the top (2 px), bots ignored.
    EXPECT_EQ(count(match[1], "M"), 2u);
    EXPECT_NE(std::string(match[1]).find(",2H"), std::string::npos) << match[1];
}

// Every count an int can hold (a foreign file, a hostile server) draws a
// picture inside its frame with a round scale, and draws it at once.
TEST(Pictures, ExtremeCountsStayInTheFrame)
{
    const auto inFrame = [](const std::string &path, double width) {
        const std::regex number("[0-9.]+|[^MHVZ,0-9.]");
        for (std::sregex_iterator at(path.begin(), path.end(), number), end; at != end; ++at)
            if (!std::isdigit(static_cast<unsigned char>(at->str()[0])) || std::stod(at->str()) > width)
                return false;
        return true;
    };
    constexpr int most = std::numeric_limits<int>::max();
    constexpr int least = std::numeric_limits<int>::min();
    const std::pair<Count, const char *> rows[] = {
        {{most, most}, ">5000000000</text>"},
        {{2000000001, 0}, ">5000000000</text>"},
        {{0, 1999999999}, ">2000000000</text>"},
        {{65535, 3}, ">100000</text>"},
        {{least, least}, ">1</text>"},
        {{-5, most}, ">5000000000</text>"},
    };
    for (const auto &[extreme, scale] : rows) {
        const Series day = series({extreme, Count{1, 1}, std::nullopt, extreme});
        const std::string chart = dayChart(day, std::chrono::hours(0));
        EXPECT_NE(chart.find(scale), std::string::npos) << extreme.players << " " << chart;
        for (const char *name : {"players", "players-area", "bots"})
            EXPECT_TRUE(inFrame(pathOf(chart, name), 550)) << extreme.players << " " << name << ": " << pathOf(chart, name);
        const std::string line = sparkline(day);
        std::smatch match;
        ASSERT_TRUE(std::regex_search(line, match, std::regex("stroke=\"#8fd0ff\"[^>]* d=\"([^\"]*)\"")));
        EXPECT_TRUE(inFrame(match[1], 80)) << extreme.players << ": " << match[1];
    }
    EXPECT_NE(dayChart(Series{}, std::chrono::hours(0)).find("no answers recorded"), std::string::npos);
}
