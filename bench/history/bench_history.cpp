// Fills a history as the service would with 1,000 servers polled every
// 5 minutes for 30 days, each with 16 named players who stay 20-90 minutes,
// then measures what a status page, the start page and the player search
// ask of it (--servers=10000 --days=7 for the largest the service is made
// for): in a SQLite file, and with --postgres=URI in that PostgreSQL
// database too, side by side in one run. Every figure is printed as
// "backend_name value unit".

#include "history/busiesthours.h"
#include "history/chart.h"
#include "history/postgres.h"
#include "history/postgresstore.h"
#include "history/sqlitestore.h"
#include "history/threadedstore.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <time.h>
#include <unistd.h>

using namespace history;
using Clock = std::chrono::steady_clock;

namespace {

struct Options
{
    int servers = 1000;
    int days = 30;
    // What the hourly prune keeps.
    int keepDays = 30;
    int pageRounds = 200;
    // Named players on each server at every poll; 0 for counts alone.
    int players = 16;
    std::filesystem::path folder;
    // Measure the pages on the file a previous run left (with --keep),
    // without filling it again.
    bool pagesOnly = false;
    // One prune of that history, step by step, and nothing else.
    bool pruneOnly = false;
    // Fill and measure the PostgreSQL database alone.
    bool postgresOnly = false;
    bool keep = false;
    // A PostgreSQL database to fill and measure beside the file; its tables
    // are dropped first.
    std::string postgres;
};

// The backend the figures being printed are of.
const char *backendName = "sqlite";

double ms(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// This thread's processor time in milliseconds: on a machine shared with
// other work, wall times include waiting for a processor; this does not.
double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000 + double(now.tv_nsec) / 1e6;
}

// Prints the median, 99th percentile and maximum of a set of times, in
// milliseconds; gives back the 99th percentile.
double printTimes(const char *name, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    const auto at = [&](double fraction) { return times[static_cast<std::size_t>(fraction * static_cast<double>(times.size() - 1))]; };
    std::printf("%s_%s_median %.3f ms\n%s_%s_p99 %.3f ms\n%s_%s_max %.3f ms\n", backendName, name, at(0.5), backendName, name,
                at(0.99), backendName, name, times.back());
    return at(0.99);
}

ServerKey server(int index)
{
    return {"10." + std::to_string(index / 65536 % 256) + "." + std::to_string(index / 256 % 256) + "." + std::to_string(index % 256), 6500};
}

// Busy in the evening, each server at its own level; about one answer in 50
// missing, as servers restart or packets are lost.
bool answers(int index, long long round)
{
    return (static_cast<unsigned long long>(index) * 2654435761u + static_cast<unsigned long long>(round) * 40503u) % 50 != 0;
}

int playersAt(int index, long long t)
{
    const double hour = static_cast<double>(t % 86400) / 3600.0;
    const double level = 4 + index % 12;
    return static_cast<int>(std::lround(level * (1 + std::sin((hour - 15) / 24 * 2 * M_PI))));
}

Options parse(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&](std::string_view name) { return arg.starts_with(name) ? std::atoi(argv[i] + name.size()) : -1; };
        if (value("--servers=") > 0)
            options.servers = value("--servers=");
        else if (value("--days=") > 0)
            options.days = value("--days=");
        else if (value("--keep-days=") > 0)
            options.keepDays = value("--keep-days=");
        else if (value("--players=") >= 0)
            options.players = value("--players=");
        else if (value("--page-rounds=") > 0)
            options.pageRounds = value("--page-rounds=");
        else if (arg == "--pages-only")
            options.pagesOnly = options.keep = true;
        else if (arg == "--prune-only")
            options.pruneOnly = options.pagesOnly = options.keep = true;
        else if (arg == "--postgres-only")
            options.postgresOnly = true;
        else if (arg == "--keep")
            options.keep = true;
        else if (arg.starts_with("--folder="))
            options.folder = std::string(arg.substr(9));
        else if (arg.starts_with("--postgres=") && postgres::isUri(arg.substr(11)))
            options.postgres = std::string(arg.substr(11));
        else {
            std::fprintf(stderr, "usage: bench_history [--servers=1000] [--days=30] [--keep-days=30] [--page-rounds=200] [--players=16] [--folder=DIR] [--keep] [--pages-only | --prune-only]\n"
                                 "                     [--postgres-only]\n"
                                 "                     [--postgres=postgresql://USER@HOST/DB]\n");
            std::exit(2);
        }
    }
    if (options.folder.empty())
        options.folder = std::filesystem::temp_directory_path() / ("skirvane-bench-history-" + std::to_string(::getpid()));
    return options;
}

