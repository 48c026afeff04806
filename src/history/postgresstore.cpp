#include "history/postgresstore.h"

#include "history/backend.h"
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
    if (auto failed = postgres::schema::prepare(*connection))
        return *failed;
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

std::optional<Fault> PostgresStore::connected()
{
    if (!m_connection.broken())
        return std::nullopt;
    if (!m_lost)
        m_lost = Fault{FaultKind::cannotOpen, "Cannot use the history database " + m_connection.printableUri()
                                                  + ": the connection to it is lost; connecting again"};
    else if (std::chrono::steady_clock::now() < m_retryAt)
        return m_lost;
    auto opened = postgres::Connection::open(m_uri);
    std::optional<Fault> failed = opened ? postgres::schema::prepare(*opened) : opened.fault();
    if (failed) {
        m_lost = failed;
        m_retryAt = std::chrono::steady_clock::now() + m_backoff.failed();
        return failed;
    }
    m_connection = std::move(*opened);
    m_backoff.succeeded();
    m_lost.reset();
    return std::nullopt;
}

std::optional<Fault> PostgresStore::record(std::span<const Sample> samples)
{
    if (samples.empty())
        return std::nullopt;
    if (auto failed = connected())
        return failed;
    postgres::Transaction transaction(m_connection);
    if (auto failed = transaction.begin(recording))
        return failed;
    if (auto failed = writeSamples(samples))
        return failed;
    if (auto failed = writeSessions(samples))
        return failed;
    return transaction.commit(recording);
}

std::optional<Fault> PostgresStore::writeSamples(std::span<const Sample> samples)
{
    // A batch is a few statements whatever its size, each taking its rows
    // as arrays: a round trip per statement, not per sample. Servers and
    // names go in sorted, so that two instances writing at once lock rows in
    // the same order.
    std::map<std::string, std::int64_t> maps; // name: latest time
    std::map<ServerKey, std::string> servers;  // their latest own names
    std::map<std::pair<ServerKey, std::int64_t>, const Sample *> rows;
    for (const Sample &sample : samples) {
        if (!sample.map.empty()) {
            auto &latest = maps[std::string(bounded(sample.map))];
            latest = std::max(latest, seconds(sample.time));
        }
        auto &name = servers[sample.server];
        if (!sample.serverName.empty())
            name = bounded(sample.serverName);
        rows[{sample.server, seconds(sample.time)}] = &sample;
    }

    std::vector<std::string> texts;
    std::vector<std::int64_t> numbers;
    postgres::Parameters mapValues;
    for (const auto &[name, time] : maps) {
        texts.push_back(name);
        numbers.push_back(time);
    }
    mapValues.addArray(texts).addArray(numbers);
    if (auto failed = m_connection.exec("INSERT INTO maps(name, last_seen) SELECT * FROM unnest($1::text[], $2::bigint[]) "
                                       "ON CONFLICT(name) DO UPDATE SET last_seen = greatest(maps.last_seen, excluded.last_seen)",
                                       recording, mapValues))
        return failed;

    std::vector<std::string> addresses, names;
    std::vector<std::int64_t> ports;
    for (const auto &[server, name] : servers) {
        addresses.push_back(server.address);
        ports.push_back(server.queryPort);
        names.push_back(name);
    }
    if (auto failed = m_connection.exec(
            "INSERT INTO servers(address, query_port, name) SELECT a, p, nullif(n, '') "
            "FROM unnest($1::text[], $2::integer[], $3::text[]) AS x(a, p, n) "
            "ON CONFLICT(address, query_port) DO UPDATE SET name = excluded.name "
            "WHERE excluded.name IS NOT NULL AND servers.name IS DISTINCT FROM excluded.name",
            recording, postgres::Parameters().addArray(addresses).addArray(ports).addArray(names)))
        return failed;

    addresses.clear();
    ports.clear();
    names.clear();
    std::vector<std::int64_t> times, players, bots;
    for (const auto &[key, sample] : rows) {
        addresses.push_back(key.first.address);
        ports.push_back(key.first.queryPort);
        times.push_back(key.second);
        players.push_back(std::clamp(sample->players, 0, maxCount));
        bots.push_back(std::clamp(sample->bots, 0, maxCount));
        names.push_back(std::string(bounded(sample->map)));
    }
    return m_connection.exec(
        "INSERT INTO samples(server_id, t, players, bots, map_id) "
        "SELECT s.id, x.t, x.players, x.bots, m.id "
        "FROM unnest($1::text[], $2::integer[], $3::bigint[], $4::integer[], $5::integer[], $6::text[]) "
        "AS x(address, port, t, players, bots, map) "
        "JOIN servers s ON s.address = x.address AND s.query_port = x.port LEFT JOIN maps m ON m.name = x.map "
        "ON CONFLICT(server_id, t) DO UPDATE SET players = excluded.players, bots = excluded.bots, map_id = excluded.map_id",
        recording,
        postgres::Parameters().addArray(addresses).addArray(ports).addArray(times).addArray(players).addArray(bots).addArray(names));
}

