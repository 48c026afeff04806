#include "queryd/renderhtml.h"

#include "queryd/html.h"
#include "queryd/options.h"
#include "queryd/renderhistory.h"

#include "ut3/text.h"

#include "common/address.h"
#include "common/utctime.h"

#include <algorithm>
#include <cstdio>

namespace queryd {

namespace {

// Highlights of each release, newest first.
struct Release {
    std::string_view version;
    std::vector<std::string_view> changes;
};
const std::vector<Release> &releaseNotes()
{
    static const std::vector<Release> notes = {
        {"1.01",
         {"A web query service of its own, skirvane-queryd: status pages that refresh themselves, "
          "a start page with the servers looked up lately, and JSON for scripts.",
          "skirvane-query asks game servers from a terminal.",
          "Six favourite servers, kept in ut3servers.ini."}},
    };
    return notes;
}

void open(std::string &page, std::string_view title, std::chrono::seconds refresh = std::chrono::seconds(0))
{
    page += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>";
    appendEscaped(page, title);
    page += "</title><link rel=\"stylesheet\" href=\"";
    page += StylePath;
    page += "\">";
    if (refresh.count() > 0) {
        page += "<script src=\"";
        page += ScriptPath;
        page += "\" defer></script></head><body data-refresh=\"" + std::to_string(refresh.count()) + "\">";
    } else {
        page += "</head><body>";
    }
}

void close(std::string &page)
{
    page += "</body></html>\n";
}

void element(std::string &page, std::string_view tag, std::string_view text, std::string_view classes = {})
{
    page += '<';
    page += tag;
    if (!classes.empty()) {
        page += " class=\"";
        page += classes;
        page += '"';
    }
    page += '>';
    appendEscaped(page, text);
    page += "</";
    page += tag;
    page += '>';
}

std::string number(const std::optional<long long> &value)
{
    return value ? std::to_string(*value) : std::string("–");
}

std::string yesNo(const std::optional<bool> &value)
{
    return value ? (*value ? "yes" : "no") : "–";
}

// As the pages show times.
std::string shownTime(std::chrono::system_clock::time_point when)
{
    return common::utcTime(when, "%Y-%m-%d %H:%M:%S UTC");
}

std::string seconds(std::chrono::milliseconds ms)
{
    char text[32];
    if (ms.count() % 1000 == 0)
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(ms.count() / 1000));
    else
        std::snprintf(text, sizeof text, "%.1f s", ms.count() / 1000.0);
    return text;
}

// Team 0 is red and team 1 blue in every UT3 team game.
std::string_view teamClass(const std::optional<long long> &team)
{
    if (!team)
        return {};
    if (*team == 0)
        return "red";
    if (*team == 1)
        return "blue";
    return "other";
}

void fact(std::string &page, std::string_view label, std::string_view value)
{
    page += "<div><dt>";
    page += label;
    page += "</dt>";
    element(page, "dd", value);
    page += "</div>";
}

void serverFacts(std::string &page, const ut3::ServerStatus &status, const ut3::QueryResult &result)
{
    const ut3::ServerInfo &info = status.server;
    page += "<dl class=\"facts\">";
    std::string players = number(info.numPlayers) + " / " + number(info.maxPlayers);
    if (info.bots && *info.bots > 0)
        players += " (+" + std::to_string(*info.bots) + (*info.bots == 1 ? " bot)" : " bots)");
    fact(page, "Players", players);
    fact(page, "Password", yesNo(info.locked));
    fact(page, "Pure", yesNo(info.pure));
    fact(page, "Goal score", info.goalScore && *info.goalScore == 0 ? "none" : number(info.goalScore));
    fact(page, "Time limit",
         !info.timeLimit ? "–" : *info.timeLimit == 0 ? "none" : std::to_string(*info.timeLimit) + " min");
    if (info.botSkill)
        fact(page, "Bot skill", *info.botSkill);
    if (result.pingMs) {
        char ping[32];
        // Tenths matter only on a LAN.
        std::snprintf(ping, sizeof ping, *result.pingMs < 10 ? "%.1f ms" : "%.0f ms", *result.pingMs);
        fact(page, "Ping", ping);
    }
    page += "</dl>";
    if (!info.description.empty())
        element(page, "p", info.description, "description");
    std::vector<std::string_view> mutators(info.standardMutators.begin(), info.standardMutators.end());
    mutators.insert(mutators.end(), info.mutators.begin(), info.mutators.end());
    if (!mutators.empty()) {
        page += "<p class=\"mutators\"><span class=\"label\">Mutators</span> ";
        for (std::size_t i = 0; i < mutators.size(); ++i) {
            if (i > 0)
                page += ", ";
            appendEscaped(page, mutators[i]);
        }
        page += "</p>";
    }
}

void playersTable(std::string &page, const ut3::ServerStatus &status)
{
    if (!status.teams.empty()) {
        page += "<p class=\"teams\">";
        for (std::size_t i = 0; i < status.teams.size(); ++i) {
            const ut3::Team &team = status.teams[i];
            page += "<span class=\"team ";
            page += teamClass(static_cast<long long>(i));
            page += "\">";
            appendEscaped(page, team.name.empty() ? "Team " + std::to_string(i + 1) : team.name);
            page += " <b>" + number(team.score) + "</b></span> ";
        }
        page += "</p>";
    }
    if (status.players.empty()) {
        element(page, "p", "Nobody is playing.", "quiet");
        return;
    }
    std::vector<const ut3::Player *> players;
    for (const ut3::Player &player : status.players)
        players.push_back(&player);
    // Highest score first; players without a score last.
    std::stable_sort(players.begin(), players.end(), [](const ut3::Player *a, const ut3::Player *b) {
        return a->score.value_or(std::numeric_limits<long long>::min())
            > b->score.value_or(std::numeric_limits<long long>::min());
    });
    page += "<table class=\"players\"><thead><tr><th class=\"name\">Player</th><th>Score</th><th>Deaths</th>"
            "<th>Ping</th></tr></thead><tbody>";
    for (const ut3::Player *player : players) {
        page += "<tr";
        if (const auto team = teamClass(player->team); !team.empty()) {
            page += " class=\"";
            page += team;
            page += "\"";
        }
        page += '>';
        element(page, "td", player->name, "name");
        element(page, "td", number(player->score));
        element(page, "td", number(player->deaths));
        element(page, "td", number(player->ping));
        page += "</tr>";
    }
    page += "</tbody></table>";
}

void rawKeys(std::string &page, const ut3::ServerInfo &info)
{
    // The id lets the refresh keep the section open when the user opened it.
    page += "<details id=\"raw-keys\"><summary>Everything the server sent (" + std::to_string(info.rules.size())
        + " keys)</summary><table class=\"raw\">";
    for (const auto &[key, value] : info.rules) {
        page += "<tr>";
        element(page, "th", key);
        element(page, "td", value);
        page += "</tr>";
    }
    page += "</table></details>";
}

std::string statisticsUrl(const StatusRequest &request)
{
    return "http://" + common::hostAndPort(request.address, request.webPort) + "/";
}

}

