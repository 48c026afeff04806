#include "queryd/playerhistory.h"

#include "history/busiesthours.h"
#include "history/postgresstore.h"
#include "history/sqlitestore.h"
#include "history/threadedstore.h"
#include "history/statepath.h"
#include "common/utctime.h"

#include <algorithm>
#include <ctime>

namespace queryd {

namespace {

// A reader that could not open the file tries again after this long: a
// lock held by another process goes away.
constexpr auto reopenAfter = std::chrono::minutes(1);
// The longest a page waits for a PostgreSQL history; it is on the same
// machine or network, and answers in milliseconds when it answers at all.
constexpr auto databaseWait = std::chrono::milliseconds(250);
constexpr auto busyPeriod = std::chrono::days(7);
// Names asked for, remembered with the address they led to; a bound against
// a flood of names.
constexpr std::size_t maxNames = 4096;
constexpr auto noteLookupEvery = std::chrono::minutes(1);
constexpr auto seenPeriod = std::chrono::hours(24);
constexpr auto searchPeriod = std::chrono::days(7);
constexpr std::size_t recentShown = 10;
// A fault that lasts is logged again after this long; the reader and the
// writer meet different ones, and a page and a poll meet them many times a
// minute.
constexpr auto logFaultEvery = std::chrono::minutes(1);
constexpr std::size_t maxFaultsLogged = 64;
// Failed reads are tried again at most this often, however many pages and
// health checks ask.
constexpr auto checkReadsEvery = std::chrono::seconds(1);

history::ServerKey keyOf(const ut3::QueryTarget &server)
{
    return {server.host, server.port};
}

std::tm localNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::chrono::seconds localOffset()
{
    return std::chrono::seconds(localNow().tm_gmtoff);
}

std::string zoneName()
{
    const std::tm local = localNow();
    return local.tm_zone ? local.tm_zone : "";
}

}

PlayerHistory::PlayerHistory(Setup setup, Log log)
    : m_setup(std::move(setup))
    , m_log(std::move(log))
    , m_board([this] { return now(); }, [this](const ut3::QueryTarget &server) -> std::optional<history::Series> {
        if (!reader())
            return std::nullopt;
        auto day = read("board's day", [server = keyOf(server), at = now()](history::Store &store) {
            return store.series(server, at, std::chrono::hours(24), std::chrono::hours(1));
        });
        return day ? std::optional(std::move(*day)) : std::nullopt;
    })
{
    if (!m_setup.now)
        m_setup.now = [] { return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()); };
    if (!m_setup.utcOffset)
        m_setup.utcOffset = localOffset;
    if (m_setup.database.empty()) {
        m_readerFault = history::Fault{history::FaultKind::cannotOpen,
                                       "no folder for the history file: neither XDG_STATE_HOME nor HOME is set (use --db PATH)"};
        noteFault(m_readerFault);
        return;
    }
    m_recorder = std::make_unique<history::Recorder>(history::RecorderOptions{
        .open = sharedDatabase()
            ? history::PostgresStore::opener(m_setup.database.native(), {m_setup.pollInterval})
            : history::SqliteStore::opener(m_setup.database, {.maxBytes = m_setup.maxBytes, .sessions = {m_setup.pollInterval}}),
        .keep = m_setup.keep,
        .now = m_setup.now,
    });
    reader();
}

std::shared_ptr<PlayerHistory> PlayerHistory::fromOptions(const HistoryOptions &options, Log log)
{
    if (!options.enabled)
        return nullptr;
    const auto path = options.database ? options.database : history::defaultDatabasePath();
    return std::make_shared<PlayerHistory>(
        Setup{.database = path.value_or(std::filesystem::path()),
              .keep = options.keep,
              .maxBytes = options.maxMegabytes * 1024 * 1024,
              .pollWindow = options.pollWindow,
              .pollInterval = std::chrono::duration_cast<std::chrono::seconds>(options.pollInterval),
              .pollMax = options.pollMaxServers,
              .keepNames = options.playerNames},
                                           std::move(log));
}

history::Seconds PlayerHistory::now() const
{
    return m_setup.now();
}

bool PlayerHistory::sharedDatabase() const
{
    return history::postgres::isUri(m_setup.database.native());
}

std::string PlayerHistory::shownDatabase() const
{
    return sharedDatabase() ? history::postgres::withoutPassword(m_setup.database.native()) : m_setup.database.string();
}

