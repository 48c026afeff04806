#include "ut3/json.h"

#include "common/utctime.h"

namespace ut3 {

namespace {

template <typename T>
nlohmann::json orNull(const std::optional<T> &value)
{
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json serverJson(const ServerInfo &info)
{
    nlohmann::json rules = nlohmann::json::object();
    for (const auto &[key, value] : info.rules)
        rules[key] = value;
    return {
        {"name", info.name},
        {"map", info.map},
        {"gameMode", info.gameMode},
        {"gameClass", info.gameClass},
        {"numPlayers", orNull(info.numPlayers)},
        {"maxPlayers", orNull(info.maxPlayers)},
        {"bots", orNull(info.bots)},
        {"botSkill", orNull(info.botSkill)},
        {"goalScore", orNull(info.goalScore)},
        {"timeLimit", orNull(info.timeLimit)},
        {"locked", orNull(info.locked)},
        {"pure", orNull(info.pure)},
        {"description", info.description},
        {"mutators", info.mutators},
        {"standardMutators", info.standardMutators},
        {"rules", std::move(rules)},
    };
}

}

nlohmann::json toJson(const QueryResult &result, std::optional<int> webPort)
{
    nlohmann::json players = nlohmann::json::array();
    nlohmann::json teams = nlohmann::json::array();
    nlohmann::json server = nullptr;
    if (result.status) {
        server = serverJson(result.status->server);
        for (const Player &p : result.status->players)
            players.push_back({{"name", p.name}, {"score", orNull(p.score)}, {"deaths", orNull(p.deaths)}, {"ping", orNull(p.ping)}, {"team", orNull(p.team)}});
        for (const Team &t : result.status->teams)
            teams.push_back({{"name", t.name}, {"score", orNull(t.score)}});
    }
    return {
        {"query", {{"address", result.query.host}, {"queryPort", result.query.port}, {"webPort", orNull(webPort)}}},
        {"state", stateName(result.state)},
        {"error", result.state == QueryState::online ? nlohmann::json(nullptr) : nlohmann::json(result.error)},
        {"complete", result.status ? result.status->complete : false},
        {"pingMs", orNull(result.pingMs)},
        {"queriedAt", common::isoUtcMillis(result.queriedAt)},
        {"server", std::move(server)},
        {"players", std::move(players)},
        {"teams", std::move(teams)},
    };
}

}