std::optional<Fault> PostgresStore::writeSessions(std::span<const Sample> samples)
{
    // One statement continues or starts the sessions of many names at once,
    // so it may hold each name on a server once: a name seen in several
    // samples of the batch goes into as many passes, in time order.
    struct Seen {
        ServerKey server;
        std::string name;
        std::int64_t time;
    };
    std::vector<const Sample *> ordered;
    for (const Sample &sample : samples)
        ordered.push_back(&sample);
    std::stable_sort(ordered.begin(), ordered.end(), [](const Sample *a, const Sample *b) { return a->time < b->time; });
    std::vector<std::vector<Seen>> passes;
    std::map<std::pair<ServerKey, std::string>, std::size_t> timesSeen;
    std::set<std::string> allNames;
    for (const Sample *sample : ordered) {
        // A server may list one name twice (two players, one name): one session.
        std::set<std::string> names;
        for (const std::string &name : sample->names)
            if (!name.empty())
                names.insert(std::string(bounded(name)));
        for (const std::string &name : names) {
            const std::size_t pass = timesSeen[{sample->server, name}]++;
            if (pass == passes.size())
                passes.emplace_back();
            passes[pass].push_back({sample->server, name, seconds(sample->time)});
            allNames.insert(name);
        }
    }
    if (allNames.empty())
        return std::nullopt;

    std::vector<std::string> names(allNames.begin(), allNames.end()), folded;
    for (const std::string &name : names)
        folded.push_back(foldCase(name));
    if (auto failed = m_connection.exec("INSERT INTO names(name, folded) SELECT * FROM unnest($1::text[], $2::text[]) "
                                       "ON CONFLICT(name) DO NOTHING",
                                       recording, postgres::Parameters().addArray(names).addArray(folded)))
        return failed;

    // The name's latest session on the server goes on when it was seen
    // recently enough; otherwise a new one starts.
    for (const auto &pass : passes) {
        std::vector<std::string> addresses, passNames;
        std::vector<std::int64_t> ports, times;
        for (const Seen &seen : pass) {
            addresses.push_back(seen.server.address);
            ports.push_back(seen.server.queryPort);
            passNames.push_back(seen.name);
            times.push_back(seen.time);
        }
        if (auto failed = m_connection.exec(
                "WITH x AS (SELECT s.id AS server_id, n.id AS name_id, x.t "
                "  FROM unnest($1::text[], $2::integer[], $3::text[], $4::bigint[]) AS x(address, port, name, t) "
                "  JOIN servers s ON s.address = x.address AND s.query_port = x.port JOIN names n ON n.name = x.name), "
                "latest AS (SELECT x.*, (SELECT max(first_seen) FROM sessions "
                "  WHERE server_id = x.server_id AND name_id = x.name_id) AS first_seen FROM x), "
                "continued AS (UPDATE sessions s SET last_seen = greatest(s.last_seen, l.t) FROM latest l "
                "  WHERE s.server_id = l.server_id AND s.name_id = l.name_id AND s.first_seen = l.first_seen "
                "  AND s.last_seen >= l.t - $5 RETURNING s.server_id, s.name_id) "
                "INSERT INTO sessions(server_id, name_id, first_seen, last_seen) SELECT server_id, name_id, t, t FROM latest l "
                "WHERE NOT EXISTS (SELECT 1 FROM continued c WHERE c.server_id = l.server_id AND c.name_id = l.name_id) "
                "ON CONFLICT DO NOTHING",
                recording,
                postgres::Parameters()
                    .addArray(addresses)
                    .addArray(ports)
                    .addArray(passNames)
                    .addArray(times)
                    .add(std::int64_t{sessionRule().gap().count()})))
            return failed;
    }
    return std::nullopt;
}