history::Store *PlayerHistory::reader()
{
    if (m_reader || !m_recorder)
        return m_reader.get();
    // The database server is asked on a thread of its own, and connected to
    // again there when it goes away: a page waits for it briefly or not at
    // all.
    if (sharedDatabase()) {
        const history::SessionRule sessions{m_setup.pollInterval};
        m_reader = std::make_unique<history::ThreadedStore>(history::PostgresStore::opener(m_setup.database.native(), sessions),
                                                            shownDatabase(),
                                                            sessions, databaseWait);
        return m_reader.get();
    }
    if (m_readerTried && now() - *m_readerTried < reopenAfter)
        return nullptr;
    m_readerTried = now();
    // Pages wait for no one: a file locked by another process is reported
    // at once rather than waited for.
    auto opened = history::SqliteStore::open(m_setup.database, {.busyTimeout = std::chrono::milliseconds(100),
                                                                 .sessions = {m_setup.pollInterval}});
    if (!opened) {
        m_readerFault = opened.fault();
        noteFault(m_readerFault);
        return nullptr;
    }
    m_reader = std::move(*opened);
    m_readerFault.reset();
    return m_reader.get();
}

void PlayerHistory::noteFault(const std::optional<history::Fault> &fault)
{
    if (!fault)
        return;
    const auto at = now();
    if (m_logged.size() >= maxFaultsLogged)
        m_logged.clear();
    const auto [logged, first] = m_logged.try_emplace(fault->message, at);
    if (!first && at - logged->second < logFaultEvery)
        return;
    logged->second = at;
    m_saidUnavailable = true;
    if (m_log)
        m_log(historyUnavailable(fault->message));
}

template<typename Read>
auto PlayerHistory::read(const std::string &kind, Read run) -> decltype(run(std::declval<history::Store &>()))
{
    auto result = run(*m_reader);
    if (result.ok()) {
        m_lastRead = now();
        m_failedReads.erase(kind);
        return result;
    }
    noteFault(result.fault());
    m_failedReads.insert_or_assign(kind, FailedRead{result.fault(), [this, run]() -> std::optional<history::Fault> {
                                                        auto again = run(*m_reader);
                                                        if (again.ok())
                                                            return std::nullopt;
                                                        return again.fault();
                                                    }});
    return result;
}

void PlayerHistory::checkReads()
{
    const auto at = now();
    if (!m_reader || (m_lastCheck && at - *m_lastCheck < checkReadsEvery))
        return;
    m_lastCheck = at;
    for (auto failed = m_failedReads.begin(); failed != m_failedReads.end();) {
        if (auto fault = failed->second.again()) {
            failed->second.fault = std::move(*fault);
            ++failed;
        } else {
            m_lastRead = at;
            failed = m_failedReads.erase(failed);
        }
    }
    // Whether the store still answers, with no page or poll to ask it.
    if (m_failedReads.empty() && (!m_lastRead || at - *m_lastRead >= m_setup.pollInterval))
        (void)read("recent servers", [since = at - m_setup.pollWindow](history::Store &store) {
            return store.recentServers(since, 1);
        });
}

std::optional<std::string> PlayerHistory::unavailable()
{
    reader();
    checkReads();
    std::optional<history::Fault> fault = m_readerFault;
    if (!fault && !m_failedReads.empty())
        fault = m_failedReads.begin()->second.fault;
    if (!fault && m_recorder)
        fault = m_recorder->fault();
    // A write that does not end keeps the history from being written as a
    // failed one does.
    if (const auto since = m_recorder ? m_recorder->waitingSince() : std::nullopt;
        !fault && since && now() - *since > m_setup.pollInterval)
        fault = history::Fault{history::FaultKind::locked, "Cannot write to the history in " + shownDatabase()
                                                               + ": a write has waited longer than the poll interval ("
                                                               + std::to_string(m_setup.pollInterval.count()) + " s)"};
    if (!fault) {
        // Only a read or a write that succeeded clears a fault.
        if (m_saidUnavailable && m_log)
            m_log("History available again: " + shownDatabase());
        m_saidUnavailable = false;
        m_logged.clear();
        return std::nullopt;
    }
    noteFault(fault);
    return fault->message;
}

void PlayerHistory::record(const ut3::QueryResult &result)
{
    if (!m_recorder || result.state != ut3::QueryState::online || !result.status)
        return;
    const ut3::ServerInfo &info = result.status->server;
    // Stamped with the history's clock when the answer is in, so that a
    // simulated clock drives the whole history.
    history::Sample sample{keyOf(result.query), now(),
                           static_cast<int>(info.numPlayers.value_or(static_cast<long long>(result.status->players.size()))),
                           static_cast<int>(info.bots.value_or(0)), info.map, info.name, {}};
    if (m_setup.keepNames)
        for (const ut3::Player &player : result.status->players)
            sample.names.push_back(player.name);
    if (m_latest.size() >= maxNames)
        m_latest.clear();
    m_latest[sample.server] = {sample.time, {sample.players, sample.bots}, sample.names, sample.serverName};
    m_recorder->record(std::move(sample));
    noteFault(m_recorder->fault());
}

