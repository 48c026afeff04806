#include "history/sessionrule.h"

#include "history/players.h"

#include <algorithm>
#include <iterator>

namespace history {

namespace {

// A server's list of names as sessions see it: each bounded, none empty,
// each once, in byte order.
std::vector<std::string_view> playerNames(std::span<const std::string> names)
{
    std::vector<std::string_view> kept;
    kept.reserve(names.size());
    for (const std::string &name : names)
        if (const std::string_view shown = bounded(name); !shown.empty())
            kept.push_back(shown);
    std::sort(kept.begin(), kept.end());
    kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
    return kept;
}

}

SessionPlan planSessions(const SessionRule &rule, std::optional<Seconds> latest, std::span<const std::string_view> open,
                         Seconds time, std::span<const std::string> names)
{
    SessionPlan plan{.endAt = latest.value_or(time), .resumeFrom = rule.continuesFrom(time)};
    const std::vector<std::string_view> seen = playerNames(names);
    std::vector<std::string_view> sortedOpen(open.begin(), open.end());
    std::sort(sortedOpen.begin(), sortedOpen.end());
    const auto isOpen = [&sortedOpen](std::string_view name) {
        return std::binary_search(sortedOpen.begin(), sortedOpen.end(), name);
    };

    // An answer older than the latest ends nobody's session.
    if (latest && time < *latest) {
        plan.goOn.assign(open.begin(), open.end());
        std::copy_if(seen.begin(), seen.end(), std::back_inserter(plan.late), [&](std::string_view name) { return !isOpen(name); });
        return plan;
    }
    // Two answers in one second both hold their names; after a gap longer
    // than the rule allows, every session ends.
    const bool sameTime = latest == time;
    const bool continues = latest && *latest >= rule.continuesFrom(time);
    for (const std::string_view name : open)
        (sameTime || (continues && std::binary_search(seen.begin(), seen.end(), name)) ? plan.goOn : plan.end).push_back(name);
    std::copy_if(seen.begin(), seen.end(), std::back_inserter(plan.start),
                 [&](std::string_view name) { return !continues || !isOpen(name); });
    return plan;
}

}