std::optional<Fault> PostgresStore::noteLookup(const ServerKey &server, const AskedAs &asked, Seconds time)
{
    if (auto failed = connected())
        return failed;
    // The latest lookup names the server; one noted out of order does not.
    return m_connection.exec(
        "INSERT INTO servers(address, query_port, last_lookup, asked_address, asked_port, web_port) "
        "VALUES($1, $2, $3, nullif($4, ''), $5, $6) ON CONFLICT(address, query_port) DO UPDATE SET "
        "last_lookup = greatest(coalesce(servers.last_lookup, 0), excluded.last_lookup), "
        "asked_address = CASE WHEN coalesce(servers.last_lookup, 0) <= excluded.last_lookup "
        "THEN excluded.asked_address ELSE servers.asked_address END, "
        "asked_port = CASE WHEN coalesce(servers.last_lookup, 0) <= excluded.last_lookup "
        "THEN excluded.asked_port ELSE servers.asked_port END, "
        "web_port = CASE WHEN coalesce(servers.last_lookup, 0) <= excluded.last_lookup "
        "THEN excluded.web_port ELSE servers.web_port END",
        recording,
        postgres::Parameters()
            .add(server.address)
            .add(std::int64_t{server.queryPort})
            .add(seconds(time))
            .add(bounded(asked.address))
            .add(std::int64_t{asked.queryPort})
            .add(std::int64_t{asked.webPort}));
}

std::optional<Fault> PostgresStore::prune(Seconds before)
{
    if (auto failed = connected())
        return failed;
    // The samples and sessions go server by server, each a range of an index.
    static constexpr const char *steps[] = {
        "DELETE FROM samples WHERE server_id IN (SELECT id FROM servers) AND t < $1",
        "DELETE FROM sessions WHERE server_id IN (SELECT id FROM servers) AND last_seen < $1",
        "DELETE FROM servers WHERE coalesce(last_lookup, 0) < $1 "
        "AND NOT EXISTS (SELECT 1 FROM samples WHERE server_id = servers.id)",
        // A map's last sample is no later than its last_seen.
        "DELETE FROM maps WHERE last_seen < $1",
    };
    postgres::Transaction transaction(m_connection);
    if (auto failed = transaction.begin(pruning))
        return failed;
    for (const char *sql : steps)
        if (auto failed = m_connection.exec(sql, pruning, postgres::Parameters().add(seconds(before))))
            return failed;
    if (auto failed = m_connection.exec("DELETE FROM names WHERE NOT EXISTS (SELECT 1 FROM sessions WHERE name_id = names.id)", pruning))
        return failed;
    return transaction.commit(pruning);
}

Expected<Series> PostgresStore::series(const ServerKey &server, Seconds now, std::chrono::seconds span, std::chrono::seconds step)
{
    if (auto failed = connected())
        return *failed;
    const auto stepCount = std::max<std::int64_t>(1, span / step);
    const Seconds end = Seconds(std::chrono::floor<std::chrono::seconds>(now.time_since_epoch()) / step * step) + step;
    Series series{end - step * stepCount, step, std::vector<std::optional<Count>>(static_cast<std::size_t>(stepCount))};
    auto rows = m_connection.query("SELECT t, players, bots FROM samples "
                                  "WHERE server_id = (SELECT id FROM servers WHERE address = $1 AND query_port = $2) "
                                  "AND t >= $3 AND t < $4 ORDER BY t",
                                  reading,
                                  postgres::Parameters()
                                      .add(server.address)
                                      .add(std::int64_t{server.queryPort})
                                      .add(seconds(series.start))
                                      .add(seconds(end)));
    if (!rows)
        return rows.fault();
    for (int row = 0; row < rows->rows(); ++row) {
        const auto index = static_cast<std::size_t>((rows->integer(row, 0) - seconds(series.start)) / step.count());
        series.steps[index] = Count{storedCount(rows->integer(row, 1)), storedCount(rows->integer(row, 2))};
    }
    return series;
}

