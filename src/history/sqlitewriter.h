#pragma once

#include "history/sample.h"
#include "history/sessionrule.h"
#include "history/sqlite.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace history {

// What the SQLite store writes: samples with the sessions their names carry
// on, lookups, and pruning, each in a transaction of its own.
class SqliteWriter final
{
public:
    SqliteWriter(sqlite::Connection &connection, SessionRule rule) : m_connection(connection), m_rule(rule) {}
    SqliteWriter(const SqliteWriter &) = delete;
    SqliteWriter &operator=(const SqliteWriter &) = delete;

    // Reaching the file's size limit drops the oldest day, once, and tries
    // again.
    Expected<Done> record(std::span<const Sample> samples);
    Expected<Done> noteLookup(const ServerKey &server, const AskedAs &asked, Seconds time);
    Expected<Done> prune(Seconds before);
    // A part of the prune: true once it is whole. See Store::pruneStep.
    Expected<bool> pruneStep(Seconds before);

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
    // Carries out what the session rule plans for the sample.
    Expected<Done> writeSessions(std::int64_t serverId, ServerSessions &server, const Sample &sample);
    // The names of an answer older than the server's latest: see SessionPlan::late.
    Expected<Done> writeLateNames(std::int64_t serverId, const SessionPlan &plan, std::int64_t time);
    // How far a prune has gone: the rows of the servers up to a key, then
    // what nothing refers to any more, with the names up to a key.
    struct PruneProgress
    {
        std::int64_t before = 0;
        std::int64_t serversAfter = 0; // -1 once every server's rows are pruned
        std::int64_t namesAfter = 0;
    };
    // The last of the next `count` keys of the table after `after`; -1 for none.
    Expected<std::int64_t> lastKeyOf(const char *table, std::int64_t after, std::int64_t count);
    // One step of a prune: true once it is whole.
    Expected<bool> pruneSome(PruneProgress &progress);
    Expected<Done> pruneServers(PruneProgress &progress, std::int64_t last);
    Expected<Done> pruneUnreferenced(PruneProgress &progress, std::int64_t lastName);
    Expected<Done> dropOldestDay();
    // Runs a bound statement that gives no rows, and resets it.
    Expected<Done> write(sqlite::Statement &bound);

    sqlite::Connection &m_connection;
    const SessionRule m_rule;
    std::optional<PruneProgress> m_prune;
    sqlite::Statement m_findServer, m_addServer, m_nameServer, m_addMap, m_addSample, m_setLatest, m_latestSample,
        m_openSessions, m_endedSessions, m_findName, m_addName, m_endSession, m_reopenSession, m_reopenRecent, m_openSession,
        m_extendSession, m_extendRecent, m_addSession, m_endedLater, m_noteLookup;
    // Kept while no other connection writes to the file (its data version
    // tells) and forgotten when a write fails; a prune's step forgets the
    // sessions of the servers it went through, and the servers and names it
    // drops.
    std::map<ServerKey, KnownServer> m_servers;
    std::unordered_map<std::int64_t, ServerSessions> m_sessions;
    std::unordered_map<std::string, std::int64_t, NameHash, std::equal_to<>> m_nameIds;
    std::int64_t m_dataVersion = -1;
};

}
