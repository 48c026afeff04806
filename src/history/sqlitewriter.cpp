#include "history/sqlitewriter.h"

#include "history/backend.h"
#include "history/casefold.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>

namespace history {

using namespace backend;

namespace {

// A write that changes rows other than those of a server's newer sample
// says so, for the readers that keep what they read.

}

Expected<Done> SqliteWriter::write(sqlite::Statement &bound)
{
    return m_connection.run(bound, recording);
}

Expected<Done> SqliteWriter::record(std::span<const Sample> samples)
{
    auto written = writeSamples(samples);
    // What was kept of the sessions went back with the transaction.
    if (!written.ok())
        forgetSessions();
    // Reaching the size limit drops the oldest day, once, and tries again:
    // recent history matters more than old.
    if (!written.ok() && written.fault().kind == FaultKind::diskFull && dropOldestDay().ok()) {
        if (writeSamples(samples).ok())
            return Done{};
        forgetSessions();
    }
    return written;
}

Expected<Done> SqliteWriter::writeSamples(std::span<const Sample> samples)
{
    const auto prepared = m_connection.prepare(recording, {
        {m_nameServer, "UPDATE servers SET name = ?2 WHERE id = ?1"},
        {m_addMap, "INSERT INTO maps(name, last_seen) VALUES(?1, ?2) ON CONFLICT(name) "
                   "DO UPDATE SET last_seen = max(last_seen, excluded.last_seen) RETURNING id"},
        {m_addSample, "INSERT OR REPLACE INTO samples(server_id, t, players, bots, map_id) VALUES(?1, ?2, ?3, ?4, ?5)"},
        {m_setLatest, "UPDATE servers SET latest = ?2 WHERE id = ?1"},
    });
    if (!prepared.ok())
        return prepared.fault();

    sqlite::Transaction transaction(m_connection);
    if (auto done = transaction.begin(recording); !done.ok())
        return done;
    // Another process's write may have changed the sessions.
    auto version = m_connection.integer("PRAGMA data_version", recording);
    if (!version)
        return version.fault();
    if (*version != m_dataVersion)
        forgetSessions();
    m_dataVersion = *version;
    // Each map once per batch, with its latest time in the batch: a poll
    // round has many servers on few maps.
    std::map<std::string_view, std::pair<std::int64_t, std::int64_t>> maps; // name: latest time, id
    for (const Sample &sample : samples)
        if (!sample.map.empty()) {
            auto &latest = maps[bounded(sample.map)].first;
            latest = std::max(latest, seconds(sample.time));
        }
    for (auto &[name, entry] : maps) {
        auto &map = m_addMap;
        map.bind(1, name).bind(2, entry.first);
        const int code = map.step();
        entry.second = map.integer(0);
        map.reset();
        if (code != SQLITE_ROW)
            return m_connection.fault(code, recording);
    }
    for (const Sample &sample : samples) {
        auto server = knownServer(sample.server);
        if (!server)
            return server.fault();
        const std::int64_t serverId = (*server)->id;
        const std::string_view serverName = bounded(sample.serverName);
        if (!serverName.empty() && (*server)->name != serverName) {
            if (auto done = write(m_nameServer.bind(1, serverId).bind(2, serverName)); !done.ok())
                return done;
            (*server)->name = serverName;
        }

        // The server's sessions as they were before this sample.
        auto sessions = serverSessions(serverId);
        if (!sessions)
            return sessions.fault();
        auto &sampleRow = m_addSample;
        sampleRow.bind(1, serverId)
            .bind(2, seconds(sample.time))
            .bind(3, std::int64_t{std::clamp(sample.players, 0, maxCount)})
            .bind(4, std::int64_t{std::clamp(sample.bots, 0, maxCount)});
        if (sample.map.empty())
            sampleRow.bindNull(5);
        else
            sampleRow.bind(5, maps.at(bounded(sample.map)).second);
        const int code = sampleRow.step();
        sampleRow.reset();
        if (code != SQLITE_DONE)
            return m_connection.fault(code, recording);
        if (seconds(sample.time) > (*sessions)->latest)
            if (auto done = write(m_setLatest.bind(1, serverId).bind(2, seconds(sample.time))); !done.ok())
                return done;
        if (auto done = writeSessions(serverId, **sessions, sample); !done.ok())
            return done;
    }
    return transaction.commit(recording);
}

Expected<SqliteWriter::KnownServer *> SqliteWriter::knownServer(const ServerKey &key)
{
    if (auto known = m_servers.find(key); known != m_servers.end())
        return &known->second;
    const auto prepared = m_connection.prepare(recording, {
        {m_findServer, "SELECT id, coalesce(name, '') FROM servers WHERE address = ?1 AND query_port = ?2"},
        {m_addServer, "INSERT INTO servers(address, query_port) VALUES(?1, ?2) RETURNING id, ''"},
    });
    if (!prepared.ok())
        return prepared.fault();
    m_findServer.bind(1, key.address).bind(2, std::int64_t{key.queryPort});
    m_addServer.bind(1, key.address).bind(2, std::int64_t{key.queryPort});
    KnownServer server;
    auto found = m_connection.findOrAdd(m_findServer, m_addServer, recording, [&server](const sqlite::Statement &row) {
        server = {row.integer(0), row.text(1)};
    });
    if (!found.ok())
        return found.fault();
    return &m_servers.emplace(key, std::move(server)).first->second;
}

Expected<SqliteWriter::ServerSessions *> SqliteWriter::serverSessions(std::int64_t serverId)
{
    if (auto known = m_sessions.find(serverId); known != m_sessions.end())
        return &known->second;
    const auto prepared = m_connection.prepare(recording, {
        {m_latestSample, "SELECT coalesce(latest, 0) FROM servers WHERE id = ?1"},
        {m_openSessions, "SELECT n.name, c.name_id, c.first_seen FROM current_sessions c JOIN names n ON n.id = c.name_id "
                         "WHERE c.server_id = ?1 AND c.last_seen IS NULL"},
        // The ended sessions that a name seen in the next sample may go on with.
        {m_endedSessions, "SELECT n.name, s.name_id, s.first_seen, s.last_seen, s.recent FROM "
                          "(SELECT name_id, first_seen, last_seen, 0 AS recent FROM sessions "
                          "WHERE server_id = ?1 AND last_seen >= ?2 UNION ALL "
                          "SELECT name_id, first_seen, last_seen, 1 FROM current_sessions WHERE server_id = ?1 AND last_seen >= ?2) s "
                          "JOIN names n ON n.id = s.name_id ORDER BY s.first_seen"},
    });
    if (!prepared.ok())
        return prepared.fault();
    ServerSessions server;
    auto &max = m_latestSample;
    max.bind(1, serverId);
    int code = max.step();
    server.latest = max.integer(0);
    max.reset();
    if (code != SQLITE_ROW)
        return m_connection.fault(code, recording);
    auto done = m_connection.eachRow(m_openSessions.bind(1, serverId), recording, [&server](const sqlite::Statement &row) {
        server.open.emplace(row.text(0), Session{row.integer(1), row.integer(2), 0});
    });
    if (!done.ok())
        return done.fault();
    m_endedSessions.bind(1, serverId).bind(2, seconds(m_rule.continuesFrom(at(server.latest))));
    done = m_connection.eachRow(m_endedSessions, recording, [&server](const sqlite::Statement &row) {
        server.ended.insert_or_assign(row.text(0), Session{row.integer(1), row.integer(2), row.integer(3), row.integer(4) != 0});
    });
    if (!done.ok())
        return done.fault();
    return &m_sessions.emplace(serverId, std::move(server)).first->second;
}

void SqliteWriter::forgetSessions()
{
    m_servers.clear();
    m_sessions.clear();
    m_nameIds.clear();
}

Expected<std::int64_t> SqliteWriter::nameId(std::string_view name)
{
    if (auto known = m_nameIds.find(name); known != m_nameIds.end())
        return known->second;
    const auto prepared = m_connection.prepare(recording, {
        {m_findName, "SELECT id FROM names WHERE name = ?1"},
        {m_addName, "INSERT INTO names(name, folded) VALUES(?1, ?2) RETURNING id"},
    });
    if (!prepared.ok())
        return prepared.fault();
    m_findName.bind(1, name);
    m_addName.bind(1, name).bind(2, foldCase(name));
    std::int64_t id = 0;
    auto found = m_connection.findOrAdd(m_findName, m_addName, recording, [&id](const sqlite::Statement &row) { id = row.integer(0); });
    if (!found.ok())
        return found.fault();
    m_nameIds.emplace(name, id);
    return id;
}

Expected<Done> SqliteWriter::writeSessions(std::int64_t serverId, ServerSessions &server, const Sample &sample)
{
    const std::int64_t time = seconds(sample.time);
    std::vector<std::string_view> open;
    for (const auto &[name, session] : server.open)
        open.push_back(name);
    const SessionPlan plan = planSessions(m_rule, server.latest > 0 ? std::optional(at(server.latest)) : std::nullopt,
                                          open, sample.time, sample.names);
    if (!plan.late.empty()) {
        // Rare: the server's sessions are read again when next needed.
        auto written = writeLateNames(serverId, plan, time);
        m_sessions.erase(serverId);
        return written;
    }
    const auto prepared = m_connection.prepare(recording, {
        {m_endSession, "UPDATE current_sessions SET last_seen = ?4 WHERE server_id = ?1 AND name_id = ?2 AND first_seen = ?3"},
        {m_reopenSession, "DELETE FROM sessions WHERE server_id = ?1 AND last_seen = ?3 AND name_id = ?2 AND first_seen = ?4"},
        {m_reopenRecent, "UPDATE current_sessions SET last_seen = NULL WHERE server_id = ?1 AND name_id = ?2 AND first_seen = ?3"},
        {m_openSession, "INSERT INTO current_sessions(server_id, name_id, first_seen) VALUES(?1, ?2, ?3)"},
    });
    if (!prepared.ok())
        return prepared.fault();

    const std::int64_t resumeFrom = seconds(plan.resumeFrom);
    std::erase_if(server.ended, [&](const auto &ended) { return ended.second.lastSeen < resumeFrom; });
    for (const std::string_view name : plan.end) {
        const auto open = server.open.find(name);
        Session &session = open->second;
        const std::int64_t endAt = seconds(plan.endAt);
        if (auto done = write(m_endSession.bind(1, serverId).bind(2, session.nameId).bind(3, session.firstSeen).bind(4, endAt)); !done.ok())
            return done;
        session.lastSeen = endAt;
        session.recent = true;
        if (endAt >= resumeFrom)
            server.ended.insert_or_assign(open->first, session);
        server.open.erase(open);
    }
    for (const std::string_view name : plan.start) {
        // A name back soon enough after leaving goes on with its session.
        Session session{0, time, 0};
        if (auto ended = server.ended.find(name); ended != server.ended.end()) {
            session = ended->second;
            server.ended.erase(ended);
            if (session.recent) {
                // Its row goes on again in place.
                if (auto done = write(m_reopenRecent.bind(1, serverId).bind(2, session.nameId).bind(3, session.firstSeen)); !done.ok())
                    return done;
                server.open.emplace(name, session);
                continue;
            }
            if (auto done = write(
                    m_reopenSession.bind(1, serverId).bind(2, session.nameId).bind(3, session.lastSeen).bind(4, session.firstSeen)); !done.ok())
                return done;
        } else {
            auto id = nameId(name);
            if (!id)
                return id.fault();
            session.nameId = *id;
        }
        if (auto done = write(m_openSession.bind(1, serverId).bind(2, session.nameId).bind(3, session.firstSeen)); !done.ok())
            return done;
        server.open.emplace(name, session);
    }
    server.latest = std::max(server.latest, time);
    return Done{};
}

Expected<Done> SqliteWriter::writeLateNames(std::int64_t serverId, const SessionPlan &plan, std::int64_t time)
{
    const auto prepared = m_connection.prepare(recording, {
        {m_extendSession, "UPDATE sessions SET last_seen = max(last_seen, ?4) "
                          "WHERE server_id = ?1 AND name_id = ?2 AND last_seen >= ?3 AND first_seen = (SELECT max(first_seen) FROM "
                          "(SELECT first_seen FROM sessions WHERE server_id = ?1 AND name_id = ?2 UNION ALL "
                          "SELECT first_seen FROM current_sessions WHERE server_id = ?1 AND name_id = ?2))"},
        {m_extendRecent, "UPDATE current_sessions SET last_seen = max(last_seen, ?4) "
                         "WHERE server_id = ?1 AND name_id = ?2 AND last_seen >= ?3 AND first_seen = (SELECT max(first_seen) FROM "
                         "(SELECT first_seen FROM sessions WHERE server_id = ?1 AND name_id = ?2 UNION ALL "
                         "SELECT first_seen FROM current_sessions WHERE server_id = ?1 AND name_id = ?2))"},
        {m_addSession, "INSERT OR IGNORE INTO current_sessions(server_id, name_id, first_seen, last_seen) VALUES(?1, ?2, ?3, ?3)"},
        {m_endedLater, "UPDATE names SET last_ended = max(last_ended, ?2) WHERE id = ?1"},
    });
    if (!prepared.ok())
        return prepared.fault();
    const std::int64_t resumeFrom = seconds(plan.resumeFrom);
    for (const std::string_view name : plan.late) {
        auto id = nameId(name);
        if (!id)
            return id.fault();
        int changes = 0;
        for (sqlite::Statement *extend : {&m_extendSession, &m_extendRecent}) {
            if (auto done = write(extend->bind(1, serverId).bind(2, *id).bind(3, resumeFrom).bind(4, time)); !done.ok())
                return done;
            changes += sqlite3_changes(m_connection.handle());
        }
        // The large table's session a name's row ranks it by may end later now.
        auto done = changes > 0 ? write(m_endedLater.bind(1, *id).bind(2, time))
                                : write(m_addSession.bind(1, serverId).bind(2, *id).bind(3, time));
        if (!done.ok())
            return done;
    }
    return Done{};
}

Expected<Done> SqliteWriter::noteLookup(const ServerKey &server, const AskedAs &asked, Seconds time)
{
    // The latest lookup names the server; one noted out of order does not.
    const auto prepared = m_connection.prepare(recording, {
        {m_noteLookup, "INSERT INTO servers(address, query_port, last_lookup, asked_address, asked_port, web_port) "
                       "VALUES(?1, ?2, ?3, nullif(?4, ''), ?5, ?6) ON CONFLICT(address, query_port) DO UPDATE SET "
                       "last_lookup = excluded.last_lookup, asked_address = excluded.asked_address, "
                       "asked_port = excluded.asked_port, web_port = excluded.web_port "
                       "WHERE coalesce(last_lookup, 0) <= excluded.last_lookup"},
    });
    if (!prepared.ok())
        return prepared.fault();
    return write(m_noteLookup.bind(1, server.address)
                     .bind(2, std::int64_t{server.queryPort})
                     .bind(3, seconds(time))
                     .bind(4, bounded(asked.address))
                     .bind(5, std::int64_t{asked.queryPort})
                     .bind(6, std::int64_t{asked.webPort}));
}

Expected<Done> SqliteWriter::dropOldestDay()
{
    auto oldest = m_connection.integer("SELECT coalesce(min(t), 0) FROM samples", pruning);
    if (!oldest)
        return oldest.fault();
    return prune(at(*oldest) + std::chrono::days(1));
}

}