Expected<HourlyAverages> PostgresStore::hourlyAverages(const ServerKey &server, Seconds since, Seconds until,
                                                       std::chrono::seconds utcOffset)
{
    if (auto failed = connected())
        return *failed;
    auto rows = m_connection.query("SELECT ((t + $5::bigint) % 86400 + 86400) % 86400 / 3600 AS hour, avg(least(greatest(players, 0), $6)) "
                                  "FROM samples "
                                  "WHERE server_id = (SELECT id FROM servers WHERE address = $1 AND query_port = $2) "
                                  "AND t >= $3 AND t < $4 GROUP BY hour",
                                  reading,
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
    if (auto failed = connected())
        return *failed;
    auto rows = m_connection.query("SELECT address, query_port FROM servers WHERE last_lookup >= $1 ORDER BY last_lookup DESC",
                                  reading, postgres::Parameters().add(seconds(since)));
    if (!rows)
        return rows.fault();
    std::vector<ServerKey> servers;
    for (int row = 0; row < rows->rows(); ++row)
        servers.push_back({rows->text(row, 0), static_cast<std::uint16_t>(rows->integer(row, 1))});
    return servers;
}

Expected<std::vector<RecentServer>> PostgresStore::recentServers(Seconds since, std::size_t limit)
{
    if (auto failed = connected())
        return *failed;
    auto rows = m_connection.query(
        "SELECT s.address, s.query_port, s.last_lookup, x.t, x.players, x.bots, coalesce(m.name, ''), coalesce(s.name, ''), "
        "s.asked_address, s.asked_port, s.web_port FROM servers s "
        "LEFT JOIN LATERAL (SELECT t, players, bots, map_id FROM samples WHERE server_id = s.id ORDER BY t DESC LIMIT 1) x ON true "
        "LEFT JOIN maps m ON m.id = x.map_id "
        "WHERE s.last_lookup >= $1 ORDER BY s.last_lookup DESC LIMIT $2",
        reading, postgres::Parameters().add(seconds(since)).add(static_cast<std::int64_t>(std::min<std::size_t>(limit, INT64_MAX))));
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
    if (auto failed = connected())
        return *failed;
    auto rows = m_connection.query(
        // Each session's name by its key, in a subquery the planner keeps:
        // a join would have it hash the whole names table for a few hundred
        // sessions.
        "SELECT s.name, s.first_seen, s.last_seen, "
        "(SELECT max(t) FROM samples WHERE server_id = (SELECT id FROM servers WHERE address = $1 AND query_port = $2)) "
        "FROM (SELECT server_id, first_seen, last_seen, (SELECT name FROM names WHERE id = name_id) AS name FROM sessions "
        "WHERE server_id = (SELECT id FROM servers WHERE address = $1 AND query_port = $2) AND last_seen >= $3) s "
        "ORDER BY s.last_seen DESC, s.first_seen DESC, s.name COLLATE \"C\"",
        reading, postgres::Parameters().add(server.address).add(std::int64_t{server.queryPort}).add(seconds(since)));
    if (!rows)
        return rows.fault();
    std::vector<SeenPlayer> players;
    std::map<std::string, std::size_t, std::less<>> indexOf;
    for (int row = 0; row < rows->rows(); ++row) {
        const PlayerSession session{at(rows->integer(row, 1)), at(rows->integer(row, 2))};
        auto [found, added] = indexOf.try_emplace(rows->text(row, 0), players.size());
        if (added) {
            const std::int64_t latest = rows->integer(row, 3);
            players.push_back({found->first, rows->integer(row, 2) == latest && at(latest) >= onlineSince, {}});
        }
        players[found->second].sessions.push_back(session);
    }
    return players;
}

Expected<std::vector<PlayerMatch>> PostgresStore::searchPlayers(std::string_view text, Seconds since, Seconds onlineSince,
                                                                std::size_t limit)
{
    if (auto failed = connected())
        return *failed;
    // strpos() compares text: no character of the search is a wildcard.
    // Each matching name gives a row with its latest time, so the latest
    // rows all come from the `limit` names seen latest: only their sessions
    // are read, each name's through the index by name, rather than every
    // session since `since`; and with `limit` such names, as many rows are
    // at least as late as the last of them, so older sessions are not read.
    auto rows = m_connection.query(
        "WITH matched AS MATERIALIZED (SELECT id, name, (SELECT max(last_seen) FROM sessions WHERE name_id = names.id) AS newest "
        "FROM names WHERE strpos(folded, $1) > 0), "
        "latest AS MATERIALIZED (SELECT id, name, newest FROM matched WHERE newest >= $2 ORDER BY newest DESC, name COLLATE \"C\" LIMIT $3), "
        "floor AS (SELECT CASE WHEN count(*) = $3 THEN min(newest) ELSE $2 END AS t FROM latest), "
        "found AS (SELECT n.name, s.server_id, s.seen FROM latest n CROSS JOIN LATERAL (SELECT server_id, max(last_seen) AS seen "
        "FROM sessions WHERE name_id = n.id AND last_seen >= (SELECT t FROM floor) GROUP BY server_id) s "
        "ORDER BY s.seen DESC, n.name COLLATE \"C\" LIMIT $3) "
        "SELECT f.name, v.address, v.query_port, coalesce(v.name, ''), f.seen, (SELECT max(t) FROM samples WHERE server_id = v.id) "
        "FROM found f JOIN servers v ON v.id = f.server_id ORDER BY f.seen DESC, f.name COLLATE \"C\"",
        reading,
        postgres::Parameters().add(foldCase(text)).add(seconds(since)).add(static_cast<std::int64_t>(std::min<std::size_t>(limit, INT64_MAX))));
    if (!rows)
        return rows.fault();
    std::vector<PlayerMatch> matches;
    for (int row = 0; row < rows->rows(); ++row) {
        const std::int64_t seen = rows->integer(row, 4), latest = rows->integer(row, 5);
        matches.push_back({rows->text(row, 0), seen == latest && at(latest) >= onlineSince, at(seen),
                           {rows->text(row, 1), static_cast<std::uint16_t>(rows->integer(row, 2))}, rows->text(row, 3)});
    }
    return matches;
}

}