// 2026-11-01 00:00 UTC; the fill goes on from there every 5 minutes.
constexpr long long fillStart = 1793491200;

Seconds endOfFill(const Options &options)
{
    return Seconds(std::chrono::seconds(fillStart + options.days * 288LL * 300 - 1));
}

void fail(const Fault &fault)
{
    std::fprintf(stderr, "%s\n", fault.message.c_str());
    std::exit(1);
}

// Player names as game servers show them: made of syllables, some with a
// clan tag, a number or a decoration, from a population of regulars.
std::vector<std::string> namePool(std::size_t count)
{
    static constexpr const char *syllables[] = {"ka", "zo", "rin", "dar", "vex", "lo", "mi", "tor", "quen", "sha",
                                                "gri", "bel", "nox", "fa", "ul", "tek", "ra", "yon", "pi", "dru"};
    static constexpr const char *tags[] = {"", "", "", "[UTR]", "{DoD}", "=AK=", "|TKD|", "xX"};
    std::mt19937 random(17);
    std::vector<std::string> names;
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string name = tags[random() % std::size(tags)];
        for (unsigned k = 0, n = 2 + random() % 3; k < n; ++k)
            name += syllables[random() % std::size(syllables)];
        name[name.find_first_not_of("[{=|xX")] &= ~0x20; // a capital letter
        if (random() % 3 == 0)
            name += std::to_string(random() % 1000);
        names.push_back(std::move(name));
    }
    return names;
}

// Who is on each server: every seat holds a player from the pool until a
// leave time 20-90 minutes after joining, when the next one takes it.
class Seats final
{
public:
    Seats(int servers, int seats, const std::vector<std::string> &pool)
        : m_pool(pool), m_seats(static_cast<std::size_t>(servers) * static_cast<std::size_t>(seats)), m_perServer(seats)
    {
    }

    std::vector<std::string> at(int server, long long t)
    {
        std::vector<std::string> names;
        for (int seat = 0; seat < m_perServer; ++seat) {
            Seat &taken = m_seats[static_cast<std::size_t>(server * m_perServer + seat)];
            if (taken.leaves <= t) {
                taken.name = m_random() % m_pool.size();
                // The first players have been there a while already.
                const long long stay = 1200 + static_cast<long long>(m_random() % 4201);
                taken.leaves = taken.leaves == 0 ? t + stay * (1 + seat) / (1 + m_perServer) + 1 : t + stay;
            }
            names.push_back(m_pool[taken.name]);
        }
        return names;
    }

private:
    struct Seat {
        std::size_t name = 0;
        long long leaves = 0;
    };
    const std::vector<std::string> &m_pool;
    std::vector<Seat> m_seats;
    int m_perServer;
    std::mt19937_64 m_random{42};
};

const std::vector<std::string> &players()
{
    static const std::vector<std::string> pool = namePool(50000);
    return pool;
}

// A prune step by step, as the writer thread prunes between its writes:
// each step is a pause of the writer, added to `steps`.
void pruneByStep(Store &store, Seconds before, std::vector<double> &steps)
{
    for (bool finished = false; !finished;) {
        const auto start = Clock::now();
        auto step = store.pruneStep(before);
        if (!step)
            fail(step.fault());
        finished = *step;
        steps.push_back(ms(Clock::now() - start));
    }
}