std::string problemSentence(const StatusRequest &request, const ut3::QueryResult &result,
                            std::chrono::milliseconds queryTimeout)
{
    const std::string where = common::hostAndPort(request.address, request.queryPort);
    const std::string port = std::to_string(request.queryPort);
    switch (result.state) {
    case ut3::QueryState::online:
        return {};
    case ut3::QueryState::timeout:
        if (result.status)
            return "Only part of the answer from " + where + " arrived within " + seconds(queryTimeout)
                + "; what is shown may be incomplete.";
        return "No answer from " + where + " within " + seconds(queryTimeout) + ". Is the server running, and is "
            + port + " its query port? 7777 is usually the game port.";
    case ut3::QueryState::refused:
        return where + " refused the query: nothing listens on that port. Is the server running, and is " + port
            + " its query port? It is usually 6500; 7777 is the game port.";
    case ut3::QueryState::malformed:
        return where + " answered, but not as a UT3 server does (" + result.error + "). Is " + port
            + " the query port of a UT3 server?";
    case ut3::QueryState::invalid:
        return request.address + " cannot be queried: " + result.error + ". Check the server address.";
    }
    return result.error;
}

StatusPage statusPage(const StatusRequest &request, const ut3::QueryResult &result, const StatusPageSettings &settings,
                      std::string_view historySection)
{
    const std::string where = common::hostAndPort(request.address, request.queryPort);
    const ut3::ServerStatus *status = result.status ? &*result.status : nullptr;
    const std::string title = status && !status->server.name.empty() ? status->server.name : where;

    std::string page;
    page.reserve(8192);
    open(page, title, settings.refresh);
    page += "<header>";
    element(page, "h1", title);
    if (status) {
        page += "<p class=\"sub\">";
        appendEscaped(page, status->server.map.empty() ? "unknown map" : status->server.map);
        if (!status->server.gameMode.empty()) {
            page += " · ";
            appendEscaped(page, status->server.gameMode);
        }
        page += " · ";
        appendEscaped(page, where);
        page += "</p>";
    }
    page += "</header>";

    if (result.state != ut3::QueryState::online)
        element(page, "p", problemSentence(request, result, settings.queryTimeout), "problem");
    else if (status && !status->complete)
        element(page, "p", "Part of the server's answer never arrived; what is shown may be incomplete.", "problem");

    if (status) {
        serverFacts(page, *status, result);
        playersTable(page, *status);
    }
    page += historySection;
    if (status)
        rawKeys(page, status->server);

    page += "<footer>";
    const std::size_t linkAt = page.size();
    page += "<p id=\"refresh-note\">Queried " + shownTime(result.queriedAt) + ".";
    if (settings.refresh.count() > 0)
        page += " This page refreshes itself every " + std::to_string(settings.refresh.count()) + " s.";
    page += "</p></footer>";
    close(page);
    return {std::move(page), linkAt};
}

