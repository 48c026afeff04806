#include "history/sqlitepages.h"

#include "history/backend.h"

#include <algorithm>

namespace history {

using namespace backend;

Expected<Series> SqlitePages::series(const ServerKey &server, Seconds now, std::chrono::seconds span, std::chrono::seconds step)
{
    const auto prepared = m_connection.prepare(reading, {
        {m_series, "SELECT t, players, bots FROM samples "
                   "WHERE server_id = (SELECT id FROM servers WHERE address = ?1 AND query_port = ?2) "
                   "AND t >= ?3 AND t < ?4 ORDER BY t"},
    });
    if (!prepared.ok())
        return prepared.fault();
    Series series = emptySeries(now, span, step);
    m_series.bind(1, server.address).bind(2, std::int64_t{server.queryPort}).bind(3, seconds(series.start)).bind(4, seconds(series.end()));
    auto done = m_connection.eachRow(m_series, reading, [&series](const sqlite::Statement &row) {
        putInStep(series, row.integer(0), Count{storedCount(row.integer(1)), storedCount(row.integer(2))});
    });
    if (!done.ok())
        return done.fault();
    return series;
}

Expected<HourlyAverages> SqlitePages::hourlyAverages(const ServerKey &server, Seconds since, Seconds until,
                                               std::chrono::seconds utcOffset)
{
    const auto prepared = m_connection.prepare(reading, {
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

Expected<std::vector<ServerKey>> SqlitePages::serversLookedUpSince(Seconds since)
{
    const auto prepared = m_connection.prepare(reading, {
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

Expected<std::vector<RecentServer>> SqlitePages::recentServers(Seconds since, std::size_t limit)
{
    const auto prepared = m_connection.prepare(reading, {
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

Expected<std::vector<SeenPlayer>> SqlitePages::playersSeen(const ServerKey &server, Seconds since, Seconds onlineSince)
{
    const auto prepared = m_connection.prepare(reading, {
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
    SeenRows players(onlineSince);
    auto done = m_connection.eachRow(m_playersSeen, reading, [&players](const sqlite::Statement &row) {
        players.add(row.text(0), row.integer(1), row.integer(2), row.integer(3));
    });
    if (!done.ok())
        return done.fault();
    return players.take();
}

}
