#include "history/backend.h"
#include "history/casefold.h"
#include "history/postgresstore.h"

#include <algorithm>

namespace history {

using namespace backend;

namespace {

// A LIKE pattern for names holding the text, in which none of its
// characters is a wildcard: the trigram index reads it as it is.
std::string containing(std::string_view text)
{
    std::string pattern = "%";
    for (const char c : text) {
        if (c == '%' || c == '_' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return pattern + '%';
}

}

Expected<std::vector<PlayerMatch>> PostgresStore::searchPlayers(std::string_view text, Seconds since, Seconds onlineSince,
                                                                std::size_t limit)
{
    // The names come from the trigram index of their folded forms. Each
    // matching name gives a row with its latest time, so the latest rows all
    // come from the `limit` names seen latest, ranked by what the name's own
    // row keeps and its sessions going on: only their sessions are read,
    // each name's ended ones through the index by name, rather than every
    // session since `since`; and with `limit` such names, as many rows are
    // at least as late as the last of them, so older sessions are not read.
    // Nor are those before the window ($4 seconds before the newest name,
    // see searchWindows), unless it starts after that floor and holds fewer
    // than `limit` rows, when the statement runs again with the next window
    // (as the file's search does); the days before the floor are
    // left out as the statement runs.
    //
    // With more than eight names per row, most of the list comes from the
    // servers that answered last (`latests`, twelve per row): the names seen
    // after the edge (the last answer of the first four per row) are those
    // in these servers' sessions going on and those whose latest session
    // ended later (`above`), and with `limit` of them they make the list. A
    // poll round's answers come within seconds of each other, though, and a
    // short text may have more names seen in the edge's second than the
    // list holds: the rest of the list are then the first of those by name
    // (`first`). When every server that answered in that second was read
    // (`whole_second`), they are those in its servers' sessions (`at_edge`);
    // otherwise the names are looked at in the order of their texts, eight
    // per row at most. Only when neither gives enough (`enough`), or the
    // names are few, is every name ranked. Each name's sessions going on
    // are looked up on their own: a hash of every session going on (as the
    // planner may choose for a join) costs more than a few thousand names'.
    static constexpr const char *statement =
        "WITH matched AS MATERIALIZED (SELECT id, name, last_ended FROM names WHERE folded LIKE $1), "
        "latests AS MATERIALIZED (SELECT id, latest FROM servers WHERE latest IS NOT NULL ORDER BY latest DESC LIMIT $3 * 12), "
        "edge AS MATERIALIZED (SELECT coalesce(min(latest), 0) AS t FROM (SELECT latest FROM latests ORDER BY latest DESC LIMIT $3 * 4) r), "
        "whole_second AS MATERIALIZED (SELECT count(*) < $3 * 12 OR min(latest) < (SELECT t FROM edge) AS yes FROM latests), "
        "hot AS (SELECT o.name_id, max(v.latest) AS latest FROM latests v JOIN open_sessions o ON o.server_id = v.id "
        "WHERE v.latest > (SELECT t FROM edge) GROUP BY o.name_id), "
        "above AS MATERIALIZED (SELECT m.id, m.name, greatest(m.last_ended, h.latest) AS newest FROM matched m "
        "LEFT JOIN hot h ON h.name_id = m.id WHERE (SELECT count(*) FROM matched) > $3 * 8 "
        "AND (h.name_id IS NOT NULL OR m.last_ended > (SELECT t FROM edge)) AND greatest(m.last_ended, h.latest) >= $2), "
        "at_edge AS MATERIALIZED (SELECT o.name_id FROM latests v JOIN open_sessions o ON o.server_id = v.id "
        "WHERE v.latest = (SELECT t FROM edge) AND (SELECT yes FROM whole_second)), "
        "first AS MATERIALIZED ((SELECT m.id, m.name, (SELECT t FROM edge) AS newest FROM matched m "
        "WHERE (SELECT count(*) FROM matched) > $3 * 8 AND (SELECT yes FROM whole_second) AND (SELECT t FROM edge) >= $2 "
        "AND (SELECT count(*) FROM above) < $3 AND NOT EXISTS (SELECT FROM above a WHERE a.id = m.id) "
        "AND (m.last_ended = (SELECT t FROM edge) OR m.id IN (SELECT name_id FROM at_edge)) "
        "ORDER BY m.name COLLATE \"C\" LIMIT greatest($3 - (SELECT count(*) FROM above), 0)) "
        "UNION ALL (SELECT m.id, m.name, (SELECT t FROM edge) AS newest "
        "FROM (SELECT id, name, last_ended FROM matched ORDER BY name COLLATE \"C\" LIMIT $3 * 8) m "
        "WHERE (SELECT count(*) FROM matched) > $3 * 8 AND NOT (SELECT yes FROM whole_second) AND (SELECT t FROM edge) >= $2 "
        "AND (SELECT count(*) FROM above) < $3 AND NOT EXISTS (SELECT FROM above a WHERE a.id = m.id) "
        "AND greatest(m.last_ended, (SELECT max(v.latest) FROM open_sessions o JOIN servers v ON v.id = o.server_id "
        "WHERE o.name_id = m.id)) = (SELECT t FROM edge) "
        "ORDER BY m.name COLLATE \"C\" LIMIT greatest($3 - (SELECT count(*) FROM above), 0))), "
        "enough AS (SELECT (SELECT count(*) FROM above) + (SELECT count(*) FROM first) >= $3 AS yes), "
        "ranked AS MATERIALIZED (SELECT m.id, m.name, greatest(m.last_ended, (SELECT max(v.latest) FROM open_sessions o "
        "JOIN servers v ON v.id = o.server_id WHERE o.name_id = m.id)) AS newest FROM matched m), "
        "latest AS MATERIALIZED ((SELECT id, name, newest FROM (SELECT id, name, newest FROM above UNION ALL "
        "SELECT id, name, newest FROM first) q WHERE (SELECT yes FROM enough) ORDER BY newest DESC, name COLLATE \"C\" LIMIT $3) "
        "UNION ALL (SELECT id, name, newest FROM ranked WHERE NOT (SELECT yes FROM enough) AND newest >= $2 "
        "ORDER BY newest DESC, name COLLATE \"C\" LIMIT $3)), "
        "bounds AS (SELECT CASE WHEN count(*) = $3 THEN min(newest) ELSE $2 END AS t, max(newest) - nullif($4::bigint, 0) AS w FROM latest), "
        "floor AS (SELECT greatest(t, w) AS t, coalesce(w <= t, true) AS whole FROM bounds), "
        "found AS (SELECT name, server_id, max(seen) AS seen FROM ("
        "SELECT n.id, n.name, s.server_id, s.last_seen AS seen FROM latest n CROSS JOIN LATERAL (SELECT server_id, last_seen FROM sessions "
        "WHERE name_id = n.id AND last_seen >= $2 AND last_seen >= (SELECT t FROM floor)) s "
        "UNION ALL SELECT n.id, n.name, o.server_id, v.latest FROM latest n JOIN open_sessions o ON o.name_id = n.id "
        "JOIN servers v ON v.id = o.server_id WHERE v.latest >= (SELECT t FROM floor)) u "
        "GROUP BY id, name, server_id ORDER BY seen DESC, name COLLATE \"C\" LIMIT $3) "
        "SELECT f.name, v.address, v.query_port, coalesce(v.name, ''), f.seen, v.latest, (SELECT whole FROM floor) "
        "FROM found f JOIN servers v ON v.id = f.server_id ORDER BY f.seen DESC, f.name COLLATE \"C\"";
    const std::int64_t shown = static_cast<std::int64_t>(std::min<std::size_t>(limit, INT64_MAX));
    Expected<postgres::Result> rows = Fault{};
    for (std::size_t window = 0; window <= std::size(searchWindows); ++window) {
        const bool whole = window == std::size(searchWindows);
        rows = read(statement, postgres::Parameters()
                                   .add(containing(foldCase(text)))
                                   .add(seconds(since))
                                   .add(shown)
                                   .add(whole ? std::int64_t{0} : searchWindows[window]));
        // No rows: no name is listed, in any window. A window that starts
        // no later than the floor holds every row a wider one would.
        if (!rows || rows->rows() == 0 || rows->rows() == shown || rows->text(0, 6) == "t")
            break;
    }
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
