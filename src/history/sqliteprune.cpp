#include "history/backend.h"
#include "history/sqlitewriter.h"

namespace history {

using namespace backend;

namespace {

// The servers whose rows one step prunes: each server's are a range of the
// tables' keys, some tens of rows an hour, so a step takes some
// milliseconds whatever the file's size. What a step costs is mostly the
// pages its commit writes, and each session it moves over writes a page of
// the index by name: with 16 full servers a step (some 270 sessions an
// hour) the writer waits some milliseconds, where 50 made it wait tens.
constexpr std::int64_t serversAStep = 16;
// The names one step looks at, each through the sessions' indexes by name.
constexpr std::int64_t namesAStep = 10000;

}

Expected<Done> SqliteWriter::prune(Seconds before)
{
    return pruneWhole([this, before] { return pruneStep(before); });
}

Expected<bool> SqliteWriter::pruneStep(Seconds before)
{
    if (!m_prune || m_prune->before != seconds(before))
        m_prune = PruneProgress{seconds(before)};
    auto whole = pruneSome(*m_prune);
    if (!whole) {
        // Begun again from the start, with what is kept of the file read again.
        m_prune.reset();
        forgetSessions();
        return whole.fault();
    }
    if (*whole)
        m_prune.reset();
    return whole;
}

Expected<bool> SqliteWriter::pruneSome(PruneProgress &progress)
{
    if (progress.serversAfter >= 0) {
        auto last = lastKeyOf("servers", progress.serversAfter, serversAStep);
        if (!last)
            return last.fault();
        if (*last >= 0) {
            if (auto done = pruneServers(progress, *last); !done.ok())
                return done.fault();
            return false;
        }
        progress.serversAfter = -1;
    }
    auto last = lastKeyOf("names", progress.namesAfter, namesAStep);
    if (!last)
        return last.fault();
    if (auto done = pruneUnreferenced(progress, *last); !done.ok())
        return done.fault();
    return *last < 0;
}

Expected<std::int64_t> SqliteWriter::lastKeyOf(const char *table, std::int64_t after, std::int64_t count)
{
    auto last = m_connection.prepare(
        (std::string("SELECT coalesce(max(id), -1) FROM (SELECT id FROM ") + table + " WHERE id > ?1 ORDER BY id LIMIT ?2)").c_str(),
        pruning);
    if (!last)
        return last.fault();
    std::int64_t key = -1;
    if (auto done = m_connection.eachRow(last->bind(1, after).bind(2, count), pruning,
                                         [&key](const sqlite::Statement &row) { key = row.integer(0); });
        !done.ok())
        return done.fault();
    return key;
}

Expected<Done> SqliteWriter::pruneServers(PruneProgress &progress, std::int64_t last)
{
    // The sessions ended since the latest prune go over to the large table.
    // A session going on ends with its server's latest sample, so it goes
    // before the samples do.
    static constexpr const char *steps[] = {
        "INSERT OR IGNORE INTO sessions(server_id, name_id, first_seen, last_seen) "
        "SELECT server_id, name_id, first_seen, last_seen FROM current_sessions "
        "WHERE server_id > ?2 AND server_id <= ?3 AND last_seen >= ?1",
        "UPDATE names SET last_ended = max(last_ended, r.last_seen) FROM (SELECT name_id, max(last_seen) AS last_seen "
        "FROM current_sessions WHERE server_id > ?2 AND server_id <= ?3 AND last_seen IS NOT NULL GROUP BY name_id) AS r "
        "WHERE names.id = r.name_id",
        "DELETE FROM current_sessions WHERE server_id > ?2 AND server_id <= ?3 AND last_seen IS NOT NULL",
        "DELETE FROM current_sessions WHERE server_id IN "
        "(SELECT id FROM servers WHERE id > ?2 AND id <= ?3 AND coalesce(latest, 0) < ?1)",
        "DELETE FROM samples WHERE server_id IN (SELECT id FROM servers WHERE id > ?2 AND id <= ?3) AND t < ?1",
        "UPDATE servers SET latest = NULL WHERE id > ?2 AND id <= ?3 AND latest < ?1",
        "DELETE FROM sessions WHERE server_id IN (SELECT id FROM servers WHERE id > ?2 AND id <= ?3) AND last_seen < ?1",
    };
    sqlite::Transaction transaction(m_connection);
    if (auto done = transaction.begin(pruning); !done.ok())
        return done;
    for (const char *sql : steps) {
        auto step = m_connection.prepare(sql, pruning);
        if (!step)
            return step.fault();
        step->bind(1, progress.before).bind(2, progress.serversAfter).bind(3, last);
        if (auto done = m_connection.eachRow(*step, pruning, [](const sqlite::Statement &) {}); !done.ok())
            return done;
    }
    if (auto done = transaction.commit(pruning); !done.ok())
        return done;
    // The sessions these servers ended since the latest prune are in the
    // large table now.
    for (auto server = m_sessions.begin(); server != m_sessions.end();)
        server = server->first > progress.serversAfter && server->first <= last ? m_sessions.erase(server) : std::next(server);
    progress.serversAfter = last;
    return Done{};
}

Expected<Done> SqliteWriter::pruneUnreferenced(PruneProgress &progress, std::int64_t lastName)
{
    const bool first = progress.namesAfter == 0;
    if (!first && lastName < 0)
        return Done{};
    sqlite::Transaction transaction(m_connection);
    if (auto done = transaction.begin(pruning); !done.ok())
        return done;
    if (first) {
        // A server's samples are no later than its latest, so they are not
        // looked for.
        auto servers = m_connection.prepare("DELETE FROM servers WHERE coalesce(last_lookup, 0) < ?1 AND coalesce(latest, 0) < ?1 "
                                            "RETURNING id, address, query_port",
                                            pruning);
        if (!servers)
            return servers.fault();
        auto done = m_connection.eachRow(servers->bind(1, progress.before), pruning, [this](const sqlite::Statement &dropped) {
            m_sessions.erase(dropped.integer(0));
            m_servers.erase(ServerKey{dropped.text(1), static_cast<std::uint16_t>(dropped.integer(2))});
        });
        if (!done.ok())
            return done;
        // A map's last sample is no later than its last_seen.
        if (auto maps = m_connection.prepare("DELETE FROM maps WHERE last_seen < ?1", pruning); !maps)
            return maps.fault();
        else if (auto dropped = m_connection.eachRow(maps->bind(1, progress.before), pruning, [](const sqlite::Statement &) {});
                 !dropped.ok())
            return dropped;
    }
    if (lastName >= 0) {
        // A name's ended sessions end no later than its last_ended, so only
        // the names that ended before the time are looked for, each in the
        // sessions' indexes by name (NOT IN would gather every session going
        // on first, some hundred and fifty thousand at ten thousand servers).
        // The names' numbers stay known but for the names dropped: the
        // rounds after a prune would otherwise look up every name that comes
        // on again.
        auto names = m_connection.prepare("DELETE FROM names WHERE id > ?2 AND id <= ?3 AND last_ended < ?1 "
                                          "AND NOT EXISTS (SELECT 1 FROM sessions WHERE name_id = names.id) "
                                          "AND NOT EXISTS (SELECT 1 FROM current_sessions WHERE name_id = names.id) RETURNING name",
                                          pruning);
        if (!names)
            return names.fault();
        if (auto done = m_connection.eachRow(names->bind(1, progress.before).bind(2, progress.namesAfter).bind(3, lastName), pruning,
                                             [this](const sqlite::Statement &dropped) { m_nameIds.erase(dropped.text(0)); });
            !done.ok())
            return done;
    }
    if (auto done = transaction.commit(pruning); !done.ok())
        return done;
    progress.namesAfter = std::max(lastName, progress.namesAfter);
    return Done{};
}

}
