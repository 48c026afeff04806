#include "queryd/renderplayer.h"

#include "queryd/html.h"
#include "queryd/paths.h"
#include "queryd/renderhtml.h"

#include "common/address.h"
#include "common/utctime.h"

#include <nlohmann/json.hpp>

namespace queryd {

namespace {

std::string shownTime(history::Seconds when)
{
    return common::utcTime(when, "%Y-%m-%d %H:%M UTC");
}

std::string duration(std::chrono::seconds time)
{
    const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(time).count();
    return std::to_string(minutes / 60) + " h " + (minutes % 60 < 10 ? "0" : "") + std::to_string(minutes % 60) + " min";
}

void serverLink(std::string &html, const PlayerPage &page, const history::ServerKey &server, const std::string &name)
{
    const auto webPort = page.webPorts.find(server);
    html += "<a href=\"";
    appendEscaped(html, statusLink(server.address, server.queryPort, webPort == page.webPorts.end() ? 0 : webPort->second));
    html += "\"><bdi>";
    appendEscaped(html, name.empty() ? common::hostAndPort(server.address, server.queryPort) : name);
    html += "</bdi></a>";
}

nlohmann::json serverJson(const PlayerPage &page, const history::ServerKey &server, const std::string &name)
{
    const auto webPort = page.webPorts.find(server);
    return {{"address", server.address},
            {"queryPort", server.queryPort},
            {"webPort", webPort == page.webPorts.end() ? 0 : webPort->second},
            {"name", name}};
}

std::string isoTime(history::Seconds time)
{
    return common::utcTime(time, common::IsoSeconds);
}

}

std::string playerPageHtml(const PlayerPage &page, std::chrono::days kept)
{
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>";
    appendEscaped(html, page.name);
    html += "</title><link rel=\"stylesheet\" href=\"";
    html += StylePath;
    html += "\"></head><body><header><h1><bdi>";
    appendEscaped(html, page.name);
    html += "</bdi></h1><p class=\"sub\">";
    if (page.online) {
        html += "<span class=\"online\">Playing now</span> on ";
        serverLink(html, page, page.online->server, page.online->serverName);
        html += " since ";
        appendEscaped(html, shownTime(page.online->from));
    } else {
        html += "Not playing on the servers this service watches now.";
    }
    html += "</p></header><h2>Time played</h2><table class=\"players\"><thead><tr><th class=\"name\">Server</th>"
            "<th>Time</th></tr></thead><tbody>";
    for (const PlayerPage::Played &played : page.perServer) {
        html += "<tr><td class=\"name\">";
        serverLink(html, page, played.server, played.serverName);
        html += "</td><td>" + duration(played.time) + "</td></tr>";
    }
    html += "</tbody></table><h2>Sessions in the last " + std::to_string(kept.count())
        + " days</h2><table class=\"players\"><thead><tr><th class=\"name\">Server</th><th>From</th><th>To</th>"
          "</tr></thead><tbody>";
    for (const history::NamedSession &session : page.sessions) {
        html += "<tr><td class=\"name\">";
        serverLink(html, page, session.server, session.serverName);
        html += "</td><td>" + shownTime(session.from) + "</td><td>"
            + (session.goingOn ? std::string("<span class=\"online\">now</span>") : shownTime(session.to)) + "</td></tr>";
    }
    html += "</tbody></table><footer><p><a href=\"";
    html += StartPagePath;
    html += "\">Start page</a></p></footer></body></html>\n";
    return html;
}

std::string playerPageJson(const PlayerPage &page)
{
    nlohmann::json sessions = nlohmann::json::array(), perServer = nlohmann::json::array();
    for (const history::NamedSession &session : page.sessions)
        sessions.push_back({{"server", serverJson(page, session.server, session.serverName)},
                            {"from", isoTime(session.from)},
                            {"to", session.goingOn ? nlohmann::json() : nlohmann::json(isoTime(session.to))}});
    for (const PlayerPage::Played &played : page.perServer)
        perServer.push_back({{"server", serverJson(page, played.server, played.serverName)}, {"seconds", played.time.count()}});
    nlohmann::json online;
    if (page.online)
        online = {{"server", serverJson(page, page.online->server, page.online->serverName)}, {"since", isoTime(page.online->from)}};
    const nlohmann::json json = {{"name", page.name}, {"online", online}, {"sessions", sessions}, {"perServer", perServer}};
    // Game servers send any bytes: what is not UTF-8 is replaced rather than thrown on.
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}
