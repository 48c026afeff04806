#include "history/backend.h"
#include "history/casefold.h"
#include "history/postgresstore.h"

namespace history {

using namespace backend;

Expected<std::vector<NamedSession>> PostgresStore::sessionsOf(std::string_view name, Seconds since, Seconds onlineSince,
                                                             std::size_t limit)
{
    // The spellings of the name first, then their sessions through the index
    // by name; the sessions going on end with their server's latest sample.
    auto rows = read(
        "WITH n AS MATERIALIZED (SELECT id, name FROM names WHERE folded = $1), "
        "s AS (SELECT n.name, x.server_id, x.first_seen, x.last_seen, false AS going FROM n JOIN sessions x "
        "ON x.name_id = n.id AND x.last_seen >= $2 "
        "UNION ALL SELECT n.name, o.server_id, o.first_seen, v.latest, true FROM n JOIN open_sessions o ON o.name_id = n.id "
        "JOIN servers v ON v.id = o.server_id WHERE v.latest >= $2) "
        "SELECT s.name, v.address, v.query_port, coalesce(v.name, ''), s.first_seen, s.last_seen, s.going::int, coalesce(v.latest, 0) "
        "FROM s JOIN servers v ON v.id = s.server_id ORDER BY s.last_seen DESC, s.first_seen DESC, v.id LIMIT $3",
        postgres::Parameters().add(foldCase(name)).add(seconds(since)).add(static_cast<std::int64_t>(std::min<std::size_t>(limit, INT64_MAX))));
    if (!rows)
        return rows.fault();
    std::vector<NamedSession> sessions;
    for (int row = 0; row < rows->rows(); ++row) {
        const bool goingOn = rows->integer(row, 6) != 0;
        sessions.push_back({rows->text(row, 0), {rows->text(row, 1), static_cast<std::uint16_t>(rows->integer(row, 2))},
                            rows->text(row, 3), at(rows->integer(row, 4)), at(rows->integer(row, 5)), goingOn,
                            goingOn && at(rows->integer(row, 7)) >= onlineSince});
    }
    return sessions;
}

}
