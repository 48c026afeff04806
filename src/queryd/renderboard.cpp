#include "queryd/renderboard.h"

#include "queryd/html.h"
#include "queryd/paths.h"
#include "queryd/renderhtml.h"

#include "history/chart.h"
#include "common/address.h"
#include "common/utctime.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string_view>
#include <unordered_map>

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

void appendRow(std::string &html, const BoardRow &row)
{
    html += "<tr><td class=\"name\">";
    serverLink(html, row);
    html += "</td>";
    cell(html, common::hostAndPort(row.address, row.queryPort));
    html += "<td><bdi>";
    appendEscaped(html, row.map);
    html += "</bdi></td><td><bdi>";
    appendEscaped(html, row.mode);
    html += "</bdi></td>";
    cell(html, row.answered ? playersText(row) : "–");
    cell(html, row.answered ? pingText(row.pingMs) : "–");
    html += "<td>" + (row.sparkline.empty() ? history::sparkline(row.day) : row.sparkline) + "</td>";
    if (row.answered)
        cell(html, shownTime(*row.lastAnswer));
    else if (row.lastAnswer)
        cell(html, "no answer since " + shownTime(*row.lastAnswer), "problem");
    else
        cell(html, "no answer yet", "problem");
    html += "</tr>";
}

// Game servers send any bytes: what is not UTF-8 is replaced rather than thrown on.
std::string rowJson(const BoardRow &row)
{
    return nlohmann::json{{"address", row.address},
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
                                                        : nlohmann::json()}}
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Whether the two rows render alike: the day is drawn in the sparkline,
// and a row without one is drawn again.
bool renderedAlike(const BoardRow &a, const BoardRow &b)
{
    return !a.sparkline.empty() && a.sparkline == b.sparkline && a.address == b.address && a.queryPort == b.queryPort
        && a.webPort == b.webPort && a.name == b.name && a.map == b.map && a.mode == b.mode && a.players == b.players
        && a.bots == b.bots && a.maxPlayers == b.maxPlayers && a.pingMs == b.pingMs && a.answered == b.answered
        && a.lastAnswer == b.lastAnswer;
}

// The page around its rows: `rows` holds them rendered, `count` how many.
std::string pageAround(std::string_view rows, std::size_t count, const BoardFilter &filter)
{
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                       "<title>Servers live</title><link rel=\"stylesheet\" href=\"";
    page.reserve(rows.size() + 2048);
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
    if (count == 0) {
        page += "<p class=\"quiet\">No server to show.</p>";
    } else {
        page += "<table class=\"players board\"><thead><tr><th class=\"name\">Server</th><th>Address</th><th>Map</th>"
                "<th>Mode</th><th>Players</th><th>Ping</th><th>24 hours</th><th>Last answer</th></tr></thead><tbody>";
        page += rows;
        page += "</tbody></table>";
    }
    page += "<footer><p><a href=\"";
    page += StartPagePath;
    page += "\">Start page</a></p></footer></body></html>\n";
    return page;
}

std::string jsonAround(std::string_view rows)
{
    return "{\"servers\":[" + std::string(rows) + "]}\n";
}

}

std::string boardPage(const std::vector<BoardRow> &rows, const BoardFilter &filter)
{
    std::string html;
    for (const BoardRow &row : rows)
        appendRow(html, row);
    return pageAround(html, rows.size(), filter);
}

std::string boardJson(const std::vector<BoardRow> &rows)
{
    std::string servers;
    for (const BoardRow &row : rows)
        servers += (servers.empty() ? "" : ",") + rowJson(row);
    return jsonAround(servers);
}

void BoardRendering::render(const std::vector<BoardRow> &rows)
{
    std::unordered_map<std::string, Kept> kept;
    kept.reserve(rows.size());
    std::string html, servers;
    for (const BoardRow &row : rows) {
        std::string key = row.address + ' ' + std::to_string(row.queryPort);
        auto known = m_rows.find(key);
        Kept &rendered = kept[std::move(key)];
        if (known != m_rows.end() && renderedAlike(known->second.row, row)) {
            rendered = std::move(known->second);
        } else {
            rendered.row = row;
            appendRow(rendered.html, row);
            rendered.json = rowJson(row);
        }
        html += rendered.html;
        servers += servers.empty() ? "" : ",";
        servers += rendered.json;
    }
    m_rows = std::move(kept);
    m_page = pageAround(html, rows.size(), {});
    m_json = jsonAround(servers);
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
