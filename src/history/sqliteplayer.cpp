#include "history/backend.h"
#include "history/casefold.h"
#include "history/sqlitepages.h"

namespace history {

using namespace backend;

Expected<std::vector<NamedSession>> SqlitePages::sessionsOf(std::string_view name, Seconds since, Seconds onlineSince,
                                                           std::size_t limit)
{
    // The spellings of the name first, then their sessions through the
    // indexes by name of both tables. A session going on ends with its
    // server's latest sample.
    auto query = m_connection.prepare(
        "WITH n AS MATERIALIZED (SELECT id, name FROM names WHERE folded = ?1), "
        "s AS (SELECT n.name, x.server_id, x.first_seen, x.last_seen, 0 AS going FROM n JOIN sessions x "
        "ON x.name_id = n.id AND x.last_seen >= ?2 "
        "UNION ALL SELECT n.name, c.server_id, c.first_seen, coalesce(c.last_seen, v.latest), c.last_seen IS NULL "
        "FROM n JOIN current_sessions c ON c.name_id = n.id JOIN servers v ON v.id = c.server_id "
        "WHERE coalesce(c.last_seen, v.latest) >= ?2) "
        "SELECT s.name, v.address, v.query_port, coalesce(v.name, ''), s.first_seen, s.last_seen, s.going, coalesce(v.latest, 0) "
        "FROM s JOIN servers v ON v.id = s.server_id ORDER BY s.last_seen DESC, s.first_seen DESC, v.id LIMIT ?3",
        reading);
    if (!query)
        return query.fault();
    sqlite::Transaction read(m_connection);
    if (auto begun = read.beginRead(reading); !begun.ok())
        return begun.fault();
    std::vector<NamedSession> sessions;
    query->bind(1, foldCase(name)).bind(2, seconds(since)).bind(3, static_cast<std::int64_t>(std::min<std::size_t>(limit, INT64_MAX)));
    auto done = m_connection.eachRow(*query, reading, [&](const sqlite::Statement &row) {
        const bool goingOn = row.integer(6) != 0;
        sessions.push_back({row.text(0), {row.text(1), static_cast<std::uint16_t>(row.integer(2))}, row.text(3),
                            at(row.integer(4)), at(row.integer(5)), goingOn, goingOn && at(row.integer(7)) >= onlineSince});
    });
    if (!done.ok())
        return done.fault();
    return sessions;
}

}
