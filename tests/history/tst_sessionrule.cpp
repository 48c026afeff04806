// The player-session rule alone: each row a little timeline of one server's
// answers, and what the last of them does to the sessions, as a store would
// carry it out. No database: the stores' tests show that both carry out
// such plans.
#include "history/sessionrule.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace history;
using namespace std::chrono_literals;

namespace {

using Names = std::vector<std::string>;

struct Answer
{
    long long at; // seconds
    Names names;
};

struct RuleRow
{
    std::string name;
    std::vector<Answer> answers;
    // What the last answer does.
    Names goOn, end, start, late;
    long long endAt = -1; // when `end` is not empty
    std::chrono::seconds pollInterval = 300s;
};

void PrintTo(const RuleRow &row, std::ostream *out)
{
    *out << row.name;
}

Names owned(const std::vector<std::string_view> &names)
{
    return {names.begin(), names.end()};
}

class SessionRuleRows : public testing::TestWithParam<RuleRow>
{
};

}

TEST_P(SessionRuleRows, PlanTheLastAnswer)
{
    const RuleRow &row = GetParam();
    const SessionRule rule{row.pollInterval};
    std::optional<Seconds> latest;
    Names open;
    for (std::size_t i = 0; i < row.answers.size(); ++i) {
        const Answer &answer = row.answers[i];
        const Seconds time{std::chrono::seconds(answer.at)};
        const std::vector<std::string_view> openNames(open.begin(), open.end());
        const SessionPlan plan = planSessions(rule, latest, openNames, time, answer.names);
        if (i + 1 == row.answers.size()) {
            EXPECT_EQ(owned(plan.goOn), row.goOn) << "go on";
            EXPECT_EQ(owned(plan.end), row.end) << "end";
            EXPECT_EQ(owned(plan.start), row.start) << "start";
            EXPECT_EQ(owned(plan.late), row.late) << "late";
            if (!row.end.empty()) {
                EXPECT_EQ(plan.endAt, Seconds(std::chrono::seconds(row.endAt)));
            }
            EXPECT_EQ(plan.resumeFrom, time - 2 * row.pollInterval - 30s);
            break;
        }
        // As a store keeps them: a late answer leaves the open sessions.
        Names next = owned(plan.goOn);
        next.insert(next.end(), plan.start.begin(), plan.start.end());
        open = std::move(next);
        latest = std::max(latest.value_or(time), time);
    }
}

const std::string cut(200, 'n'); // a name as long as is kept

INSTANTIATE_TEST_SUITE_P(Rows, SessionRuleRows, testing::Values(
    RuleRow{"FirstAnswerStartsEveryName", {{0, {"Bob", "Ann"}}},
            {}, {}, {"Ann", "Bob"}, {}},
    RuleRow{"NamesSeenAgainGoOn", {{0, {"Ann", "Bob"}}, {300, {"Bob", "Ann"}}},
            {"Ann", "Bob"}, {}, {}, {}},
    RuleRow{"NameGoneEndsAtTheAnswerBefore", {{0, {"Ann", "Bob"}}, {300, {"Ann", "Bob"}}, {600, {"Bob"}}},
            {"Bob"}, {"Ann"}, {}, {}, 300},
    RuleRow{"NameBackStartsAndMayResume", {{0, {"Ann"}}, {300, {}}, {600, {"Ann"}}},
            {}, {}, {"Ann"}, {}},
    RuleRow{"AnswerJustWithinTheGapContinues", {{0, {"Ann"}}, {630, {"Ann"}}},
            {"Ann"}, {}, {}, {}},
    RuleRow{"AnswerASecondLaterEndsEverySession", {{0, {"Ann", "Bob"}}, {631, {"Ann"}}},
            {}, {"Ann", "Bob"}, {"Ann"}, {}, 0},
    RuleRow{"ShorterPollsMakeAShorterGap", {{0, {"Ann"}}, {150, {"Ann"}}, {301, {"Ann"}}},
            {}, {"Ann"}, {"Ann"}, {}, 150, 60s},
    RuleRow{"SecondAnswerInOneSecondEndsNobody", {{0, {"Ann"}}, {300, {"Ann"}}, {300, {"Bob"}}},
            {"Ann"}, {}, {"Bob"}, {}},
    RuleRow{"OlderAnswerEndsAndStartsNothing", {{0, {"Ann"}}, {600, {"Ann", "Bob"}}, {300, {"Cy", "Ann"}}},
            {"Ann", "Bob"}, {}, {}, {"Cy"}},
    RuleRow{"OlderAnswerAfterAGapIsLateToo", {{0, {"Ann"}}, {2000, {"Bob"}}, {100, {"Ann", "Bob"}}},
            {"Bob"}, {}, {}, {"Ann"}},
    RuleRow{"EmptyAndRepeatedNamesMakeNoSessionOfTheirOwn", {{0, {"", "Ann", "Bob", "Ann"}}},
            {}, {}, {"Ann", "Bob"}, {}},
    RuleRow{"LongNamesAreCutAndTwoCutAlikeAreOne", {{0, {cut + "x", cut + "y", std::string(201, '\x80')}}},
            {}, {}, {cut}, {}},
    RuleRow{"CaseMakesAnotherName", {{0, {"Ann"}}, {300, {"ANN"}}},
            {}, {"Ann"}, {"ANN"}, {}, 0}),
    [](const auto &info) { return info.param.name; });