history::Expected<std::vector<history::Series>> PlayerHistory::readDays(std::vector<history::ServerKey> servers, history::Seconds at)
{
    auto days = read("series", [servers, at](history::Store &store) { return store.seriesOf(servers, at); });
    if (!days)
        return days;
    // The page made right after an answer shows it, though the writer
    // thread may not have written it yet.
    for (std::size_t i = 0; i < servers.size(); ++i) {
        history::Series &day = (*days)[i];
        const auto latest = m_latest.find(servers[i]);
        if (latest != m_latest.end() && latest->second.time >= day.start && latest->second.time < day.end())
            day.steps[static_cast<std::size_t>((latest->second.time - day.start) / day.step)] = latest->second.count;
    }
    return days;
}

history::Seconds PlayerHistory::onlineSince() const
{
    return now() - 2 * m_setup.pollInterval;
}

std::vector<history::SeenPlayer> PlayerHistory::playersSeen(const ut3::QueryTarget &server)
{
    if (!m_setup.keepNames || !reader())
        return {};
    const auto since = now() - seenPeriod, online = onlineSince();
    auto seen = read("players seen", [server = keyOf(server), since, online](history::Store &store) {
        return store.playersSeen(server, since, online);
    });
    if (!seen)
        return {};
    // As with the counts, the page made right after an answer shows it.
    if (const auto latest = m_latest.find(keyOf(server)); latest != m_latest.end())
        history::foldLatest(*seen, latest->second.time, latest->second.names, {m_setup.pollInterval});
    return std::move(*seen);
}

history::Expected<std::vector<history::PlayerMatch>> PlayerHistory::searchPlayers(std::string_view text)
{
    if (!m_setup.keepNames)
        return ServerHistory::searchPlayers(text);
    if (!reader())
        return history::Fault{history::FaultKind::other, unavailable().value_or("the history file cannot be read")};
    const auto since = now() - searchPeriod, online = onlineSince();
    return read("search", [text = std::string(text), since, online](history::Store &store) {
        return store.searchPlayers(text, since, online, MaxPlayerMatches);
    });
}

void PlayerHistory::lookedUp(const ut3::QueryTarget &asked, const ut3::QueryTarget &queried, std::uint16_t webPort)
{
    const auto at = now();
    noteRecent(asked, queried, webPort, at);
    // Every page view is a lookup; the file hears of one a minute per
    // server, enough for a window of days, and at once of a new web port.
    const auto known = m_queriedAs.find({asked.host, asked.port});
    if (known != m_queriedAs.end() && known->second.queried.host == queried.host
        && known->second.queried.port == queried.port && known->second.webPort == webPort
        && at - known->second.noted < noteLookupEvery)
        return;
    if (m_queriedAs.size() >= maxNames)
        m_queriedAs.clear();
    m_queriedAs[{asked.host, asked.port}] = {queried, webPort, at};
    if (m_recorder)
        m_recorder->noteLookup(keyOf(queried), {asked.host, asked.port, webPort}, at);
}

void PlayerHistory::noteRecent(const ut3::QueryTarget &asked, const ut3::QueryTarget &queried, std::uint16_t webPort,
                               history::Seconds at)
{
    history::RecentServer lookup{keyOf(queried), history::AskedAs{asked.host, asked.port, webPort}, at, std::nullopt};
    if (const auto latest = m_latest.find(lookup.server); latest != m_latest.end())
        lookup.latest = history::Sample{lookup.server, latest->second.time, latest->second.count.players,
                                        latest->second.count.bots, {}, latest->second.serverName, {}};
    std::erase_if(m_lookups, [&](const history::RecentServer &known) {
        return known.asked->address == asked.host && known.asked->queryPort == asked.port;
    });
    m_lookups.insert(m_lookups.begin(), std::move(lookup));
    if (m_lookups.size() > recentShown)
        m_lookups.pop_back();
}

std::vector<RecentServer> PlayerHistory::recentServers()
{
    std::vector<RecentServer> servers;
    if (!reader())
        return servers;
    auto recent = read("recent servers", [since = now() - m_setup.pollWindow](history::Store &store) {
        return store.recentServers(since, recentShown);
    });
    if (!recent)
        return servers;
    // The writer thread notes a lookup a moment after the page that made
    // it: the latest ones this process made come first, and the store's
    // fill in behind them.
    std::vector<history::RecentServer> merged = m_lookups;
    for (history::RecentServer &server : *recent) {
        const history::AskedAs asked = server.asked.value_or(history::AskedAs{server.server.address, server.server.queryPort, 0});
        const bool listed = std::any_of(merged.begin(), merged.end(), [&](const history::RecentServer &known) {
            return known.asked->address == asked.address && known.asked->queryPort == asked.queryPort;
        });
        if (!listed)
            merged.push_back(std::move(server));
    }
    std::stable_sort(merged.begin(), merged.end(),
                     [](const history::RecentServer &a, const history::RecentServer &b) { return a.lastLookup > b.lastLookup; });
    if (merged.size() > recentShown)
        merged.resize(recentShown);
    // Only servers that answered: a start page must not list whatever
    // someone typed.
    for (const history::RecentServer &server : merged)
        if (server.latest) {
            // A lookup noted by an older version named the server as queried.
            const history::AskedAs asked = server.asked.value_or(history::AskedAs{server.server.address, server.server.queryPort, 0});
            servers.push_back({asked.address, asked.queryPort, asked.webPort, server.latest->serverName});
        }
    return servers;
}