// Every server polled every 5 minutes, pruned every simulated hour as the
// writer thread does, keeping 30 days; then every server looked up. The
// longest step of a prune is the longest the writer waits in it.
void fill(Store &store, const std::function<double()> &databaseBytes, const Options &options)
{
    const long long rounds = options.days * 288LL;
    std::vector<double> roundTimes, roundCpu, pruneTimes, pruneSteps;
    // Where the longest pause came: which hour, and which step of its prune
    // (the last one drops what nothing refers to any more).
    double longest = -1;
    long long longestHour = 0;
    std::size_t longestStep = 0, longestOf = 0;
    long long samples = 0, playerSamples = 0;
    std::vector<Sample> round;
    Seats seats(options.servers, options.players, players());
    const auto started = Clock::now();
    for (long long r = 0; r < rounds; ++r) {
        const long long t = fillStart + r * 300;
        round.clear();
        for (int index = 0; index < options.servers; ++index) {
            // Every seat taken at every poll, answered or not.
            std::vector<std::string> names = seats.at(index, t);
            if (answers(index, r)) {
                playerSamples += static_cast<long long>(names.size());
                round.push_back({server(index), Seconds(std::chrono::seconds(t)),
                                 options.players > 0 ? options.players : playersAt(index, t), index % 3,
                                 "DM-Map" + std::to_string(index % 40), "Server " + std::to_string(index), std::move(names)});
            }
        }
        samples += static_cast<long long>(round.size());
        const auto before = Clock::now();
        const double cpuBefore = cpuMs();
        if (auto done = store.record(round); !done.ok())
            fail(done.fault());
        roundTimes.push_back(ms(Clock::now() - before));
        roundCpu.push_back(cpuMs() - cpuBefore);
        if (r % 12 == 0) {
            const std::size_t first = pruneSteps.size();
            pruneByStep(store, Seconds(std::chrono::seconds(t)) - std::chrono::days(options.keepDays), pruneSteps);
            pruneTimes.push_back(std::accumulate(pruneSteps.begin() + static_cast<std::ptrdiff_t>(first), pruneSteps.end(), 0.0));
            for (std::size_t step = first; step < pruneSteps.size(); ++step)
                if (pruneSteps[step] > longest) {
                    longest = pruneSteps[step];
                    longestHour = r / 12;
                    longestStep = step - first + 1;
                    longestOf = pruneSteps.size() - first;
                }
        }
    }
    std::printf("%s_fill_total %.1f s\n", backendName, ms(Clock::now() - started) / 1000);
    printTimes("insert_round", roundTimes);
    printTimes("insert_round_cpu", roundCpu);
    double cpuTotal = 0;
    for (double cpu : roundCpu)
        cpuTotal += cpu;
    std::printf("%s_insert_cpu_per_sample %.2f us\n", backendName, cpuTotal * 1000 / static_cast<double>(samples));
    printTimes("prune_hourly", pruneTimes);
    std::printf("%s_prune_steps_per_hour %.1f\n", backendName, static_cast<double>(pruneSteps.size()) / static_cast<double>(pruneTimes.size()));
    printTimes("prune_writer_pause", pruneSteps);
    std::printf("%s_prune_longest_pause_at hour %lld, step %zu of %zu\n", backendName, longestHour, longestStep, longestOf);
    std::printf("%s_target_prune_writer_pause_under_100ms %s\n", backendName, longest < 100 ? "met" : "missed");
    std::printf("%s_samples %lld\n%s_player_samples %lld\n", backendName, samples, backendName, playerSamples);
    {
        const double bytes = databaseBytes();
        std::printf("%s_database_bytes_per_sample %.1f B\n", backendName, bytes / static_cast<double>(samples));
        if (playerSamples > 0)
            std::printf("%s_database_bytes_per_player_sample %.2f B\n", backendName, bytes / static_cast<double>(playerSamples));
    }
    // SQLite: the round of counts alone took 23.9 ms (median) on the
    // reference machine, and names may at most double it. PostgreSQL on the
    // same machine: 200 ms.
    std::sort(roundTimes.begin(), roundTimes.end());
    // Both in proportion to the servers: 2 s for 10,000.
    const double limit = (std::string_view(backendName) == "sqlite" ? 47.8 : 200) * options.servers / 1000;
    std::printf("%s_target_insert_round_median_under_%gms %s\n", backendName, limit,
                roundTimes[roundTimes.size() / 2] < limit ? "met" : "missed");

    const Seconds now = endOfFill(options);
    for (int index = 0; index < options.servers; ++index)
        if (auto done = store.noteLookup(server(index), {}, now - std::chrono::minutes(index)); !done.ok())
            fail(done.fault());

    // What a caller on the event loop would pay per sample written at once,
    // each in a transaction of its own: the next poll's answers, so that the
    // servers' sessions go on for the pages measured after.
    std::vector<double> singleTimes;
    const long long nextPoll = fillStart + rounds * 300;
    for (int i = 0; i < std::min(500, options.servers); ++i) {
        std::vector<std::string> names = seats.at(i, nextPoll);
        const int count = options.players > 0 ? static_cast<int>(names.size()) : playersAt(i, nextPoll);
        const Sample sample{server(i), Seconds(std::chrono::seconds(nextPoll)), count, 0, "DM-Deck", "Server " + std::to_string(i),
                            options.players > 0 ? std::move(names) : std::vector<std::string>{}};
        const auto before = Clock::now();
        if (auto done = store.record(std::span(&sample, 1)); !done.ok())
            fail(done.fault());
        singleTimes.push_back(ms(Clock::now() - before));
    }
    printTimes("insert_single_transaction", singleTimes);
}

