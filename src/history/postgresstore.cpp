#include "history/postgresstore.h"

#include "history/backend.h"
#include "history/casefold.h"
#include "history/postgresschema.h"

#include <algorithm>
#include <map>
#include <set>

namespace history {

using namespace backend;

namespace {

Expected<std::unique_ptr<Store>> connect(const std::string &uri, SessionRule sessions)
{
    auto connection = postgres::Connection::open(uri);
    if (!connection)
        return connection.fault();
    if (auto done = postgres::schema::prepare(*connection); !done.ok())
        return done.fault();
    return std::unique_ptr<Store>(std::make_unique<PostgresStore>(std::move(*connection), uri, sessions));
}

}

PostgresStore::PostgresStore(postgres::Connection connection, std::string uri, SessionRule sessions)
    : Store(sessions), m_connection(std::move(connection)), m_uri(std::move(uri))
{
}

Expected<std::unique_ptr<Store>> PostgresStore::open(const std::string &uri, SessionRule sessions)
{
    return connect(uri, sessions);
}

StoreOpener PostgresStore::opener(std::string uri, SessionRule sessions)
{
    struct Waiting {
        Backoff backoff;
        std::chrono::steady_clock::time_point retryAt;
        std::optional<Fault> fault;
    };
    return [uri = std::move(uri), sessions, waiting = std::make_shared<Waiting>()]() -> Expected<std::unique_ptr<Store>> {
        if (waiting->fault && std::chrono::steady_clock::now() < waiting->retryAt)
            return *waiting->fault;
        auto opened = connect(uri, sessions);
        if (opened) {
            waiting->backoff.succeeded();
            waiting->fault.reset();
        } else {
            waiting->fault = opened.fault();
            waiting->retryAt = std::chrono::steady_clock::now() + waiting->backoff.failed();
        }
        return opened;
    };
}

Expected<Done> PostgresStore::connected()
{
    if (!m_connection.broken())
        return Done{};
    if (!m_lost)
        m_lost = Fault{FaultKind::cannotOpen, "Cannot use the history database " + m_connection.printableUri()
                                                  + ": the connection to it is lost; connecting again"};
    else if (std::chrono::steady_clock::now() < m_retryAt)
        return *m_lost;
    auto opened = postgres::Connection::open(m_uri);
    Expected<Done> prepared = opened ? postgres::schema::prepare(*opened) : opened.fault();
    if (!prepared.ok()) {
        m_lost = prepared.fault();
        m_retryAt = std::chrono::steady_clock::now() + m_backoff.failed();
        return prepared;
    }
    m_connection = std::move(*opened);
    m_names.clear();
    m_partitions.forget();
    m_backoff.succeeded();
    m_lost.reset();
    return Done{};
}

Expected<postgres::Result> PostgresStore::read(const char *sql, const postgres::Parameters &parameters)
{
    if (auto done = connected(); !done.ok())
        return done.fault();
    return m_connection.query(sql, reading, parameters);
}

Expected<Done> PostgresStore::record(std::span<const Sample> samples)
{
    if (samples.empty())
        return Done{};
    if (auto done = connected(); !done.ok())
        return done;
    // A server's samples go in one pass each, in time order: each pass's
    // sessions follow from those before it, and a pass holds each server
    // once, so that its statements take it as a set.
    std::vector<const Sample *> ordered;
    for (const Sample &sample : samples)
        ordered.push_back(&sample);
    std::stable_sort(ordered.begin(), ordered.end(), [](const Sample *a, const Sample *b) { return a->time < b->time; });
    std::vector<std::vector<const Sample *>> passes;
    std::map<ServerKey, std::size_t> samplesOf;
    for (const Sample *sample : ordered) {
        const std::size_t pass = samplesOf[sample->server]++;
        if (pass == passes.size())
            passes.emplace_back();
        passes[pass].push_back(sample);
    }

    std::set<std::int64_t> times;
    for (const Sample *sample : ordered)
        times.insert(seconds(sample->time));
    if (auto done = m_partitions.cover(m_connection, times, recording); !done.ok())
        return done;

    postgres::Transaction transaction(m_connection);
    if (auto done = transaction.begin(recording); !done.ok())
        return done;
    auto servers = writeServers(samples);
    if (!servers)
        return servers.fault();
    if (auto done = writeSamples(samples, *servers); !done.ok())
        return done;
    for (const auto &pass : passes)
        if (auto done = writeSessions(pass, *servers); !done.ok())
            return done;
    return transaction.commit(recording);
}

Expected<std::map<ServerKey, PostgresStore::KnownServer>> PostgresStore::writeServers(std::span<const Sample> samples)
{
    // A batch is a few statements whatever its size, each taking its rows
    // as arrays: a round trip per statement, not per sample. Servers and
    // names go in sorted, so that two instances writing at once lock rows in
    // the same order.
    std::map<std::string, std::int64_t> maps; // name: latest time
    struct Latest {
        std::string name; // the server's own
        std::int64_t time = 0;
    };
    std::map<ServerKey, Latest> servers;
    for (const Sample &sample : samples) {
        if (!sample.map.empty()) {
            auto &latest = maps[std::string(bounded(sample.map))];
            latest = std::max(latest, seconds(sample.time));
        }
        auto &server = servers[sample.server];
        if (!sample.serverName.empty())
            server.name = bounded(sample.serverName);
        server.time = std::max(server.time, seconds(sample.time));
    }

    std::vector<std::string> texts;
    std::vector<std::int64_t> numbers;
    for (const auto &[name, time] : maps) {
        texts.push_back(name);
        numbers.push_back(time);
    }
    if (auto done = m_connection.exec("INSERT INTO maps(name, last_seen) SELECT * FROM unnest($1::text[], $2::bigint[]) "
                                     "ON CONFLICT(name) DO UPDATE SET last_seen = greatest(maps.last_seen, excluded.last_seen)",
                                     recording, postgres::Parameters().addArray(texts).addArray(numbers)); !done.ok())
        return done.fault();

    std::vector<std::string> addresses, names;
    std::vector<std::int64_t> ports, times;
    for (const auto &[server, latest] : servers) {
        addresses.push_back(server.address);
        ports.push_back(server.queryPort);
        names.push_back(latest.name);
        times.push_back(latest.time);
    }
    // Each server's latest sample before the batch, then its row (made if
    // new). Both are found by the key in the client: a join of the written
    // rows back to the batch's in the statement is planned from a guessed
    // row count, and a loop over both took most of a round.
    auto before = m_connection.query("SELECT s.address, s.query_port, s.latest FROM servers s "
                                     "JOIN unnest($1::text[], $2::integer[]) AS x(address, port) "
                                     "ON s.address = x.address AND s.query_port = x.port",
                                     recording, postgres::Parameters().addArray(addresses).addArray(ports));
    if (!before)
        return before.fault();
    auto written = m_connection.query(
        "INSERT INTO servers(address, query_port, name, latest) "
        "SELECT address, port, nullif(name, ''), t FROM unnest($1::text[], $2::integer[], $3::text[], $4::bigint[]) AS x(address, port, name, t) "
        "ON CONFLICT(address, query_port) DO UPDATE SET name = coalesce(excluded.name, servers.name), "
        "latest = greatest(servers.latest, excluded.latest) RETURNING id, address, query_port",
        recording, postgres::Parameters().addArray(addresses).addArray(ports).addArray(names).addArray(times));
    if (!written)
        return written.fault();
    const auto keyOf = [](const postgres::Result &rows, int row, int column) {
        return ServerKey{rows.text(row, column), static_cast<std::uint16_t>(rows.integer(row, column + 1))};
    };
    std::map<ServerKey, KnownServer> known;
    for (int row = 0; row < written->rows(); ++row)
        known[keyOf(*written, row, 1)].id = written->integer(row, 0);
    for (int row = 0; row < before->rows(); ++row)
        if (!before->isNull(row, 2))
            known[keyOf(*before, row, 0)].latest = before->integer(row, 2);
    return known;
}

Expected<Done> PostgresStore::writeSamples(std::span<const Sample> samples, const std::map<ServerKey, KnownServer> &servers)
{
    // The latest of a server's samples in one second counts.
    std::map<std::pair<std::int64_t, std::int64_t>, const Sample *> rows;
    for (const Sample &sample : samples)
        rows[{servers.at(sample.server).id, seconds(sample.time)}] = &sample;
    std::vector<std::int64_t> ids, times, players, bots;
    std::vector<std::string> maps;
    for (const auto &[key, sample] : rows) {
        ids.push_back(key.first);
        times.push_back(key.second);
        players.push_back(std::clamp(sample->players, 0, maxCount));
        bots.push_back(std::clamp(sample->bots, 0, maxCount));
        maps.push_back(std::string(bounded(sample->map)));
    }
    return m_connection.exec(
        "INSERT INTO samples(server_id, t, players, bots, map_id) "
        "SELECT x.server_id, x.t, x.players, x.bots, m.id "
        "FROM unnest($1::bigint[], $2::bigint[], $3::integer[], $4::integer[], $5::text[]) AS x(server_id, t, players, bots, map) "
        "LEFT JOIN maps m ON m.name = x.map "
        "ON CONFLICT(server_id, t) DO UPDATE SET players = excluded.players, bots = excluded.bots, map_id = excluded.map_id",
        recording, postgres::Parameters().addArray(ids).addArray(times).addArray(players).addArray(bots).addArray(maps));
}

Expected<Done> PostgresStore::writeSessions(std::span<const Sample *const> pass, std::map<ServerKey, KnownServer> &servers)
{
    // The servers' open sessions as they are before the pass, from which
    // each sample's plan says what it does to them.
    std::vector<std::int64_t> ids;
    for (const Sample *sample : pass)
        ids.push_back(servers.at(sample->server).id);
    auto rows = m_connection.query("SELECT server_id, name_id FROM open_sessions WHERE server_id = ANY($1::bigint[])",
                                   recording, postgres::Parameters().addArray(ids));
    if (!rows)
        return rows.fault();
    std::vector<std::int64_t> unknown;
    for (int row = 0; row < rows->rows(); ++row)
        if (!m_names.contains(rows->integer(row, 1)))
            unknown.push_back(rows->integer(row, 1));
    if (!unknown.empty()) {
        auto names = m_connection.query("SELECT id, name FROM names WHERE id = ANY($1::bigint[])", recording,
                                        postgres::Parameters().addArray(unknown));
        if (!names)
            return names.fault();
        for (int row = 0; row < names->rows(); ++row)
            m_names.emplace(names->integer(row, 0), names->text(row, 1));
    }
    std::map<std::int64_t, std::map<std::string_view, std::int64_t>> openOf; // server: name: its key
    for (int row = 0; row < rows->rows(); ++row)
        if (auto name = m_names.find(rows->integer(row, 1)); name != m_names.end())
            openOf[rows->integer(row, 0)].emplace(name->second, name->first);

    std::set<std::string, std::less<>> newNames;
    std::vector<std::int64_t> endedServers, endedNames, endedAt;
    std::vector<std::int64_t> seenServers, seenTimes, seenFrom, lateServers, lateTimes, lateFrom;
    std::vector<std::string> seenNames, lateNames;
    for (const Sample *sample : pass) {
        KnownServer &server = servers.at(sample->server);
        const auto &open = openOf[server.id];
        std::vector<std::string_view> openNames;
        for (const auto &[name, nameId] : open)
            openNames.push_back(name);
        const SessionPlan plan = planSessions(sessionRule(), server.latest ? std::optional(at(*server.latest)) : std::nullopt,
                                              openNames, sample->time, sample->names);
        for (const std::string_view name : plan.end) {
            endedServers.push_back(server.id);
            endedNames.push_back(open.at(name));
            endedAt.push_back(seconds(plan.endAt));
        }
        const auto add = [&](std::span<const std::string_view> planned, std::vector<std::int64_t> &serverColumn,
                             std::vector<std::string> &nameColumn, std::vector<std::int64_t> &timeColumn,
                             std::vector<std::int64_t> &fromColumn) {
            for (const std::string_view name : planned) {
                newNames.emplace(name);
                serverColumn.push_back(server.id);
                nameColumn.emplace_back(name);
                timeColumn.push_back(seconds(sample->time));
                fromColumn.push_back(seconds(plan.resumeFrom));
            }
        };
        add(plan.start, seenServers, seenNames, seenTimes, seenFrom);
        add(plan.late, lateServers, lateNames, lateTimes, lateFrom);
        server.latest = std::max(server.latest.value_or(seconds(sample->time)), seconds(sample->time));
    }

    if (!newNames.empty()) {
        const std::vector<std::string> names(newNames.begin(), newNames.end());
        std::vector<std::string> folded;
        for (const std::string &name : names)
            folded.push_back(foldCase(name));
        if (auto done = m_connection.exec("INSERT INTO names(name, folded) SELECT * FROM unnest($1::text[], $2::text[]) "
                                         "ON CONFLICT(name) DO NOTHING",
                                         recording, postgres::Parameters().addArray(names).addArray(folded)); !done.ok())
            return done;
    }
    if (!endedServers.empty())
        if (auto done = m_connection.exec(
                "WITH ended AS (DELETE FROM open_sessions o USING unnest($1::bigint[], $2::bigint[], $3::bigint[]) AS e(server_id, name_id, t) "
                "WHERE o.server_id = e.server_id AND o.name_id = e.name_id RETURNING o.server_id, o.name_id, o.first_seen, e.t) "
                "INSERT INTO sessions(server_id, name_id, first_seen, last_seen) SELECT * FROM ended",
                recording, postgres::Parameters().addArray(endedServers).addArray(endedNames).addArray(endedAt)); !done.ok())
            return done;
    // A name back soon enough after leaving goes on with its session: the
    // latest one that ended at the plan's time or later. Each name's key is
    // looked up by itself: a join would hash every name for the round's few.
    // `then` works on those latest sessions.
    const auto withLatestSessions = [&](const std::vector<std::int64_t> &servers, const std::vector<std::string> &names,
                                        const std::vector<std::int64_t> &times, const std::vector<std::int64_t> &from,
                                        const std::string &then) -> Expected<Done> {
        if (servers.empty())
            return Done{};
        static constexpr std::string_view latest =
            "WITH x AS (SELECT x.server_id, (SELECT id FROM names WHERE name = x.name) AS name_id, x.t, x.from_t "
            "FROM unnest($1::bigint[], $2::text[], $3::bigint[], $4::bigint[]) AS x(server_id, name, t, from_t)), "
            "latest AS (SELECT x.*, s.first_seen, s.last_seen FROM x LEFT JOIN LATERAL (SELECT first_seen, last_seen FROM sessions "
            "WHERE server_id = x.server_id AND last_seen >= x.from_t AND name_id = x.name_id ORDER BY first_seen DESC LIMIT 1) s ON true) ";
        return m_connection.exec((std::string(latest) + then).c_str(), recording,
                                 postgres::Parameters().addArray(servers).addArray(names).addArray(times).addArray(from));
    };
    // A session is found by its server and end, of which there are few.
    const std::string itsSession =
        "s.server_id = l.server_id AND s.last_seen = l.last_seen AND s.name_id = l.name_id AND s.first_seen = l.first_seen";
    if (auto done = withLatestSessions(
            seenServers, seenNames, seenTimes, seenFrom,
            ", back AS (DELETE FROM sessions s USING latest l WHERE " + itsSession + ") "
            "INSERT INTO open_sessions(server_id, name_id, first_seen) SELECT server_id, name_id, coalesce(first_seen, t) FROM latest "
            "ON CONFLICT(server_id, name_id) DO UPDATE SET first_seen = least(open_sessions.first_seen, excluded.first_seen)");
        !done.ok())
        return done;
    // A late answer's names go on with their session that ended within the
    // gap, or make one of their own.
    return withLatestSessions(
        lateServers, lateNames, lateTimes, lateFrom,
        ", extended AS (UPDATE sessions s SET last_seen = greatest(s.last_seen, l.t) FROM latest l WHERE " + itsSession
            + " RETURNING s.server_id, s.name_id) "
              "INSERT INTO sessions(server_id, name_id, first_seen, last_seen) SELECT server_id, name_id, t, t FROM latest l "
              "WHERE NOT EXISTS (SELECT 1 FROM extended e WHERE e.server_id = l.server_id AND e.name_id = l.name_id)");
}

Expected<Done> PostgresStore::noteLookup(const ServerKey &server, const AskedAs &asked, Seconds time)
{
    if (auto done = connected(); !done.ok())
        return done;
    // The latest lookup names the server; one noted out of order does not.
    return m_connection.exec(
        "INSERT INTO servers(address, query_port, last_lookup, asked_address, asked_port, web_port) "
        "VALUES($1, $2, $3, nullif($4, ''), $5, $6) ON CONFLICT(address, query_port) DO UPDATE SET "
        "last_lookup = excluded.last_lookup, asked_address = excluded.asked_address, "
        "asked_port = excluded.asked_port, web_port = excluded.web_port "
        "WHERE coalesce(servers.last_lookup, 0) <= excluded.last_lookup",
        recording,
        postgres::Parameters()
            .add(server.address)
            .add(std::int64_t{server.queryPort})
            .add(seconds(time))
            .add(bounded(asked.address))
            .add(std::int64_t{asked.queryPort})
            .add(std::int64_t{asked.webPort}));
}

Expected<Series> PostgresStore::series(const ServerKey &server, Seconds now, std::chrono::seconds span, std::chrono::seconds step)
{
    auto one = seriesOf(std::span(&server, 1), now, span, step);
    if (!one)
        return one.fault();
    return std::move(one->front());
}

Expected<std::vector<Series>> PostgresStore::seriesOf(std::span<const ServerKey> servers, Seconds now, std::chrono::seconds span,
                                                      std::chrono::seconds step)
{
    std::vector<Series> all(servers.size(), emptySeries(now, span, step));
    if (servers.empty())
        return all;
    std::vector<std::string> addresses;
    std::vector<std::int64_t> ports;
    for (const ServerKey &server : servers) {
        addresses.push_back(server.address);
        ports.push_back(server.queryPort);
    }
    // The times are the statement's own, so that it is planned for the one
    // or two days' partitions that hold them.
    auto rows = read("SELECT k.i, x.t, x.players, x.bots FROM unnest($1::text[], $2::bigint[]) WITH ORDINALITY AS k(address, query_port, i) "
                     "JOIN servers s ON s.address = k.address AND s.query_port = k.query_port "
                     "JOIN samples x ON x.server_id = s.id WHERE x.t >= $3 AND x.t < $4 ORDER BY k.i, x.t",
                     postgres::Parameters()
                         .addArray(addresses)
                         .addArray(ports)
                         .add(seconds(all.front().start))
                         .add(seconds(all.front().end())));
    if (!rows)
        return rows.fault();
    for (int row = 0; row < rows->rows(); ++row)
        putInStep(all[static_cast<std::size_t>(rows->integer(row, 0) - 1)], rows->integer(row, 1),
                  Count{storedCount(rows->integer(row, 2)), storedCount(rows->integer(row, 3))});
    return all;
}

Expected<HourlyAverages> PostgresStore::hourlyAverages(const ServerKey &server, Seconds since, Seconds until,
                                                       std::chrono::seconds utcOffset)
{
    auto rows = read("SELECT ((t + $5::bigint) % 86400 + 86400) % 86400 / 3600 AS hour, avg(least(greatest(players, 0), $6)) "
                     "FROM samples "
                     "WHERE server_id = (SELECT id FROM servers WHERE address = $1 AND query_port = $2) "
                     "AND t >= $3 AND t < $4 GROUP BY hour",
                     postgres::Parameters()
                         .add(server.address)
                         .add(std::int64_t{server.queryPort})
                         .add(seconds(since))
                         .add(seconds(until))
                         .add(std::int64_t{utcOffset.count()})
                         .add(std::int64_t{maxCount}));
    if (!rows)
        return rows.fault();
    HourlyAverages averages;
    for (int row = 0; row < rows->rows(); ++row)
        averages[static_cast<std::size_t>(rows->integer(row, 0))] = rows->real(row, 1);
    return averages;
}

Expected<std::vector<ServerKey>> PostgresStore::serversLookedUpSince(Seconds since)
{
    auto rows = read("SELECT address, query_port FROM servers WHERE last_lookup >= $1 ORDER BY last_lookup DESC",
                     postgres::Parameters().add(seconds(since)));
    if (!rows)
        return rows.fault();
    std::vector<ServerKey> servers;
    for (int row = 0; row < rows->rows(); ++row)
        servers.push_back({rows->text(row, 0), static_cast<std::uint16_t>(rows->integer(row, 1))});
    return servers;
}

Expected<std::vector<RecentServer>> PostgresStore::recentServers(Seconds since, std::size_t limit)
{
    auto rows = read(
        "SELECT s.address, s.query_port, s.last_lookup, x.t, x.players, x.bots, coalesce(m.name, ''), coalesce(s.name, ''), "
        "s.asked_address, s.asked_port, s.web_port FROM servers s "
        // The latest sample by its time, kept with the server: in one day's
        // partition, where "the newest" would look in every day's.
        "LEFT JOIN samples x ON x.server_id = s.id AND x.t = s.latest "
        "LEFT JOIN maps m ON m.id = x.map_id "
        "WHERE s.last_lookup >= $1 ORDER BY s.last_lookup DESC LIMIT $2",
        postgres::Parameters().add(seconds(since)).add(static_cast<std::int64_t>(std::min<std::size_t>(limit, INT64_MAX))));
    if (!rows)
        return rows.fault();
    std::vector<RecentServer> servers;
    for (int row = 0; row < rows->rows(); ++row) {
        RecentServer recent{{rows->text(row, 0), static_cast<std::uint16_t>(rows->integer(row, 1))}, std::nullopt,
                            at(rows->integer(row, 2)), std::nullopt};
        if (!rows->isNull(row, 8))
            recent.asked = AskedAs{rows->text(row, 8), static_cast<std::uint16_t>(rows->integer(row, 9)),
                                   static_cast<std::uint16_t>(rows->integer(row, 10))};
        if (!rows->isNull(row, 3))
            recent.latest = Sample{recent.server, at(rows->integer(row, 3)), storedCount(rows->integer(row, 4)),
                                   storedCount(rows->integer(row, 5)), rows->text(row, 6), rows->text(row, 7)};
        servers.push_back(std::move(recent));
    }
    return servers;
}

Expected<std::vector<SeenPlayer>> PostgresStore::playersSeen(const ServerKey &server, Seconds since, Seconds onlineSince)
{
    auto rows = read(
        // Each session's name by its key, in a subquery the planner keeps:
        // a join would have it hash the whole names table for a few hundred
        // sessions. The sessions going on end with the server's latest sample.
        "WITH server AS MATERIALIZED (SELECT id, latest FROM servers WHERE address = $1 AND query_port = $2) "
        "SELECT s.name, s.first_seen, s.last_seen, (SELECT latest FROM server) FROM ("
        "SELECT first_seen, last_seen, (SELECT name FROM names WHERE id = name_id) AS name FROM sessions "
        "WHERE server_id = (SELECT id FROM server) AND last_seen >= $3 "
        "UNION ALL SELECT first_seen, (SELECT latest FROM server), (SELECT name FROM names WHERE id = name_id) FROM open_sessions "
        "WHERE server_id = (SELECT id FROM server) AND (SELECT latest FROM server) >= $3) s "
        "ORDER BY s.last_seen DESC, s.first_seen DESC, s.name COLLATE \"C\"",
        postgres::Parameters().add(server.address).add(std::int64_t{server.queryPort}).add(seconds(since)));
    if (!rows)
        return rows.fault();
    SeenRows players(onlineSince);
    for (int row = 0; row < rows->rows(); ++row)
        players.add(rows->text(row, 0), rows->integer(row, 1), rows->integer(row, 2), rows->integer(row, 3));
    return players.take();
}

}
