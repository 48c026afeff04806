#pragma once

#include "history/fault.h"
#include "history/namedsession.h"
#include "history/players.h"
#include "history/sample.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace history {

// Average players in each hour of the day (local time), where there were
// samples in that hour.
using HourlyAverages = std::array<std::optional<double>, 24>;

// Player history behind one interface, whatever keeps it (a file of the
// program's own, a database server). A store is used from one thread at a
// time. Every call reports a fault as a value; the store stays usable for
// the next call.
class Store
{
public:
    virtual ~Store() = default;

    // Where the history is kept, for messages: a file's path, a database.
    virtual std::string where() const = 0;

    // Writes all samples in one transaction: all or none. Each sample's
    // names continue their sessions on its server or start new ones, as
    // sessionRule() says.
    [[nodiscard]] virtual Expected<Done> record(std::span<const Sample> samples) = 0;
    // A user asked for the server: it is polled for a while from now, and
    // listed as they named it.
    [[nodiscard]] virtual Expected<Done> noteLookup(const ServerKey &server, const AskedAs &asked, Seconds time) = 0;
    // Drops samples and sessions that ended before `before`, and servers,
    // maps and names that nothing refers to any more.
    [[nodiscard]] virtual Expected<Done> prune(Seconds before) = 0;
    // A part of prune(before) small enough that a writer that goes on
    // writing between the parts is never held up for long: true once the
    // prune is whole. A store that cannot split its prune does it at once.
    [[nodiscard]] virtual Expected<bool> pruneStep(Seconds before)
    {
        if (auto done = prune(before); !done.ok())
            return done.fault();
        return true;
    }

    // Counts in `step`s ending with the step that holds `now`; the latest
    // sample of a step when it holds several.
    virtual Expected<Series> series(const ServerKey &server, Seconds now, std::chrono::seconds span = std::chrono::hours(24),
                                    std::chrono::seconds step = std::chrono::minutes(5)) = 0;
    // series() of each server, in their order: in one read, where a store
    // can make one of them, as a page with a day of each of its servers reads.
    virtual Expected<std::vector<Series>> seriesOf(std::span<const ServerKey> servers, Seconds now,
                                                   std::chrono::seconds span = std::chrono::hours(24),
                                                   std::chrono::seconds step = std::chrono::minutes(5))
    {
        std::vector<Series> all;
        for (const ServerKey &server : servers) {
            auto one = series(server, now, span, step);
            if (!one)
                return one.fault();
            all.push_back(std::move(*one));
        }
        return all;
    }
    virtual Expected<HourlyAverages> hourlyAverages(const ServerKey &server, Seconds since, Seconds until,
                                                    std::chrono::seconds utcOffset) = 0;
    // The servers looked up since `since`, the latest first.
    virtual Expected<std::vector<RecentServer>> recentServers(Seconds since, std::size_t limit) = 0;
    // The same servers alone, without their latest answers: what polling
    // needs, from the lookup index alone.
    virtual Expected<std::vector<ServerKey>> serversLookedUpSince(Seconds since) = 0;

    // The names on the server in sessions that went on at `since` or later,
    // the latest seen first, each with its sessions the latest first. A name
    // is online when the server's latest sample holds it and is no older
    // than `onlineSince`.
    virtual Expected<std::vector<SeenPlayer>> playersSeen(const ServerKey &server, Seconds since, Seconds onlineSince) = 0;
    // Names holding `text` (compared case-blind; every character literal)
    // seen at `since` or later, one row per name and server, the latest seen
    // first, at most `limit` rows. Online as above.
    virtual Expected<std::vector<PlayerMatch>> searchPlayers(std::string_view text, Seconds since, Seconds onlineSince,
                                                             std::size_t limit) = 0;
    // The sessions of the name (compared whole and case-blind, as the search
    // compares) that went on at `since` or later, the latest first, at most
    // `limit`. Online as above.
    virtual Expected<std::vector<NamedSession>> sessionsOf(std::string_view name, Seconds since, Seconds onlineSince,
                                                           std::size_t limit) = 0;

    const SessionRule &sessionRule() const { return m_sessionRule; }

protected:
    explicit Store(SessionRule sessionRule) : m_sessionRule(sessionRule) {}

private:
    SessionRule m_sessionRule;
};

// Opens a store: each thread that uses the history opens its own.
using StoreOpener = std::function<Expected<std::unique_ptr<Store>>()>;

}
