#pragma once

#include "queryd/liveboard.h"
#include "queryd/recentservers.h"
#include "ut3/result.h"

#include "history/busiesthours.h"
#include "history/fault.h"
#include "history/namedsession.h"
#include "history/players.h"
#include "history/sample.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace queryd {

// A player search gives at most this many names.
inline constexpr std::size_t MaxPlayerMatches = 100;
// A player's page lists at most this many sessions.
inline constexpr std::size_t MaxPlayerSessions = 1000;

// How the log says that the history cannot be used, and why.
inline std::string historyUnavailable(std::string_view reason)
{
    return "History unavailable: " + std::string(reason);
}
// How the pages say it: where the history is kept and what went wrong
// (a database's user and host, a file's path, the library's own words) are
// for the operators, in the log.
inline constexpr std::string_view HistoryUnavailableNotice = "History unavailable.";

// A server's past as its status page shows it. A part that cannot be read
// is absent, and troubled says so.
struct ServerPast {
    std::optional<history::Series> day;           // the last 24 hours
    std::optional<history::BusiestHours> busiest; // over the last 7 days
    std::string zone;                             // the local time's name, for the busiest hours
    std::chrono::seconds utcOffset{0};            // the local time's, for the chart and the sessions
    std::optional<std::vector<history::SeenPlayer>> seen; // none when names are not kept
    // The history cannot be read, or stops being written (the log says why).
    bool troubled = false;
};

// Where a player history store plugs in. The service records each fresh
// result once (not each page served from the cache); status pages show a
// history section, and the JSON a "history" array, only when a store is
// given. It gives data only; the pages render it.
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
    // The status page's part on the server's past; none for no section.
    virtual std::optional<ServerPast> past(const ut3::QueryTarget &) { return std::nullopt; }
    // The server's counts of the last 24 hours, as the JSON's "history"
    // shows them; none when they cannot be read.
    virtual std::optional<history::Series> daySeries(const ut3::QueryTarget &) { return std::nullopt; }
    // The same for each server as it was asked for (a name, say), in their
    // order, as the start page shows them beside the recent servers' links.
    virtual std::vector<std::optional<history::Series>> recentDays(std::span<const ut3::QueryTarget> asked)
    {
        return std::vector<std::optional<history::Series>>(asked.size());
    }
    // A poll's result for `server` as it was polled; every result, whether
    // or not the server answered.
    virtual void polled(const ut3::QueryTarget & /*server*/, const ut3::QueryResult & /*result*/) {}
    // Every polled server as its latest poll found it, in the board's order.
    virtual std::vector<BoardRow> board() { return {}; }
    // Changes whenever board() would give something else.
    virtual std::uint64_t boardVersion() { return 0; }
    // The web port a polled or looked-up server is known with; 0 for none.
    virtual std::uint16_t webPort(const history::ServerKey & /*server*/) { return 0; }
    // The sessions of a name (whole, case-blind) within the days kept, the
    // latest first.
    virtual history::Expected<std::vector<history::NamedSession>> playerSessions(std::string_view /*name*/)
    {
        return history::Fault{history::FaultKind::other, "player names are not kept"};
    }
    // Why the store cannot be used now, if it cannot: /healthz and /readyz
    // say that it cannot, and why to those who may read the metrics.
    virtual std::optional<std::string> unavailable() { return std::nullopt; }
    // Writes to the store that failed since the start, for /metrics.
    virtual std::uint64_t writeFaults() const { return 0; }
};

}
