#include "history/postgrespartitions.h"

#include <chrono>
#include <cstdio>

namespace history::postgres {

namespace {

// A day's partitions are named by its date, such as samples_20261201.
std::string partitionName(const char *table, std::int64_t day)
{
    const std::chrono::year_month_day date{std::chrono::sys_days(std::chrono::days(day))};
    char name[48];
    std::snprintf(name, sizeof name, "%s_%04d%02u%02u", table, static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()));
    return name;
}

constexpr const char *partitionedTables[] = {"samples", "sessions"};

}

std::int64_t DayPartitions::dayOf(std::int64_t time)
{
    return time >= 0 ? time / daySeconds : -((-time + daySeconds - 1) / daySeconds);
}

Expected<Done> DayPartitions::cover(Connection &connection, const std::set<std::int64_t> &times, std::string_view operation)
{
    std::set<std::int64_t> wanted;
    for (const std::int64_t time : times)
        for (const std::int64_t day : {dayOf(time), dayOf(time) + 1})
            if (!m_known.contains(day))
                wanted.insert(day);
    if (wanted.empty())
        return Done{};
    Transaction transaction(connection);
    if (auto begun = transaction.begin(operation); !begun.ok())
        return begun;
    if (auto locked = connection.exec("SELECT pg_advisory_xact_lock($1)", operation, Parameters().add(schemaLockKey)); !locked.ok())
        return locked;
    auto held = days(connection, operation);
    if (!held)
        return held.fault();
    for (const std::int64_t day : wanted)
        if (!held->contains(day))
            if (auto made = make(connection, day, operation); !made.ok())
                return made;
    if (auto committed = transaction.commit(operation); !committed.ok())
        return committed;
    m_known.insert(held->begin(), held->end());
    m_known.insert(wanted.begin(), wanted.end());
    return Done{};
}

Expected<std::set<std::int64_t>> DayPartitions::days(Connection &connection, std::string_view operation)
{
    // The bounds as the catalogue keeps them, rather than the names.
    auto rows = connection.query("SELECT (regexp_match(pg_get_expr(c.relpartbound, c.oid), 'FROM \\(''?(-?\\d+)'))[1]::bigint "
                                 "FROM pg_inherits i JOIN pg_class c ON c.oid = i.inhrelid "
                                 "WHERE i.inhparent = 'samples'::regclass",
                                 operation);
    if (!rows)
        return rows.fault();
    std::set<std::int64_t> held;
    for (int row = 0; row < rows->rows(); ++row)
        held.insert(dayOf(rows->integer(row, 0)));
    return held;
}

Expected<Done> DayPartitions::make(Connection &connection, std::int64_t day, std::string_view operation)
{
    for (const char *table : partitionedTables) {
        // The bounds are numbers of ours, not text from outside.
        const std::string sql = "CREATE TABLE " + partitionName(table, day) + " PARTITION OF " + table
                                + " FOR VALUES FROM (" + std::to_string(day * daySeconds) + ") TO ("
                                + std::to_string((day + 1) * daySeconds) + ") WITH (" + storage + ")";
        if (auto made = connection.exec(sql.c_str(), operation); !made.ok())
            return made;
    }
    return Done{};
}

Expected<Done> DayPartitions::drop(Connection &connection, std::int64_t day, std::string_view operation)
{
    for (const char *table : partitionedTables) {
        const std::string sql = "DROP TABLE IF EXISTS " + partitionName(table, day);
        if (auto dropped = connection.exec(sql.c_str(), operation); !dropped.ok())
            return dropped;
    }
    m_known.erase(day);
    return Done{};
}

}
