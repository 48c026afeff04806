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

}

Expected<Done> SqliteWriter::prune(Seconds before)
{
    return pruneWhole([this, before] { return pruneStep(before); });
}

Expected<bool> SqliteWriter::pruneStep(Seconds before)
{
    if (!m_prune || m_prune->before != seconds(before))
        m_prune = PruneProgress{seconds(before), 0};
    auto last = m_connection.integer(("SELECT coalesce(max(id), -1) FROM (SELECT id FROM servers WHERE id > "
                                      + std::to_string(m_prune->serversAfter) + " ORDER BY id LIMIT " + std::to_string(serversAStep) + ")")
                                         .c_str(),
                                     pruning);
    if (!last)
        return last.fault();
    const bool servers = *last >= 0;
    auto done = servers ? pruneServers(*m_prune, *last) : pruneUnreferenced(m_prune->before);
    if (!done.ok()) {
        // Begun again from the start, with what is kept of the file read again.
        m_prune.reset();
        forgetSessions();
        return done.fault();
    }
    if (!servers)
        m_prune.reset();
    return !servers;
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

Expected<Done> SqliteWriter::pruneUnreferenced(std::int64_t before)
{
    // A name's ended sessions end no later than its last_ended, so only the
    // names that ended before the time are looked for in the sessions.
    // The names' numbers stay known but for the names dropped: the rounds
    // after a prune would otherwise look up every name that comes on again.
    sqlite::Transaction transaction(m_connection);
    if (auto done = transaction.begin(pruning); !done.ok())
        return done;
    auto names = m_connection.prepare("DELETE FROM names WHERE last_ended < ?1 "
                                      "AND NOT EXISTS (SELECT 1 FROM sessions WHERE name_id = names.id) "
                                      "AND id NOT IN (SELECT name_id FROM current_sessions) RETURNING name",
                                      pruning);
    if (!names)
        return names.fault();
    auto done = m_connection.eachRow(names->bind(1, before), pruning,
                                     [this](const sqlite::Statement &dropped) { m_nameIds.erase(dropped.text(0)); });
    if (!done.ok())
        return done;
    auto servers = m_connection.prepare("DELETE FROM servers WHERE coalesce(last_lookup, 0) < ?1 "
                                        "AND NOT EXISTS (SELECT 1 FROM samples WHERE server_id = servers.id) "
                                        "RETURNING id, address, query_port",
                                        pruning);
    if (!servers)
        return servers.fault();
    done = m_connection.eachRow(servers->bind(1, before), pruning, [this](const sqlite::Statement &dropped) {
        m_sessions.erase(dropped.integer(0));
        m_servers.erase(ServerKey{dropped.text(1), static_cast<std::uint16_t>(dropped.integer(2))});
    });
    if (!done.ok())
        return done;
    // A map's last sample is no later than its last_seen.
    if (auto maps = m_connection.prepare("DELETE FROM maps WHERE last_seen < ?1", pruning); !maps)
        return maps.fault();
    else if (auto dropped = m_connection.eachRow(maps->bind(1, before), pruning, [](const sqlite::Statement &) {}); !dropped.ok())
        return dropped;
    return transaction.commit(pruning);
}

}