// A status page's history part, the start page's sparklines and player
// searches, on a connection of their own as the service reads them from its
// event loop (PostgreSQL through the thread pages ask it on); `writer`, when
// given, writes to the same history in between. Gives back the history
// part's 99th percentile in wall time.
double measurePages(Store *reader, Store *writer, const Options &options)
{
    const Seconds now = endOfFill(options);
    std::vector<double> pageTimes, pageCpu, seriesTimes, busiestTimes, chartTimes, seenTimes;
    std::size_t seenNames = 0;
    std::size_t bytes = 0;
    for (int i = 0; i < options.pageRounds; ++i) {
        const ServerKey key = server(i * 7919 % options.servers);
        const double cpuBefore = cpuMs();
        const auto t0 = Clock::now();
        auto day = reader->series(key, now);
        const auto t1 = Clock::now();
        auto averages = reader->hourlyAverages(key, now - std::chrono::days(7), now, std::chrono::hours(1));
        const auto busiest = averages ? busiestHours(*averages) : std::nullopt;
        const std::string sentence = busiest ? busiestSentence(*busiest, "last 7 days") : "";
        const auto t2 = Clock::now();
        const std::string svg = day ? dayChart(*day, std::chrono::hours(1)) : "";
        const auto t3 = Clock::now();
        auto seen = reader->playersSeen(key, now - std::chrono::hours(24), now - std::chrono::minutes(10));
        if (!seen)
            fail(seen.fault());
        seenNames += seen->size();
        const auto t4 = Clock::now();
        pageCpu.push_back(cpuMs() - cpuBefore);
        if (!day || !averages || !busiest) {
            std::fprintf(stderr, "page %d: no full history\n", i);
            std::exit(1);
        }
        bytes = svg.size() + sentence.size();
        seriesTimes.push_back(ms(t1 - t0));
        busiestTimes.push_back(ms(t2 - t1));
        chartTimes.push_back(ms(t3 - t2));
        seenTimes.push_back(ms(t4 - t3));
        pageTimes.push_back(ms(t4 - t0));
    }
    const double pageP99 = printTimes("page_history", pageTimes);
    printTimes("page_history_cpu", pageCpu);
    printTimes("page_series_24h", seriesTimes);
    printTimes("page_busiest_7d", busiestTimes);
    printTimes("page_chart_svg", chartTimes);
    printTimes("page_seen_24h", seenTimes);
    std::printf("%s_page_seen_names_mean %.1f\n", backendName, static_cast<double>(seenNames) / static_cast<double>(options.pageRounds));
    std::printf("%s_page_history_bytes %zu B\n", backendName, bytes);

    std::vector<double> startTimes;
    for (int i = 0; i < std::max(1, options.pageRounds / 10); ++i) {
        const auto before = Clock::now();
        auto recent = reader->recentServers(now - std::chrono::days(7), 20);
        if (!recent)
            fail(recent.fault());
        std::vector<ServerKey> servers;
        for (const auto &entry : *recent)
            servers.push_back(entry.server);
        auto days = reader->seriesOf(servers, now);
        if (!days)
            fail(days.fault());
        std::string html;
        for (const Series &day : *days)
            html += sparkline(day);
        startTimes.push_back(ms(Clock::now() - before));
    }
    printTimes("start_page_20_sparklines", startTimes);

    // Parts of names as people type them: 3 to 6 letters of a regular's name.
    // Between two writes, then each right after another connection wrote a
    // user's lookup, then the first after a poll round: what the reader
    // keeps of the file is brought up to date before it searches.
    std::mt19937 random(7);
    const auto searchText = [&random] {
        const std::string &name = players()[random() % players().size()];
        const std::size_t length = std::min<std::size_t>(name.size(), 3 + random() % 4);
        return name.substr(random() % (name.size() - length + 1), length);
    };
    const auto search = [&](const std::string &text, std::vector<double> &times) {
        const auto before = Clock::now();
        auto matches = reader->searchPlayers(text, now - std::chrono::days(7), now - std::chrono::minutes(10), 100);
        times.push_back(ms(Clock::now() - before));
        if (!matches)
            fail(matches.fault());
        return matches->size();
    };
    std::vector<double> searchTimes, afterLookupTimes, afterRoundTimes;
    std::size_t rows = 0, capped = 0;
    for (int i = 0; i < options.pageRounds; ++i) {
        const std::size_t found = search(searchText(), searchTimes);
        rows += found;
        capped += found == 100;
    }
    double searchP99 = printTimes("player_search", searchTimes);
    std::printf("%s_player_search_rows_mean %.1f\n%s_player_search_capped %zu of %d\n", backendName,
                static_cast<double>(rows) / static_cast<double>(options.pageRounds), backendName, capped, options.pageRounds);
    if (writer) {
        // The servers' next answers: a minute after their latest, with the
        // same players on.
        auto recent = reader->recentServers(now - std::chrono::days(7), static_cast<std::size_t>(options.servers));
        if (!recent || recent->empty())
            fail(recent ? Fault{FaultKind::other, "no server was looked up"} : recent.fault());
        std::vector<Sample> answers;
        for (const RecentServer &entry : *recent) {
            Sample answer = entry.latest.value_or(Sample{entry.server, now});
            answer.time += std::chrono::minutes(1);
            answer.names.clear();
            auto seen = reader->playersSeen(entry.server, answer.time - std::chrono::hours(1), answer.time - std::chrono::minutes(10));
            if (!seen)
                fail(seen.fault());
            for (const SeenPlayer &player : *seen)
                if (player.online)
                    answer.names.push_back(player.name);
            answers.push_back(std::move(answer));
        }
        const auto write = [&](std::span<Sample> batch) {
            if (auto done = writer->record(batch); !done.ok())
                fail(done.fault());
            for (Sample &answer : batch)
                answer.time += std::chrono::minutes(1);
        };
        // A user's lookup, as the service writes it: the answer, then the lookup.
        for (int i = 0; i < std::max(1, options.pageRounds / 4); ++i) {
            Sample &answer = answers[static_cast<std::size_t>(i) % answers.size()];
            const ServerKey key = answer.server;
            write(std::span(&answer, 1));
            if (auto done = writer->noteLookup(key, {key.address, key.queryPort, 0}, now); !done.ok())
                fail(done.fault());
            search(searchText(), afterLookupTimes);
        }
        searchP99 = std::max(searchP99, printTimes("player_search_after_a_lookup", afterLookupTimes));
        // The first search after a poll round of every server.
        for (int i = 0; i < 10; ++i) {
            write(answers);
            search(searchText(), afterRoundTimes);
        }
        searchP99 = std::max(searchP99, printTimes("player_search_after_a_round", afterRoundTimes));
    }
    std::printf("%s_target_player_search_p99_under_20ms %s\n", backendName, searchP99 < 20 ? "met" : "missed");

    const auto pollStart = Clock::now();
    auto polled = reader->serversLookedUpSince(now - std::chrono::days(7));
    std::printf("%s_poll_list %zu servers %.3f ms\n", backendName, polled ? polled->size() : 0, ms(Clock::now() - pollStart));

    return pageP99;
}

