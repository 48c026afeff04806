#include "queryd/renderhistory.h"

#include "queryd/html.h"

#include "history/chart.h"
#include "common/utctime.h"

#include <algorithm>

namespace queryd {

namespace {

// The start page's "players now" is the latest answer within this.
constexpr auto currentWithin = std::chrono::minutes(15);
constexpr std::size_t seenShown = 50;

void appendQuiet(std::string &html, std::string_view sentence)
{
    html += "<p class=\"quiet\">";
    appendEscaped(html, sentence);
    html += "</p>";
}

void appendSeen(std::string &html, const std::vector<history::SeenPlayer> &seen, std::chrono::seconds utcOffset)
{
    html += "<h3>Seen in the last 24 hours</h3>";
    if (seen.empty()) {
        html += "<p class=\"quiet\">Nobody.</p>";
        return;
    }
    const auto clock = [&](history::Seconds time) { return common::utcTime(time + utcOffset, "%H:%M"); };
    html += "<ul class=\"seen\">";
    for (std::size_t i = 0; i < std::min(seen.size(), seenShown); ++i) {
        const history::SeenPlayer &player = seen[i];
        // <bdi>: a name's bidirectional overrides end with the name.
        html += "<li><bdi class=\"name\">";
        appendEscaped(html, player.name);
        html += "</bdi> ";
        if (player.online)
            html += "<span class=\"online\">online</span> ";
        html += "<span class=\"quiet\">";
        for (std::size_t s = 0; s < player.sessions.size(); ++s)
            html += (s ? ", " : "") + clock(player.sessions[s].from) + "–" + clock(player.sessions[s].to);
        html += "</span></li>";
    }
    html += "</ul>";
    if (seen.size() > seenShown)
        html += "<p class=\"quiet\">and " + std::to_string(seen.size() - seenShown) + " more</p>";
}

}

std::string historySection(const ServerPast &past)
{
    std::string html = "<section class=\"history\"><h2>Last 24 hours</h2>";
    if (past.day)
        html += history::dayChart(*past.day, past.utcOffset);
    if (past.busiest) {
        html += "<p class=\"busiest\">";
        appendEscaped(html, history::busiestSentence(*past.busiest, "last 7 days" + (past.zone.empty() ? "" : ", " + past.zone)));
        html += "</p>";
    }
    if (past.seen)
        appendSeen(html, *past.seen, past.utcOffset);
    if (past.troubled)
        appendQuiet(html, HistoryUnavailableNotice);
    return html + "</section>";
}

std::string recentSummary(const std::optional<history::Series> &day)
{
    if (!day)
        return {};
    std::string html = " <span class=\"recent-players\">";
    const auto recentSteps = static_cast<std::size_t>(currentWithin / day->step);
    std::optional<history::Count> current;
    for (std::size_t i = day->steps.size(); i-- > day->steps.size() - std::min(recentSteps, day->steps.size());)
        if (day->steps[i]) {
            current = day->steps[i];
            break;
        }
    html += current ? std::to_string(current->players) + (current->players == 1 ? " player" : " players") : "no answer lately";
    return html + "</span> " + history::sparkline(*day);
}

}
