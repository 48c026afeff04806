#include "queryd/renderboard.h"

#include "queryd/html.h"
#include "queryd/paths.h"
#include "queryd/renderhtml.h"

#include "history/chart.h"
#include "common/address.h"
#include "common/utctime.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace queryd {

namespace {

constexpr std::size_t liveShown = 10;

std::string shownTime(history::Seconds when)
{
    return common::utcTime(when, "%Y-%m-%d %H:%M UTC");
}

void serverLink(std::string &html, const BoardRow &row)
{
    html += "<a href=\"";
    appendEscaped(html, statusLink(row.address, row.queryPort, row.webPort));
    html += "\"><bdi>";
    appendEscaped(html, row.name.empty() ? common::hostAndPort(row.address, row.queryPort) : row.name);
    html += "</bdi></a>";
}

void cell(std::string &html, std::string_view text, std::string_view classes = {})
{
    html += classes.empty() ? "<td>" : "<td class=\"" + std::string(classes) + "\">";
    appendEscaped(html, text);
    html += "</td>";
}

std::string playersText(const BoardRow &row)
{
    std::string text = std::to_string(row.players);
    if (row.bots > 0)
        text += " + " + std::to_string(row.bots) + (row.bots == 1 ? " bot" : " bots");
    return text + " / " + (row.maxPlayers ? std::to_string(*row.maxPlayers) : "–");
}

std::string pingText(const std::optional<double> &ping)
{
    if (!ping)
        return "–";
    char text[32];
    std::snprintf(text, sizeof text, *ping < 10 ? "%.1f ms" : "%.0f ms", *ping);
    return text;
}

}

std::string boardPage(const std::vector<BoardRow> &rows, const BoardFilter &filter)
{
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                       "<title>Servers live</title><link rel=\"stylesheet\" href=\"";
    page += StylePath;
    page += "\"></head><body><header><h1>Servers live</h1>";
    page += "<p class=\"sub\">Every server this service watches, as its latest poll found it; the busiest first.</p>"
            "</header><form class=\"search\" method=\"get\" action=\"";
    page += BoardPath;
    page += "\"><label>Name or map <input type=\"search\" name=\"q\" maxlength=\"64\" value=\"";
    appendEscaped(page, filter.text);
    page += "\"></label> <label><input type=\"checkbox\" name=\"players\" value=\"1\"";
    if (filter.withPlayers)
        page += " checked";
    page += "> with players</label> <button>Show</button></form>";
    if (rows.empty()) {
        page += "<p class=\"quiet\">No server to show.</p>";
    } else {
        page += "<table class=\"players board\"><thead><tr><th class=\"name\">Server</th><th>Address</th><th>Map</th>"
                "<th>Mode</th><th>Players</th><th>Ping</th><th>24 hours</th><th>Last answer</th></tr></thead><tbody>";
        for (const BoardRow &row : rows) {
            page += "<tr><td class=\"name\">";
            serverLink(page, row);
            page += "</td>";
            cell(page, common::hostAndPort(row.address, row.queryPort));
            page += "<td><bdi>";
            appendEscaped(page, row.map);
            page += "</bdi></td><td><bdi>";
            appendEscaped(page, row.mode);
            page += "</bdi></td>";
            cell(page, row.answered ? playersText(row) : "–");
            cell(page, row.answered ? pingText(row.pingMs) : "–");
            page += "<td>" + (row.sparkline.empty() ? history::sparkline(row.day) : row.sparkline) + "</td>";
            if (row.answered)
                cell(page, shownTime(*row.lastAnswer));
            else if (row.lastAnswer)
                cell(page, "no answer since " + shownTime(*row.lastAnswer), "problem");
            else
                cell(page, "no answer yet", "problem");
            page += "</tr>";
        }
        page += "</tbody></table>";
    }
    page += "<footer><p><a href=\"";
    page += StartPagePath;
    page += "\">Start page</a></p></footer></body></html>\n";
    return page;
}

std::string boardJson(const std::vector<BoardRow> &rows)
{
    nlohmann::json servers = nlohmann::json::array();
    for (const BoardRow &row : rows)
        servers.push_back({{"address", row.address},
                           {"queryPort", row.queryPort},
                           {"webPort", row.webPort},
                           {"name", row.name},
                           {"map", row.map},
                           {"mode", row.mode},
                           {"players", row.players},
                           {"bots", row.bots},
                           {"maxPlayers", row.maxPlayers ? nlohmann::json(*row.maxPlayers) : nlohmann::json()},
                           {"pingMs", row.answered && row.pingMs ? nlohmann::json(*row.pingMs) : nlohmann::json()},
                           {"answered", row.answered},
                           {"lastAnswer", row.lastAnswer ? nlohmann::json(common::utcTime(*row.lastAnswer, common::IsoSeconds))
                                                         : nlohmann::json()}});
    // Game servers send any bytes: what is not UTF-8 is replaced rather than thrown on.
    return nlohmann::json{{"servers", std::move(servers)}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string liveNowSection(const std::vector<BoardRow> &rows)
{
    std::string html = "<h2>Live now</h2>";
    std::size_t shown = 0;
    for (const BoardRow &row : rows) {
        if (!row.answered || row.players < 1 || shown == liveShown)
            break;
        html += shown++ == 0 ? "<ul class=\"recent live\"><li>" : "<li>";
        serverLink(html, row);
        html += " <span class=\"recent-players\">" + std::to_string(row.players) + (row.players == 1 ? " player" : " players")
            + "</span> <span class=\"quiet\"><bdi>";
        appendEscaped(html, row.map);
        html += "</bdi></span></li>";
    }
    html += shown ? "</ul>" : "<p class=\"quiet\">Nobody is playing on the servers this service watches.</p>";
    html += "<p><a href=\"";
    html += BoardPath;
    html += "\">Every server, live</a></p>";
    return html;
}

}