// What the database takes on disk, its tables' indexes and catalogue included.
double databaseBytes(const std::string &uri)
{
    auto connection = postgres::Connection::open(uri);
    if (!connection)
        fail(connection.fault());
    auto size = connection->query("SELECT pg_database_size(current_database())", "Cannot measure");
    if (!size)
        fail(size.fault());
    return static_cast<double>(size->integer(0, 0));
}

// The hourly prune of the history a fill left, step by step as the writer
// thread prunes: the writer's pauses in it, and where the longest came.
void measurePrune(Store &store, const Options &options)
{
    std::vector<double> steps;
    pruneByStep(store, endOfFill(options) - std::chrono::days(options.keepDays), steps);
    const auto longest = std::max_element(steps.begin(), steps.end());
    printTimes("prune_only_writer_pause", steps);
    std::printf("%s_prune_only_longest_pause_at step %td of %zu\n", backendName, longest - steps.begin() + 1, steps.size());
}

// Empties the database: the tables of an earlier run go.
void emptyDatabase(const std::string &uri)
{
    auto connection = postgres::Connection::open(uri);
    if (!connection)
        fail(connection.fault());
    if (auto done = connection->script("DROP TABLE IF EXISTS skirvane_history, servers, maps, samples, names, sessions, open_sessions; "
                                       "DROP FUNCTION IF EXISTS skirvane_sessions_ended",
                                       "Cannot empty"); !done.ok())
        fail(done.fault());
}

}

