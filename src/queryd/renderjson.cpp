#include "queryd/renderjson.h"

#include "ut3/json.h"

#include "common/utctime.h"

#include <nlohmann/json.hpp>

namespace queryd {

namespace {

std::string compactJson(const nlohmann::json &json)
{
    // Replaces what is not UTF-8 (parameters may carry any bytes) instead of throwing.
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string jsonText(const nlohmann::json &json)
{
    return compactJson(json) + "\n";
}

std::string isoTime(history::Seconds time)
{
    return common::utcTime(time, common::IsoSeconds);
}

// [{"t", "players", "bots"}] for each step that has an answer.
nlohmann::json seriesJson(const std::optional<history::Series> &day)
{
    nlohmann::json steps = nlohmann::json::array();
    if (!day)
        return steps;
    for (std::size_t i = 0; i < day->steps.size(); ++i)
        if (const auto &count = day->steps[i])
            steps.push_back({{"t", isoTime(day->start + day->step * static_cast<long>(i))},
                             {"players", count->players},
                             {"bots", count->bots}});
    return steps;
}

nlohmann::json seenJson(const std::vector<history::SeenPlayer> &players)
{
    nlohmann::json seen = nlohmann::json::array();
    for (const history::SeenPlayer &player : players) {
        nlohmann::json sessions = nlohmann::json::array();
        for (const history::PlayerSession &session : player.sessions)
            sessions.push_back({{"from", isoTime(session.from)}, {"to", isoTime(session.to)}});
        seen.push_back({{"name", player.name}, {"online", player.online}, {"sessions", std::move(sessions)}});
    }
    return seen;
}

}

std::string statusJson(const ut3::QueryResult &result, const std::optional<JsonHistory> &history)
{
    nlohmann::json json = ut3::toJson(result);
    json.erase("query");
    if (history) {
        json["history"] = seriesJson(history->day);
        if (history->seen)
            json["seen"] = seenJson(*history->seen);
    }
    return jsonText(json);
}

std::string statusQueryPart(const StatusRequest &request)
{
    ut3::QueryResult asked;
    asked.query = {request.address, request.queryPort};
    return "\"query\":" + compactJson(ut3::toJson(asked, request.webPort)["query"]) + ",";
}

std::string refusalJson(std::string_view sentence)
{
    return jsonText({{"state", "invalid"}, {"error", std::string(sentence)}});
}

std::string playerMatchesJson(std::string_view text, const std::vector<history::PlayerMatch> &matches)
{
    nlohmann::json rows = nlohmann::json::array();
    for (const history::PlayerMatch &match : matches)
        rows.push_back({{"name", match.name},
                        {"online", match.online},
                        {"lastSeen", isoTime(match.lastSeen)},
                        {"server", {{"address", match.server.address},
                                    {"queryPort", match.server.queryPort},
                                    {"name", match.serverName}}}});
    return jsonText({{"query", std::string(text)}, {"matches", std::move(rows)}});
}

}
