#pragma once

#include "history/backoff.h"
#include "history/postgres.h"
#include "history/postgrespartitions.h"
#include "history/store.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

namespace history {

// Player history in a PostgreSQL database that several service instances
// share, through one connection. A connection that is lost is opened again
// on a later call, after a wait that grows while the database stays away;
// the calls in between report the fault at once.
class PostgresStore final : public Store
{
public:
    // Connects and brings an older layout up to date.
    static Expected<std::unique_ptr<Store>> open(const std::string &uri, SessionRule sessions = {});
    // The same as an opener that, after a failure, tries again only once
    // the growing wait is over, and reports the same fault until then.
    static StoreOpener opener(std::string uri, SessionRule sessions = {});

    PostgresStore(postgres::Connection connection, std::string uri, SessionRule sessions);

    std::string where() const override { return m_connection.printableUri(); }

    Expected<Done> record(std::span<const Sample> samples) override;
    Expected<Done> noteLookup(const ServerKey &server, const AskedAs &asked, Seconds time) override;
    Expected<Done> prune(Seconds before) override;
    Expected<bool> pruneStep(Seconds before) override;
    Expected<Series> series(const ServerKey &server, Seconds now, std::chrono::seconds span,
                            std::chrono::seconds step) override;
    Expected<std::vector<Series>> seriesOf(std::span<const ServerKey> servers, Seconds now, std::chrono::seconds span,
                                           std::chrono::seconds step) override;
    Expected<HourlyAverages> hourlyAverages(const ServerKey &server, Seconds since, Seconds until,
                                            std::chrono::seconds utcOffset) override;
    Expected<std::vector<RecentServer>> recentServers(Seconds since, std::size_t limit) override;
    Expected<std::vector<ServerKey>> serversLookedUpSince(Seconds since) override;
    Expected<std::vector<SeenPlayer>> playersSeen(const ServerKey &server, Seconds since, Seconds onlineSince) override;
    Expected<std::vector<PlayerMatch>> searchPlayers(std::string_view text, Seconds since, Seconds onlineSince,
                                                     std::size_t limit) override;
    Expected<std::vector<NamedSession>> sessionsOf(std::string_view name, Seconds since, Seconds onlineSince,
                                                   std::size_t limit) override;

private:
    // The connection, opened again when it was lost and the wait is over.
    Expected<Done> connected();
    // Connects again first when the connection was lost.
    Expected<postgres::Result> read(const char *sql, const postgres::Parameters &parameters);
    // A server of the batch being written: its key in the database and the
    // time of its latest sample, as far as the batch has been written.
    struct KnownServer {
        std::int64_t id = 0;
        std::optional<std::int64_t> latest;
    };
    // The batch's maps and servers.
    Expected<std::map<ServerKey, KnownServer>> writeServers(std::span<const Sample> samples);
    Expected<Done> writeSamples(std::span<const Sample> samples, const std::map<ServerKey, KnownServer> &servers);
    // The sessions that samples of distinct servers continue, end or start.
    Expected<Done> writeSessions(std::span<const Sample *const> pass, std::map<ServerKey, KnownServer> &servers);

    postgres::Connection m_connection;
    const std::string m_uri;
    Backoff m_backoff;
    std::chrono::steady_clock::time_point m_retryAt;
    std::optional<Fault> m_lost;
    // The days' partitions the samples of a batch go to.
    postgres::DayPartitions m_partitions;
    // How far a prune has gone: it drops the days wholly before its time,
    // then the older rows of that time's day server by server.
    struct PruneProgress
    {
        std::int64_t before = 0;
        bool daysDropped = false;
        std::int64_t serversAfter = 0; // the rows of servers up to this key are gone
        std::int64_t namesAfter = 0;   // the names up to this key that nothing refers to are gone
    };
    std::optional<PruneProgress> m_prune;
    // Players' names by their keys, for the sessions going on, which refer
    // to them by key. A key never passes to another name, so what is kept
    // stays true; it is forgotten at each prune, to stay small.
    std::unordered_map<std::int64_t, std::string> m_names;
};

}
