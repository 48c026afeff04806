#include "history/players.h"

#include <algorithm>
#include <set>

namespace history {

std::string_view bounded(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
        --end;
    return text.substr(0, end);
}

void foldLatest(std::vector<SeenPlayer> &seen, Seconds time, std::span<const std::string> names, const SessionRule &rule)
{
    // The list does not tell which sessions go on in the server's latest
    // answer, nor need it: a session that ended within the gap goes on all
    // the same. So every name of the sample starts, as after no answer.
    const SessionPlan plan = planSessions(rule, std::nullopt, {}, time, names);
    std::set<std::string_view> present(plan.start.begin(), plan.start.end());
    for (SeenPlayer &player : seen) {
        const bool inSample = present.erase(player.name) > 0;
        if (player.sessions.empty() || player.sessions.front().to >= time)
            continue; // the store has the sample, or a later one
        player.online = inSample;
        if (!inSample)
            continue;
        if (player.sessions.front().to >= plan.resumeFrom)
            player.sessions.front().to = time;
        else
            player.sessions.insert(player.sessions.begin(), {time, time});
    }
    for (const std::string_view name : present)
        seen.push_back({std::string(name), true, {{time, time}}});
    std::stable_sort(seen.begin(), seen.end(), [](const SeenPlayer &a, const SeenPlayer &b) {
        return a.sessions.front().to > b.sessions.front().to;
    });
}

}
