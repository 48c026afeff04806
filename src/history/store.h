#pragma once

#include "history/fault.h"
#include "history/sample.h"
#include "history/sqlite.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace history {

struct StoreOptions
{
    // How long a call waits for another process's write to end before it
    // reports the file locked.
    std::chrono::milliseconds busyTimeout{2000};
    // The file's size limit; 0 for none. Reaching it is reported as a full
    // disk, and the oldest day is dropped to make room.
    std::uint64_t maxBytes = 0;
};

// Average players in each hour of the day (local time), where there were
// samples in that hour.
using HourlyAverages = std::array<std::optional<double>, 24>;

// Player history in one SQLite file, through one connection: use one store
// per thread. Every call reports a fault as a value; the store stays usable
// for the next call.
class Store final
{
public:
    // Opens the file, making it and its folders when they do not exist, and
    // brings an older layout up to date.
    static Expected<Store> open(const std::filesystem::path &path, StoreOptions options = {});

    const std::filesystem::path &path() const { return m_connection.path(); }

    // Writes all samples in one transaction: all or none.
    [[nodiscard]] std::optional<Fault> record(std::span<const Sample> samples);
    // A user asked for the server: it is polled for a while from now.
    [[nodiscard]] std::optional<Fault> noteLookup(const ServerKey &server, Seconds time);
    // Drops samples older than `before`, and servers and maps that nothing
    // refers to any more.
    [[nodiscard]] std::optional<Fault> prune(Seconds before);

    // Counts in `step`s ending with the step that holds `now`; the latest
    // sample of a step when it holds several.
    Expected<Series> series(const ServerKey &server, Seconds now, std::chrono::seconds span = std::chrono::hours(24),
                            std::chrono::seconds step = std::chrono::minutes(5));
    Expected<HourlyAverages> hourlyAverages(const ServerKey &server, Seconds since, Seconds until,
                                            std::chrono::seconds utcOffset);
    // The servers looked up since `since`, the latest first.
    Expected<std::vector<RecentServer>> recentServers(Seconds since, std::size_t limit);
    // The same servers alone, without their latest answers: what polling
    // needs, from the lookup index alone.
    Expected<std::vector<ServerKey>> serversLookedUpSince(Seconds since);

private:
    explicit Store(sqlite::Connection connection) : m_connection(std::move(connection)) {}

    std::optional<Fault> writeSamples(std::span<const Sample> samples);
    std::optional<Fault> dropOldestDay();
    Expected<sqlite::Statement *> statement(sqlite::Statement &slot, const char *sql, std::string_view operation);

    sqlite::Connection m_connection;
    sqlite::Statement m_findServer, m_addServer, m_addMap, m_addSample, m_series;
};

}