int main(int argc, char **argv)
{
    // Figures as they come: a large fill takes a while.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const Options options = parse(argc, argv);
    const auto path = options.folder / "history.sqlite3";
    std::printf("servers %d\ndays %d\n", options.servers, options.days);
    if (!options.postgresOnly) {
        if (!options.pagesOnly) {
            std::filesystem::remove_all(options.folder);
            auto store = SqliteStore::open(path);
            if (!store)
                fail(store.fault());
            fill(**store, [&path] { return static_cast<double>(std::filesystem::file_size(path)); }, options);
        }
        if (options.pruneOnly) {
            auto store = SqliteStore::open(path);
            if (!store)
                fail(store.fault());
            measurePrune(**store, options);
            return 0;
        }
        const auto wal = std::filesystem::path(path.string() + "-wal");
        std::printf("sqlite_database_bytes %ju\nsqlite_wal_bytes %ju\n", std::filesystem::file_size(path),
                    std::filesystem::exists(wal) ? std::filesystem::file_size(wal) : 0);
        auto reader = SqliteStore::open(path);
        auto writer = SqliteStore::open(path);
        if (!reader || !writer)
            fail(reader ? writer.fault() : reader.fault());
        const double pageP99 = measurePages(reader->get(), writer->get(), options);
        std::printf("sqlite_target_page_history_p99_under_20ms %s\n", pageP99 < 20 ? "met" : "missed");
        if (!options.keep)
            std::filesystem::remove_all(options.folder);
    }

    if (!options.postgres.empty()) {
        backendName = "postgresql";
        if (!options.pagesOnly) {
            emptyDatabase(options.postgres);
            auto store = PostgresStore::open(options.postgres);
            if (!store)
                fail(store.fault());
            fill(**store, [&options] { return databaseBytes(options.postgres); }, options);
        }
        if (options.pruneOnly) {
            auto store = PostgresStore::open(options.postgres);
            if (!store)
                fail(store.fault());
            measurePrune(**store, options);
            return 0;
        }
        ThreadedStore pages(PostgresStore::opener(options.postgres), postgres::withoutPassword(options.postgres), {},
                            std::chrono::seconds(10));
        const double postgresP99 = measurePages(&pages, nullptr, options);
        std::printf("postgresql_target_page_history_p99_under_30ms %s\n", postgresP99 < 30 ? "met" : "missed");
    }
    return 0;
}
