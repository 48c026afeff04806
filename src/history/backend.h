#pragma once

#include "history/fault.h"
#include "history/players.h"
#include "history/sample.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// What the store's backends share beyond the interface: the words their
// messages begin with, the bound on counts from game servers, times as the
// whole seconds both keep, and how the rows they read become answers.
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

// The player search reads the sessions of the names it lists from the
// newest back: those that ended within an hour of the newest, then within
// a day, before all of them since the search's start, and stops at the first
// that holds as many name-and-server rows as it shows (no older session can
// then make the list). Someone who plays for hours is on hundreds of servers
// in a week; the newest rows nearly always lie within the hour.
inline constexpr std::int64_t searchWindows[] = {3600, 86400};

// A prune done whole: `step` (a store's pruneStep) again until it says so.
template <typename Step>
Expected<Done> pruneWhole(Step step)
{
    for (;;) {
        auto whole = step();
        if (!whole)
            return whole.fault();
        if (*whole)
            return Done{};
    }
}

// The steps of `span` ending with the step that holds `now`, all empty.
Series emptySeries(Seconds now, std::chrono::seconds span, std::chrono::seconds step);
// A sample's counts in the step that holds its time, which is in the
// series. Read in time order, the latest sample of a step stays.
void putInStep(Series &series, std::int64_t time, Count count);

// The rows of a "seen" read, one a session with the server's latest sample,
// ordered the latest seen first, folded into one entry a name. A name is
// online when its latest session ends with that sample, recent enough.
class SeenRows final
{
public:
    explicit SeenRows(Seconds onlineSince) : m_onlineSince(onlineSince) {}

    void add(std::string name, std::int64_t from, std::int64_t to, std::int64_t latest);
    std::vector<SeenPlayer> take() { return std::move(m_players); }

private:
    Seconds m_onlineSince;
    std::vector<SeenPlayer> m_players;
    std::map<std::string, std::size_t, std::less<>> m_indexOf;
};

}