std::string statisticsLink(const StatusRequest &request)
{
    if (request.webPort == 0)
        return {};
    const std::string url = statisticsUrl(request);
    std::string link = "<p><a href=\"";
    appendEscaped(link, url);
    link += "\">Statistics on the server (";
    appendEscaped(link, url);
    link += ")</a></p>";
    return link;
}

std::string messagePage(std::string_view heading, std::string_view sentence)
{
    std::string page;
    open(page, heading);
    page += "<header>";
    element(page, "h1", heading);
    page += "</header>";
    element(page, "p", sentence, "problem");
    page += "<footer><p><a href=\"";
    page += StartPagePath;
    page += "\">Start page</a></p></footer>";
    close(page);
    return page;
}

std::string statusLink(std::string_view address, unsigned queryPort, unsigned webPort)
{
    return std::string(MainStatusPath) + "?serverip=" + std::string(address) + "&serverqport=" + std::to_string(queryPort)
        + "&serverwport=" + std::to_string(webPort);
}

std::string startPage(const std::vector<RecentEntry> &recent, bool playerSearch)
{
    std::string page;
    open(page, "Skirvane: look up a UT3 server");
    page += "<header><h1>Look up a UT3 server</h1></header>"
            "<ol class=\"steps\">"
            "<li><b>Server IP</b>: the game server's address, for example 203.0.113.9.</li>"
            "<li><b>Query Port</b>: 6500 unless the server says otherwise. It is the query port, "
            "not the game port 7777.</li>"
            "<li><b>Server Web Port</b>: the port of the server's Tallyboard statistics add-on, "
            "or 0 when it has none.</li>"
            "<li>Then <b>Begin Query</b>. The server's status appears here and refreshes itself.</li>"
            "</ol>";
    if (playerSearch) {
        page += "<form class=\"search\" method=\"get\" action=\"";
        page += PlayersPath;
        page += "\"><label>Where is a player? <input type=\"search\" name=\"name\" minlength=\"2\" maxlength=\"32\" "
                "required placeholder=\"part of a name\"></label> <button>Search</button></form>";
    }
    if (recent.empty()) {
        element(page, "p", "No server has been looked up through this service yet.", "quiet");
    } else {
        page += "<h2>Looked up lately</h2><ul class=\"recent\">";
        for (const auto &[server, day] : recent) {
            page += "<li><a href=\"";
            appendEscaped(page, statusLink(server.address, server.queryPort, server.webPort));
            page += "\">";
            appendEscaped(page, server.name.empty() ? common::hostAndPort(server.address, server.queryPort) : server.name);
            page += "</a> <span class=\"quiet\">";
            appendEscaped(page, common::hostAndPort(server.address, server.queryPort));
            page += "</span>";
            page += recentSummary(day);
            page += "</li>";
        }
        page += "</ul>";
    }
    close(page);
    return page;
}

