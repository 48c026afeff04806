#include "history/sqlitestore.h"

#include "history/backend.h"
#include "history/casefold.h"
#include "history/schema.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <set>
#include <system_error>

namespace history {

using namespace backend;

namespace {

// A write that changes rows other than those of a server's newer sample
// says so, for the readers that keep what they read.
constexpr const char *countEditSql = "UPDATE edits SET count = count + 1";

}

Expected<std::unique_ptr<Store>> SqliteStore::open(const std::filesystem::path &path, SqliteOptions options)
{
    std::error_code error;
    if (path.has_parent_path() && !std::filesystem::exists(path.parent_path(), error)) {
        std::filesystem::create_directories(path.parent_path(), error);
        if (error)
            return Fault{error == std::errc::permission_denied || error == std::errc::read_only_file_system
                             ? FaultKind::readOnly
                             : FaultKind::cannotOpen,
                         "Cannot make the folder " + path.parent_path().string() + " for the history file: " + error.message()};
    }
    auto connection = sqlite::Connection::open(path, true);
    if (!connection)
        return connection.fault();
    sqlite3_busy_timeout(connection->handle(), static_cast<int>(options.busyTimeout.count()));
    if (options.maxBytes > 0) {
        auto pageSize = connection->integer("PRAGMA page_size", "Cannot open the history file");
        if (!pageSize)
            return pageSize.fault();
        const std::string limit = "PRAGMA max_page_count = " + std::to_string(std::max<std::uint64_t>(1, options.maxBytes / *pageSize));
        if (auto done = connection->exec(limit.c_str(), "Cannot open the history file"); !done.ok())
            return done.fault();
    }
    if (auto done = schema::prepare(*connection); !done.ok())
        return done.fault();
    return std::unique_ptr<Store>(std::make_unique<SqliteStore>(std::move(*connection), options.sessions));
}

StoreOpener SqliteStore::opener(std::filesystem::path path, SqliteOptions options)
{
    return [path = std::move(path), options] { return open(path, options); };
}

Expected<Done> SqliteStore::write(sqlite::Statement &bound)
{
    const int code = bound.step();
    bound.reset();
    if (code != SQLITE_DONE)
        return m_connection.fault(code, recording);
    return Done{};
}

Expected<Done> SqliteStore::prepare(std::string_view operation, std::initializer_list<KeptStatement> statements)
{
    for (const auto &[slot, sql] : statements)
        if (!slot.isPrepared()) {
            auto prepared = m_connection.prepare(sql, operation);
            if (!prepared)
                return prepared.fault();
            slot = std::move(*prepared);
        }
    return Done{};
}

Expected<Done> SqliteStore::findOrAdd(sqlite::Statement &find, sqlite::Statement &add,
                                      const std::function<void(const sqlite::Statement &)> &take)
{
    int code = find.step();
    const sqlite::Statement &row = code == SQLITE_DONE ? add : find;
    if (code == SQLITE_DONE)
        code = add.step();
    if (code == SQLITE_ROW)
        take(row);
    find.reset();
    add.reset();
    if (code != SQLITE_ROW)
        return m_connection.fault(code, recording);
    return Done{};
}

Expected<Done> SqliteStore::record(std::span<const Sample> samples)
{
    m_search.dataVersion = -1;
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

Expected<Done> SqliteStore::writeSamples(std::span<const Sample> samples)
{
    const auto prepared = prepare(recording, {
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

Expected<SqliteStore::KnownServer *> SqliteStore::knownServer(const ServerKey &key)
{
    if (auto known = m_servers.find(key); known != m_servers.end())
        return &known->second;
    const auto prepared = prepare(recording, {
        {m_findServer, "SELECT id, coalesce(name, '') FROM servers WHERE address = ?1 AND query_port = ?2"},
        {m_addServer, "INSERT INTO servers(address, query_port) VALUES(?1, ?2) RETURNING id, ''"},
    });
    if (!prepared.ok())
        return prepared.fault();
    m_findServer.bind(1, key.address).bind(2, std::int64_t{key.queryPort});
    m_addServer.bind(1, key.address).bind(2, std::int64_t{key.queryPort});
    KnownServer server;
    auto found = findOrAdd(m_findServer, m_addServer, [&server](const sqlite::Statement &row) {
        server = {row.integer(0), row.text(1)};
    });
    if (!found.ok())
        return found.fault();
    return &m_servers.emplace(key, std::move(server)).first->second;
}

Expected<SqliteStore::ServerSessions *> SqliteStore::serverSessions(std::int64_t serverId)
{
    if (auto known = m_sessions.find(serverId); known != m_sessions.end())
        return &known->second;
    const auto prepared = prepare(recording, {
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
    m_endedSessions.bind(1, serverId).bind(2, seconds(sessionRule().continuesFrom(at(server.latest))));
    done = m_connection.eachRow(m_endedSessions, recording, [&server](const sqlite::Statement &row) {
        server.ended.insert_or_assign(row.text(0), Session{row.integer(1), row.integer(2), row.integer(3), row.integer(4) != 0});
    });
    if (!done.ok())
        return done.fault();
    return &m_sessions.emplace(serverId, std::move(server)).first->second;
}

void SqliteStore::forgetSessions()
{
    m_servers.clear();
    m_sessions.clear();
    m_nameIds.clear();
}

Expected<std::int64_t> SqliteStore::nameId(std::string_view name)
{
    if (auto known = m_nameIds.find(name); known != m_nameIds.end())
        return known->second;
    const auto prepared = prepare(recording, {
        {m_findName, "SELECT id FROM names WHERE name = ?1"},
        {m_addName, "INSERT INTO names(name, folded) VALUES(?1, ?2) RETURNING id"},
    });
    if (!prepared.ok())
        return prepared.fault();
    m_findName.bind(1, name);
    m_addName.bind(1, name).bind(2, foldCase(name));
    std::int64_t id = 0;
    auto found = findOrAdd(m_findName, m_addName, [&id](const sqlite::Statement &row) { id = row.integer(0); });
    if (!found.ok())
        return found.fault();
    m_nameIds.emplace(name, id);
    return id;
}

Expected<Done> SqliteStore::writeSessions(std::int64_t serverId, ServerSessions &server, const Sample &sample)
{
    const std::int64_t time = seconds(sample.time);
    if (time <= server.latest)
        if (auto counted = countEdit(); !counted.ok())
            return counted;
    if (time < server.latest) {
        // Rare: the server's sessions are read again when next needed.
        auto written = writeLateNames(serverId, server, sample);
        m_sessions.erase(serverId);
        return written;
    }
    const auto prepared = prepare(recording, {
        {m_endSession, "UPDATE current_sessions SET last_seen = ?4 WHERE server_id = ?1 AND name_id = ?2 AND first_seen = ?3"},
        {m_reopenSession, "DELETE FROM sessions WHERE server_id = ?1 AND last_seen = ?3 AND name_id = ?2 AND first_seen = ?4"},
        {m_reopenRecent, "UPDATE current_sessions SET last_seen = NULL WHERE server_id = ?1 AND name_id = ?2 AND first_seen = ?3"},
        {m_openSession, "INSERT INTO current_sessions(server_id, name_id, first_seen) VALUES(?1, ?2, ?3)"},
    });
    if (!prepared.ok())
        return prepared.fault();
    // A server may list one name twice (two players, one name): one session.
    std::set<std::string_view> names;
    for (const std::string &name : sample.names)
        if (!name.empty())
            names.insert(bounded(name));

    // Two answers in one second both hold their names; after a gap longer
    // than the rule allows, every session ends.
    const std::int64_t continuesFrom = seconds(sessionRule().continuesFrom(sample.time));
    const bool sameTime = time == server.latest;
    const bool continues = server.latest >= continuesFrom;
    std::erase_if(server.ended, [&](const auto &ended) { return ended.second.lastSeen < continuesFrom; });
    for (auto open = server.open.begin(); open != server.open.end();) {
        if (sameTime || (continues && names.contains(open->first))) {
            ++open;
            continue;
        }
        Session &session = open->second;
        if (auto done = write(m_endSession.bind(1, serverId).bind(2, session.nameId).bind(3, session.firstSeen).bind(4, server.latest)); !done.ok())
            return done;
        session.lastSeen = server.latest;
        session.recent = true;
        if (continues)
            server.ended.insert_or_assign(open->first, session);
        open = server.open.erase(open);
    }
    for (const std::string_view name : names) {
        if (server.open.contains(name))
            continue;
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
    server.latest = time;
    return Done{};
}

Expected<Done> SqliteStore::writeLateNames(std::int64_t serverId, const ServerSessions &server, const Sample &sample)
{
    // An answer older than the server's latest ends no session: its names
    // that are not on now continue their latest ended session by the rule,
    // or make one of their own.
    const auto prepared = prepare(recording, {
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
    const std::int64_t time = seconds(sample.time);
    for (const std::string &each : sample.names) {
        const std::string_view name = bounded(each);
        if (name.empty() || server.open.contains(name))
            continue;
        auto id = nameId(name);
        if (!id)
            return id.fault();
        int changes = 0;
        for (sqlite::Statement *extend : {&m_extendSession, &m_extendRecent}) {
            const std::int64_t from = seconds(sessionRule().continuesFrom(sample.time));
            if (auto done = write(extend->bind(1, serverId).bind(2, *id).bind(3, from).bind(4, time)); !done.ok())
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

Expected<Done> SqliteStore::noteLookup(const ServerKey &server, const AskedAs &asked, Seconds time)
{
    // The latest lookup names the server; one noted out of order does not.
    const auto prepared = prepare(recording, {
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

Expected<Done> SqliteStore::countEdit()
{
    if (auto prepared = prepare(recording, {{m_countEdit, countEditSql}}); !prepared.ok())
        return prepared.fault();
    return write(m_countEdit);
}

Expected<Done> SqliteStore::dropOldestDay()
{
    auto oldest = m_connection.integer("SELECT coalesce(min(t), 0) FROM samples", pruning);
    if (!oldest)
        return oldest.fault();
    return prune(at(*oldest) + std::chrono::days(1));
}

Expected<Series> SqliteStore::series(const ServerKey &server, Seconds now, std::chrono::seconds span, std::chrono::seconds step)
{
    const auto prepared = prepare(reading, {
        {m_series, "SELECT t, players, bots FROM samples "
                   "WHERE server_id = (SELECT id FROM servers WHERE address = ?1 AND query_port = ?2) "
                   "AND t >= ?3 AND t < ?4 ORDER BY t"},
    });
    if (!prepared.ok())
        return prepared.fault();
    const auto stepCount = std::max<std::int64_t>(1, span / step);
    const Seconds end = Seconds(std::chrono::floor<std::chrono::seconds>(now.time_since_epoch()) / step * step) + step;
    Series series{end - step * stepCount, step, std::vector<std::optional<Count>>(static_cast<std::size_t>(stepCount))};

    m_series.bind(1, server.address).bind(2, std::int64_t{server.queryPort}).bind(3, seconds(series.start)).bind(4, seconds(end));
    auto done = m_connection.eachRow(m_series, reading, [&series, step](const sqlite::Statement &row) {
        const auto index = static_cast<std::size_t>((row.integer(0) - seconds(series.start)) / step.count());
        series.steps[index] = Count{storedCount(row.integer(1)), storedCount(row.integer(2))};
    });
    if (!done.ok())
        return done.fault();
    return series;
}

Expected<HourlyAverages> SqliteStore::hourlyAverages(const ServerKey &server, Seconds since, Seconds until,
                                               std::chrono::seconds utcOffset)
{
    const auto prepared = prepare(reading, {
        {m_hourlyAverages, "SELECT ((t + ?5) % 86400 + 86400) % 86400 / 3600 AS hour, avg(min(max(players, 0), ?6)) FROM samples "
                           "WHERE server_id = (SELECT id FROM servers WHERE address = ?1 AND query_port = ?2) "
                           "AND t >= ?3 AND t < ?4 GROUP BY hour"},
    });
    if (!prepared.ok())
        return prepared.fault();
    m_hourlyAverages.bind(1, server.address)
        .bind(2, std::int64_t{server.queryPort})
        .bind(3, seconds(since))
        .bind(4, seconds(until))
        .bind(5, utcOffset.count())
        .bind(6, std::int64_t{maxCount});
    HourlyAverages averages;
    auto done = m_connection.eachRow(m_hourlyAverages, reading, [&averages](const sqlite::Statement &row) {
        averages[static_cast<std::size_t>(row.integer(0))] = row.real(1);
    });
    if (!done.ok())
        return done.fault();
    return averages;
}

Expected<std::vector<ServerKey>> SqliteStore::serversLookedUpSince(Seconds since)
{
    const auto prepared = prepare(reading, {
        {m_lookedUpSince, "SELECT address, query_port FROM servers WHERE last_lookup >= ?1 ORDER BY last_lookup DESC"},
    });
    if (!prepared.ok())
        return prepared.fault();
    m_lookedUpSince.bind(1, seconds(since));
    std::vector<ServerKey> servers;
    auto done = m_connection.eachRow(m_lookedUpSince, reading, [&servers](const sqlite::Statement &row) {
        servers.push_back({row.text(0), static_cast<std::uint16_t>(row.integer(1))});
    });
    if (!done.ok())
        return done.fault();
    return servers;
}

Expected<std::vector<RecentServer>> SqliteStore::recentServers(Seconds since, std::size_t limit)
{
    const auto prepared = prepare(reading, {
        {m_recentServers, "SELECT s.address, s.query_port, s.last_lookup, x.t, x.players, x.bots, m.name, s.name, "
                          "s.asked_address, s.asked_port, s.web_port FROM servers s "
                          "LEFT JOIN samples x ON x.server_id = s.id AND x.t = s.latest "
                          "LEFT JOIN maps m ON m.id = x.map_id "
                          "WHERE s.last_lookup >= ?1 ORDER BY s.last_lookup DESC LIMIT ?2"},
    });
    if (!prepared.ok())
        return prepared.fault();
    m_recentServers.bind(1, seconds(since)).bind(2, static_cast<std::int64_t>(std::min<std::size_t>(limit, INT64_MAX)));
    std::vector<RecentServer> servers;
    auto done = m_connection.eachRow(m_recentServers, reading, [&servers](const sqlite::Statement &row) {
        RecentServer recent{{row.text(0), static_cast<std::uint16_t>(row.integer(1))}, std::nullopt, at(row.integer(2)), std::nullopt};
        if (!row.isNull(8))
            recent.asked = AskedAs{row.text(8), static_cast<std::uint16_t>(row.integer(9)), static_cast<std::uint16_t>(row.integer(10))};
        if (!row.isNull(3))
            recent.latest = Sample{recent.server, at(row.integer(3)), storedCount(row.integer(4)), storedCount(row.integer(5)),
                                   row.text(6), row.text(7)};
        servers.push_back(std::move(recent));
    });
    if (!done.ok())
        return done.fault();
    return servers;
}

Expected<std::vector<SeenPlayer>> SqliteStore::playersSeen(const ServerKey &server, Seconds since, Seconds onlineSince)
{
    const auto prepared = prepare(reading, {
        {m_playersSeen, "WITH server AS (SELECT id, latest FROM servers "
                        "WHERE address = ?1 AND query_port = ?2), "
                        "seen AS (SELECT s.name_id, s.first_seen, s.last_seen FROM server JOIN sessions s ON s.server_id = server.id "
                        "AND s.last_seen >= ?3 "
                        "UNION ALL SELECT c.name_id, c.first_seen, coalesce(c.last_seen, server.latest) AS last_seen "
                        "FROM server JOIN current_sessions c ON c.server_id = server.id WHERE coalesce(c.last_seen, server.latest) >= ?3) "
                        "SELECT n.name, s.first_seen, s.last_seen, (SELECT latest FROM server) "
                        "FROM seen s JOIN names n ON n.id = s.name_id "
                        "ORDER BY s.last_seen DESC, s.first_seen DESC, n.name"},
    });
    if (!prepared.ok())
        return prepared.fault();
    m_playersSeen.bind(1, server.address).bind(2, std::int64_t{server.queryPort}).bind(3, seconds(since));
    std::vector<SeenPlayer> players;
    std::map<std::string, std::size_t, std::less<>> indexOf;
    auto done = m_connection.eachRow(m_playersSeen, reading, [&](const sqlite::Statement &row) {
        const PlayerSession session{at(row.integer(1)), at(row.integer(2))};
        auto [found, added] = indexOf.try_emplace(row.text(0), players.size());
        if (added) {
            const std::int64_t latest = row.integer(3);
            players.push_back({found->first, row.integer(2) == latest && at(latest) >= onlineSince, {}});
        }
        players[found->second].sessions.push_back(session);
    });
    if (!done.ok())
        return done.fault();
    return players;
}

}
