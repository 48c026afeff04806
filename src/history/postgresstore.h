#pragma once

#include "history/backoff.h"
#include "history/postgres.h"
#include "history/store.h"

#include <chrono>
#include <memory>
#include <string>

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

    std::optional<Fault> record(std::span<const Sample> samples) override;
    std::optional<Fault> noteLookup(const ServerKey &server, const AskedAs &asked, Seconds time) override;
    std::optional<Fault> prune(Seconds before) override;
    Expected<Series> series(const ServerKey &server, Seconds now, std::chrono::seconds span,
                            std::chrono::seconds step) override;
    Expected<HourlyAverages> hourlyAverages(const ServerKey &server, Seconds since, Seconds until,
                                            std::chrono::seconds utcOffset) override;
    Expected<std::vector<RecentServer>> recentServers(Seconds since, std::size_t limit) override;
    Expected<std::vector<ServerKey>> serversLookedUpSince(Seconds since) override;
    Expected<std::vector<SeenPlayer>> playersSeen(const ServerKey &server, Seconds since, Seconds onlineSince) override;
    Expected<std::vector<PlayerMatch>> searchPlayers(std::string_view text, Seconds since, Seconds onlineSince,
                                                     std::size_t limit) override;

private:
    // The connection, opened again when it was lost and the wait is over.
    std::optional<Fault> connected();
    std::optional<Fault> writeSamples(std::span<const Sample> samples);
    std::optional<Fault> writeSessions(std::span<const Sample> samples);

    postgres::Connection m_connection;
    const std::string m_uri;
    Backoff m_backoff;
    std::chrono::steady_clock::time_point m_retryAt;
    std::optional<Fault> m_lost;
};

}