std::optional<ServerPast> PlayerHistory::past(const ut3::QueryTarget &server)
{
    ServerPast past;
    past.utcOffset = m_setup.utcOffset();
    // Each read logs its own fault.
    const auto failed = [&] {
        past.troubled = true;
        return past;
    };
    if (!reader()) {
        unavailable();
        return failed();
    }
    const auto at = now();
    auto day = readDays({keyOf(server)}, at);
    if (!day)
        return failed();
    past.day = std::move(day->front());
    auto averages = read("hourly averages", [server = keyOf(server), at, offset = past.utcOffset](history::Store &store) {
        return store.hourlyAverages(server, at - busyPeriod, at, offset);
    });
    if (!averages)
        return failed();
    past.busiest = history::busiestHours(*averages);
    past.zone = zoneName();
    if (m_setup.keepNames)
        past.seen = playersSeen(server);
    // Readable but not writable (full, locked): the chart shows what is
    // there, and says that it stops.
    past.troubled = unavailable().has_value();
    return past;
}

std::optional<history::Series> PlayerHistory::daySeries(const ut3::QueryTarget &server)
{
    if (!reader())
        return std::nullopt;
    auto day = readDays({keyOf(server)}, now());
    if (!day)
        return std::nullopt;
    return std::move(day->front());
}

std::vector<std::optional<history::Series>> PlayerHistory::recentDays(std::span<const ut3::QueryTarget> asked)
{
    std::vector<std::optional<history::Series>> shown(asked.size());
    if (asked.empty() || !reader())
        return shown;
    std::vector<history::ServerKey> servers;
    for (const ut3::QueryTarget &server : asked) {
        const auto queried = m_queriedAs.find({server.host, server.port});
        servers.push_back(keyOf(queried == m_queriedAs.end() ? server : queried->second.queried));
    }
    auto days = readDays(std::move(servers), now());
    if (!days)
        return shown;
    for (std::size_t i = 0; i < shown.size(); ++i)
        shown[i] = std::move((*days)[i]);
    return shown;
}

std::vector<ut3::QueryTarget> PlayerHistory::serversToPoll()
{
    std::vector<ut3::QueryTarget> targets;
    if (!reader())
        return targets;
    auto servers = read("servers to poll", [since = now() - m_setup.pollWindow, most = m_setup.pollMax](history::Store &store) {
        return store.recentServers(since, most);
    });
    if (!servers)
        return targets;
    // Polls notice a fault's end while nobody looks at a page.
    unavailable();
    std::vector<PolledServer> lookedUp;
    for (const history::RecentServer &server : *servers)
        lookedUp.push_back({{server.server.address, server.server.queryPort}, server.asked ? server.asked->webPort : std::uint16_t(0), false});
    const auto polled = composePollList(m_listed, lookedUp, m_setup.pollMax);
    m_board.setServers(polled);
    for (const PolledServer &server : polled)
        targets.push_back(server.target);
    return targets;
}

void PlayerHistory::polled(const ut3::QueryTarget &server, const ut3::QueryResult &result)
{
    m_board.polled(server, result);
}

std::uint16_t PlayerHistory::webPort(const history::ServerKey &server)
{
    if (const std::uint16_t polled = m_board.webPort({server.address, server.queryPort}))
        return polled;
    // A server looked up but not polled (polling off, say): as it was asked for.
    for (const auto &[asked, lookup] : m_queriedAs)
        if (lookup.queried.host == server.address && lookup.queried.port == server.queryPort && lookup.webPort)
            return lookup.webPort;
    return 0;
}

history::Expected<std::vector<history::NamedSession>> PlayerHistory::playerSessions(std::string_view name)
{
    if (!m_setup.keepNames)
        return ServerHistory::playerSessions(name);
    if (!reader())
        return history::Fault{history::FaultKind::other, unavailable().value_or("the history file cannot be read")};
    return read("player sessions", [name = std::string(name), since = now() - m_setup.keep, online = onlineSince()](history::Store &store) {
        return store.sessionsOf(name, since, online, MaxPlayerSessions);
    });
}

}
