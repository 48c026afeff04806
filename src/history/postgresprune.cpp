#include "history/backend.h"
#include "history/postgresstore.h"

namespace history {

using namespace backend;

namespace {

// The servers whose older rows of the day being cut one step deletes: a
// range of each's keys in the day's partitions, so a step is a few
// thousand rows whatever the history's size.
constexpr std::int64_t serversAStep = 500;
// The names one step looks at.
constexpr std::int64_t namesAStep = 10000;

}

Expected<Done> PostgresStore::prune(Seconds before)
{
    return pruneWhole([this, before] { return pruneStep(before); });
}

Expected<bool> PostgresStore::pruneStep(Seconds before)
{
    if (auto done = connected(); !done.ok())
        return done.fault();
    if (!m_prune || m_prune->before != seconds(before))
        m_prune = PruneProgress{seconds(before)};
    PruneProgress &progress = *m_prune;
    const std::int64_t cut = postgres::DayPartitions::dayOf(progress.before);
    postgres::Transaction transaction(m_connection);
    if (auto done = transaction.begin(pruning); !done.ok())
        return done.fault();
    const auto finish = [&](bool whole) -> Expected<bool> {
        if (auto done = transaction.commit(pruning); !done.ok())
            return done.fault();
        if (whole)
            m_prune.reset();
        return whole;
    };

    // A session going on ends with its server's latest sample, so it goes
    // before the samples do. Then the days wholly before the time, the
    // oldest first, one a step.
    if (!progress.daysDropped) {
        if (auto done = m_connection.exec("DELETE FROM open_sessions WHERE server_id IN "
                                          "(SELECT id FROM servers WHERE coalesce(latest, 0) < $1)",
                                          pruning, postgres::Parameters().add(progress.before));
            !done.ok())
            return done.fault();
        auto days = postgres::DayPartitions::days(m_connection, pruning);
        if (!days)
            return days.fault();
        if (!days->empty() && *days->begin() < cut) {
            if (auto done = m_partitions.drop(m_connection, *days->begin(), pruning); !done.ok())
                return done.fault();
            return finish(false);
        }
        progress.daysDropped = true;
    }

    // The rows of the time's own day that are older than it, server by
    // server, each a range of an index of the day's partition.
    if (progress.serversAfter >= 0) {
        auto batch = m_connection.query("SELECT max(id), count(*) FROM (SELECT id FROM servers WHERE id > $1 ORDER BY id LIMIT $2) b",
                                        pruning, postgres::Parameters().add(progress.serversAfter).add(serversAStep));
        if (!batch)
            return batch.fault();
        if (batch->integer(0, 1) > 0) {
            const auto range = postgres::Parameters().add(progress.before).add(progress.serversAfter).add(batch->integer(0, 0));
            for (const char *sql : {"DELETE FROM samples WHERE server_id IN (SELECT id FROM servers WHERE id > $2 AND id <= $3) "
                                    "AND t < $1",
                                    "DELETE FROM sessions WHERE server_id IN (SELECT id FROM servers WHERE id > $2 AND id <= $3) "
                                    "AND last_seen < $1"})
                if (auto done = m_connection.exec(sql, pruning, range); !done.ok())
                    return done.fault();
            progress.serversAfter = batch->integer(0, 0);
            return finish(false);
        }
        progress.serversAfter = -1;
    }

    // What nothing refers to any more. A server's samples are no later than
    // its latest, and a name's ended sessions end no later than its
    // last_ended, so neither is looked for in every day's partition.
    if (progress.namesAfter == 0) {
        static constexpr const char *steps[] = {
            "DELETE FROM servers WHERE coalesce(last_lookup, 0) < $1 AND coalesce(latest, 0) < $1",
            // A map's last sample is no later than its last_seen.
            "DELETE FROM maps WHERE last_seen < $1",
        };
        for (const char *sql : steps)
            if (auto done = m_connection.exec(sql, pruning, postgres::Parameters().add(progress.before)); !done.ok())
                return done.fault();
        m_names.clear();
    }
    // The names a range of keys a step: each one old enough is looked for
    // among the sessions going on, through their index by name (NOT IN
    // would hash every session going on, and without the memory for that,
    // ten thousand servers' worth, read them all again for each name). A
    // history whose names have ended no session yet, as in its first hours,
    // has every name looked for.
    auto batch = m_connection.query("SELECT max(id), count(*) FROM (SELECT id FROM names WHERE id > $1 ORDER BY id LIMIT $2) b",
                                    pruning, postgres::Parameters().add(progress.namesAfter).add(namesAStep));
    if (!batch)
        return batch.fault();
    if (batch->integer(0, 1) > 0) {
        if (auto done = m_connection.exec("DELETE FROM names n WHERE id > $2 AND id <= $3 AND last_ended < $1 "
                                          "AND NOT EXISTS (SELECT 1 FROM open_sessions o WHERE o.name_id = n.id)",
                                          pruning,
                                          postgres::Parameters().add(progress.before).add(progress.namesAfter).add(batch->integer(0, 0)));
            !done.ok())
            return done.fault();
        progress.namesAfter = batch->integer(0, 0);
        return finish(false);
    }
    return finish(true);
}

}