std::string playerSearchPage(std::string_view text, const std::vector<history::PlayerMatch> &matches)
{
    std::string page;
    // Cleaned as a server's strings are: no override can turn the page
    // around it, and no control character shows. The title holds no markup
    // to isolate it with.
    const std::string term = ut3::decodeServerString(text);
    open(page, "Players named like “" + term + "”");
    page += "<header><h1>Players named like “<bdi>";
    appendEscaped(page, term);
    page += "</bdi>”</h1>";
    element(page, "p", "Names seen in the last 7 days on the servers this service watches, the latest first.", "sub");
    page += "</header>";
    if (matches.empty()) {
        element(page, "p", "Nobody by that name was seen in the last 7 days.", "quiet");
    } else {
        page += "<table class=\"players matches\"><tr><th>Name</th><th>Where</th><th>Last seen</th></tr>";
        for (const history::PlayerMatch &match : matches) {
            page += "<tr><td><bdi>";
            appendEscaped(page, match.name);
            page += "</bdi></td><td><a href=\"";
            appendEscaped(page, statusLink(match.server.address, match.server.queryPort, 0));
            page += "\"><bdi>";
            appendEscaped(page, match.serverName.empty() ? common::hostAndPort(match.server.address, match.server.queryPort)
                                                         : match.serverName);
            page += "</bdi></a></td>";
            if (match.online)
                page += "<td class=\"online\">online now</td>";
            else
                element(page, "td", shownTime(match.lastSeen));
            page += "</tr>";
        }
        page += "</table>";
        if (matches.size() >= MaxPlayerMatches)
            element(page, "p", "Only the latest " + std::to_string(MaxPlayerMatches) + " are shown; type more of the name to narrow them down.", "quiet");
    }
    page += "<footer><p><a href=\"";
    page += StartPagePath;
    page += "\">Start page</a></p></footer>";
    close(page);
    return page;
}

std::string sitePage()
{
    std::string page;
    open(page, "Skirvane");
    page += "<header><h1>Skirvane ";
    appendEscaped(page, version());
    page += "</h1><p class=\"sub\">Look up Unreal Tournament 3 game servers from your desktop.</p></header>"
            "<p>You have the current version, " + std::string(version()) + ".</p><h2>What changed</h2>";
    for (const Release &release : releaseNotes()) {
        element(page, "h3", "Version " + std::string(release.version));
        page += "<ul>";
        for (std::string_view change : release.changes)
            element(page, "li", change);
        page += "</ul>";
    }
    page += "<h2>Where the favourites live</h2>"
            "<p>Skirvane keeps its six favourite servers in <code>ut3servers.ini</code>. A program run from its "
            "build folder keeps the file beside the executable; an installed one keeps it in "
            "<code>~/.config/skirvane/</code> (or <code>$XDG_CONFIG_HOME/skirvane/</code>). Copy that file to "
            "take your favourites to another computer.</p>"
            "<p><a href=\"";
    page += StartPagePath;
    page += "\">Look up a server</a></p>";
    close(page);
    return page;
}

}
