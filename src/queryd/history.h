#pragma once

#include "queryd/recentservers.h"
#include "ut3/result.h"

#include "history/fault.h"
#include "history/players.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace queryd {

// Where a player history store plugs in. The service records each fresh
// result once (not each page served from the cache); status pages show a
// history section, and the JSON a "history" array, only when a store is
// given.
class ServerHistory {
public:
    virtual ~ServerHistory() = default;
    virtual void record(const ut3::QueryResult &result) = 0;
    // The names seen on the server in the last 24 hours, the latest first;
    // the queried address and port as in result.query.
    virtual std::vector<history::SeenPlayer> playersSeen(const ut3::QueryTarget & /*server*/) { return {}; }
    // Whether names are kept at all, and so may be searched.
    virtual bool keepsNames() const { return false; }
    // Names holding `text` seen in the last 7 days, the latest first.
    virtual history::Expected<std::vector<history::PlayerMatch>> searchPlayers(std::string_view /*text*/)
    {
        return history::Fault{history::FaultKind::other, "player names are not kept"};
    }

    // A user looked the server up as `asked` and it answered from the
    // address `queried` (asked resolved), which is what results carry.
    virtual void lookedUp(const ut3::QueryTarget & /*asked*/, const ut3::QueryTarget & /*queried*/,
                          std::uint16_t /*webPort*/)
    {
    }
    // The servers looked up lately, the latest first, as the start page
    // lists them.
    virtual std::vector<RecentServer> recentServers() { return {}; }
    // The status page's part on the server's past (HTML), empty for none.
    virtual std::string statusSection(const ut3::QueryTarget &) { return {}; }
    // The JSON's "history": [{"t", "players", "bots"}].
    virtual nlohmann::json series(const ut3::QueryTarget &) { return nlohmann::json::array(); }
    // What the start page shows beside a recent server's link (HTML); the
    // server as it was asked for.
    virtual std::string recentSummary(const ut3::QueryTarget &) { return {}; }
};

}
