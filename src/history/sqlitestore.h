#pragma once

#include "history/sqlite.h"
#include "history/sqlitecheckpointer.h"
#include "history/sqlitepages.h"
#include "history/sqlitesearch.h"
#include "history/sqlitewriter.h"
#include "history/store.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace history {

struct SqliteOptions
{
    // How long a call waits for another process's write to end before it
    // reports the file locked.
    std::chrono::milliseconds busyTimeout{2000};
    // The file's size limit; 0 for none. Reaching it is reported as a full
    // disk, and the oldest day is dropped to make room.
    std::uint64_t maxBytes = 0;
    SessionRule sessions;
};

// Player history in one SQLite file, through one connection, which its
// writer, its pages' reads and its player search share; the write-ahead
// log goes into the file on a thread of its own.
class SqliteStore final : public Store
{
public:
    // Opens the file, making it and its folders when they do not exist, and
    // brings an older layout up to date.
    static Expected<std::unique_ptr<Store>> open(const std::filesystem::path &path, SqliteOptions options = {});
    // The same as an opener for whoever opens stores on their own threads.
    static StoreOpener opener(std::filesystem::path path, SqliteOptions options = {});

    SqliteStore(sqlite::Connection connection, SessionRule sessions)
        : Store(sessions), m_checkpointer(connection.path()), m_connection(std::move(connection)),
          m_writer(m_connection, sessions), m_pages(m_connection), m_search(m_connection)
    {
        m_checkpointer.watch(m_connection);
    }

    std::string where() const override { return m_connection.path().string(); }

    Expected<Done> record(std::span<const Sample> samples) override
    {
        return m_writer.record(samples);
    }
    Expected<Done> noteLookup(const ServerKey &server, const AskedAs &asked, Seconds time) override
    {
        return m_writer.noteLookup(server, asked, time);
    }
    Expected<Done> prune(Seconds before) override
    {
        return m_writer.prune(before);
    }
    Expected<bool> pruneStep(Seconds before) override
    {
        // An hourly prune at ten thousand servers writes a gigabyte of log,
        // in steps a few milliseconds apart: resting while the thread copies
        // lets it copy all of the log, rather than the writer copying it
        // itself, and keeps a step from waiting out the end of the copy
        // within its statements; either is a pause of up to a hundred
        // milliseconds or more. Writes that cannot wait go on meanwhile.
        if (m_checkpointer.restFor(std::chrono::milliseconds(10)))
            return false;
        return m_writer.pruneStep(before);
    }
    Expected<Series> series(const ServerKey &server, Seconds now, std::chrono::seconds span,
                            std::chrono::seconds step) override
    {
        return m_pages.series(server, now, span, step);
    }
    Expected<HourlyAverages> hourlyAverages(const ServerKey &server, Seconds since, Seconds until,
                                            std::chrono::seconds utcOffset) override
    {
        return m_pages.hourlyAverages(server, since, until, utcOffset);
    }
    Expected<std::vector<RecentServer>> recentServers(Seconds since, std::size_t limit) override
    {
        return m_pages.recentServers(since, limit);
    }
    Expected<std::vector<ServerKey>> serversLookedUpSince(Seconds since) override
    {
        return m_pages.serversLookedUpSince(since);
    }
    Expected<std::vector<SeenPlayer>> playersSeen(const ServerKey &server, Seconds since, Seconds onlineSince) override
    {
        return m_pages.playersSeen(server, since, onlineSince);
    }
    Expected<std::vector<PlayerMatch>> searchPlayers(std::string_view text, Seconds since, Seconds onlineSince,
                                                     std::size_t limit) override
    {
        return m_search.search(text, since, onlineSince, limit);
    }
    Expected<std::vector<NamedSession>> sessionsOf(std::string_view name, Seconds since, Seconds onlineSince,
                                                   std::size_t limit) override
    {
        return m_pages.sessionsOf(name, since, onlineSince, limit);
    }

private:
    // Outlives the connection, whose commits may wake its thread.
    SqliteCheckpointer m_checkpointer;
    sqlite::Connection m_connection;
    SqliteWriter m_writer;
    SqlitePages m_pages;
    SqliteSearch m_search;
};

}
