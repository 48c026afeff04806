#pragma once

#include "history/fault.h"
#include "history/postgres.h"

#include <cstdint>
#include <set>
#include <string>

namespace history::postgres {

// The samples and the ended sessions are kept in one partition a day (UTC),
// by sample time and by end: dropping a day that has grown old is one
// change of the catalogue rather than a delete of every row.
class DayPartitions final
{
public:
    static constexpr std::int64_t daySeconds = 86400;
    // Each day's partitions are vacuumed after every so many rows written
    // rather than after a fifth of what they held, so that their
    // visibility maps stay current: the reads by index alone (a server's
    // samples, a name's sessions) then leave the table's pages unread.
    static constexpr const char *storage = "autovacuum_vacuum_insert_threshold = 10000, autovacuum_vacuum_insert_scale_factor = 0";

    static std::int64_t dayOf(std::int64_t time);

    // Makes the partitions of the days that hold `times` and of the day
    // after each, where they are missing, in a transaction of their own
    // before the samples' (so that a batch that fails leaves them made): a
    // day's first samples find theirs made the day before. Under the
    // schema's lock, so that instances writing at once make each one once.
    Expected<Done> cover(Connection &connection, const std::set<std::int64_t> &times, std::string_view operation);

    // The days that have partitions, the oldest first, as the database
    // holds them.
    static Expected<std::set<std::int64_t>> days(Connection &connection, std::string_view operation);
    // Makes the day's partitions, which must be missing; within the
    // caller's transaction.
    static Expected<Done> make(Connection &connection, std::int64_t day, std::string_view operation);
    // Drops the day's partitions; within the caller's transaction.
    Expected<Done> drop(Connection &connection, std::int64_t day, std::string_view operation);

    // What is known of the database is forgotten, as when another instance
    // may have changed it.
    void forget() { m_known.clear(); }

private:
    std::set<std::int64_t> m_known; // days seen to have their partitions
};

// The lock the layout's changes are made under.
inline constexpr std::int64_t schemaLockKey = 0x536b727600000002;

}
