#include "table.h"

#include "common/address.h"

#include <algorithm>
#include <cstdio>

namespace cli {

namespace {

// Columns are counted in characters: every string is UTF-8 by now.
std::size_t width(const std::string &text)
{
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string fitted(const std::string &text, std::size_t columns)
{
    std::string out;
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (starts && ++used > columns)
            break;
        out += text[i];
    }
    if (width(text) > columns) {
        // Room for the ellipsis: drop the last character.
        while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80)
            out.pop_back();
        if (!out.empty())
            out.pop_back();
        out += "\u2026";
    }
    return out + std::string(columns - std::min(columns, width(out)), ' ');
}

std::string number(const std::optional<long long> &value)
{
    return value ? std::to_string(*value) : "-";
}

std::string address(const ut3::QueryTarget &target)
{
    return common::hostAndPort(target.host, target.port);
}

std::string ping(const std::optional<double> &ms)
{
    if (!ms)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.0f ms", *ms);
    return text;
}

void appendDetails(std::string &out, const ut3::ServerStatus &status)
{
    if (!status.players.empty()) {
        out += "    " + fitted("PLAYER", 32) + " " + fitted("SCORE", 7) + " " + fitted("DEATHS", 7) + " " + fitted("PING", 6) + " TEAM\n";
        for (const auto &p : status.players)
            out += "    " + fitted(p.name, 32) + " " + fitted(number(p.score), 7) + " " + fitted(number(p.deaths), 7) + " " + fitted(number(p.ping), 6) + " " + number(p.team) + "\n";
    }
    for (const auto &t : status.teams)
        out += "    team " + t.name + ": " + number(t.score) + "\n";
    for (const auto &[key, value] : status.server.rules)
        out += "    " + key + " = " + value + "\n";
}

}

std::string tableHeader()
{
    return fitted("ADDRESS", 22) + " " + fitted("NAME", 32) + " " + fitted("MAP", 20) + " " + fitted("MODE", 18) + " " + fitted("PLAYERS", 7) + " PING\n";
}

std::string tableRow(const ut3::QueryResult &result, bool verbose)
{
    const auto &info = result.status->server;
    std::string out = fitted(address(result.query), 22) + " " + fitted(info.name, 32) + " " + fitted(info.map, 20) + " " + fitted(info.gameMode, 18)
        + " " + fitted(number(info.numPlayers) + "/" + number(info.maxPlayers), 7) + " " + ping(result.pingMs) + "\n";
    if (verbose)
        appendDetails(out, *result.status);
    return out;
}

std::string failureLine(const ut3::QueryResult &result)
{
    return address(result.query) + ": " + result.error;
}

}
