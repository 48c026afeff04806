#pragma once

#include "history/sqlite.h"
#include "history/store.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace history {

struct SqliteOptions
{
    // How long a call waits for another process's write to end before it
    // reports the file locked.
    std::chrono::milliseconds busyTimeout{2000};
    // The file's size limit; 0 for none. Reaching it is reported as a full
    // disk, and the oldest day is dropped to make room.
    std::uint64_t maxBytes = 0;
    SessionRule sessions;
};

// Player history in one SQLite file, through one connection.
class SqliteStore final : public Store
{
public:
    // Opens the file, making it and its folders when they do not exist, and
    // brings an older layout up to date.
    static Expected<std::unique_ptr<Store>> open(const std::filesystem::path &path, SqliteOptions options = {});
    // The same as an opener for whoever opens stores on their own threads.
    static StoreOpener opener(std::filesystem::path path, SqliteOptions options = {});

    std::string where() const override { return m_connection.path().string(); }

    Expected<Done> record(std::span<const Sample> samples) override;
    Expected<Done> noteLookup(const ServerKey &server, const AskedAs &asked, Seconds time) override;
    Expected<Done> prune(Seconds before) override;
    Expected<bool> pruneStep(Seconds before) override;
    Expected<Series> series(const ServerKey &server, Seconds now, std::chrono::seconds span,
                            std::chrono::seconds step) override;
    Expected<HourlyAverages> hourlyAverages(const ServerKey &server, Seconds since, Seconds until,
                                            std::chrono::seconds utcOffset) override;
    Expected<std::vector<RecentServer>> recentServers(Seconds since, std::size_t limit) override;
    Expected<std::vector<ServerKey>> serversLookedUpSince(Seconds since) override;
    Expected<std::vector<SeenPlayer>> playersSeen(const ServerKey &server, Seconds since, Seconds onlineSince) override;
    Expected<std::vector<PlayerMatch>> searchPlayers(std::string_view text, Seconds since, Seconds onlineSince,
                                                     std::size_t limit) override;

    SqliteStore(sqlite::Connection connection, SessionRule sessions)
        : Store(sessions), m_connection(std::move(connection))
    {
    }

private:
    struct NameHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
    };
    struct Session
    {
        std::int64_t nameId = 0;
        std::int64_t firstSeen = 0;
        std::int64_t lastSeen = 0; // of an ended session
        bool recent = false;       // ended since the latest prune
    };
    // A server's latest sample time, the sessions going on in it and those
    // ended recently enough to go on again, as the file holds them: a round
    // compares its names with these and writes only the differences.
    struct ServerSessions
    {
        std::int64_t latest = 0; // 0 before the first sample
        std::map<std::string, Session, std::less<>> open;
        std::map<std::string, Session, std::less<>> ended;
    };
    // What a player search keeps of the file between searches: each
    // server's latest sample time, and the sessions not yet in the large
    // table, by server. After a change of the file it reads again only the
    // sessions of the servers whose latest sample moved, unless the file
    // counts an edit of another kind. The names it finds through their index.
    struct CurrentSession
    {
        std::int64_t nameId = 0;
        std::int64_t seen = 0; // a session going on is seen in its server's latest sample
    };
    struct SearchSnapshot
    {
        std::int64_t dataVersion = -1;
        std::int64_t edits = -1;
        std::unordered_map<std::int64_t, std::int64_t> latest;
        std::unordered_map<std::int64_t, std::vector<CurrentSession>> current;
    };
    struct KnownServer
    {
        std::int64_t id = 0;
        std::string name; // as the file holds it; empty for none
    };

    Expected<Done> writeSamples(std::span<const Sample> samples);
    Expected<KnownServer *> knownServer(const ServerKey &server);
    Expected<ServerSessions *> serverSessions(std::int64_t serverId);
    Expected<std::int64_t> nameId(std::string_view name);
    void forgetSessions();
    Expected<Done> writeSessions(std::int64_t serverId, ServerSessions &server, const Sample &sample);
    Expected<Done> writeLateNames(std::int64_t serverId, const ServerSessions &server, const Sample &sample);
    Expected<Done> countEdit();
    Expected<Done> dropOldestDay();
    Expected<const SearchSnapshot *> searchSnapshot();
    Expected<Done> readCurrentSessions(sqlite::Statement &query);
    // Runs a bound statement that returns no rows, and resets it.
    Expected<Done> write(sqlite::Statement &bound);
    // Steps the bound `find`, and the bound `add` when `find` gave no row,
    // handing the row either gave to `take`; resets both.
    Expected<Done> findOrAdd(sqlite::Statement &find, sqlite::Statement &add,
                             const std::function<void(const sqlite::Statement &)> &take);
    // A statement kept for the next uses, prepared on first use.
    struct KeptStatement
    {
        sqlite::Statement &slot;
        const char *sql;
    };
    // Prepares those of the statements not prepared yet.
    Expected<Done> prepare(std::string_view operation, std::initializer_list<KeptStatement> statements);

    // How far a prune has gone: the rows of the servers up to a key, then
    // what nothing refers to any more.
    struct PruneProgress
    {
        std::int64_t before = 0;
        std::int64_t serversAfter = 0;
    };
    Expected<Done> pruneServers(PruneProgress &progress, std::int64_t last);
    Expected<Done> pruneUnreferenced(std::int64_t before);

    sqlite::Connection m_connection;
    std::optional<PruneProgress> m_prune;
    // What the store writes, and what it reads for pages and searches.
    sqlite::Statement m_findServer, m_addServer, m_nameServer, m_addMap, m_addSample, m_setLatest, m_latestSample,
        m_openSessions, m_endedSessions, m_findName, m_addName, m_endSession, m_reopenSession, m_reopenRecent, m_openSession,
        m_extendSession, m_extendRecent, m_addSession, m_endedLater, m_countEdit, m_noteLookup;
    sqlite::Statement m_series, m_hourlyAverages, m_lookedUpSince, m_recentServers, m_playersSeen, m_namesHolding, m_namesContaining,
        m_serversLatest, m_currentSessions, m_serverSessions, m_endedByName, m_serverById;
    // Kept while no other connection writes to the file (its data version
    // tells) and forgotten when a write of ours fails; a prune of ours
    // forgets the servers and sessions, and of the names those it drops.
    std::map<ServerKey, KnownServer> m_servers;
    std::unordered_map<std::int64_t, ServerSessions> m_sessions;
    std::unordered_map<std::string, std::int64_t, NameHash, std::equal_to<>> m_nameIds;
    std::int64_t m_dataVersion = -1;
    SearchSnapshot m_search; // read again after each write of ours, which the data version does not count
};

}
