// The pages that read the whole history at once, made by the service as it
// answers them: the live board of 1,000 polled servers (HTML and JSON), the
// start page with "Live now", and a player's page for a name with about 200
// sessions. On a history that bench_history filled and left (--keep), in
// its SQLite file and, with --postgres=URI, in that PostgreSQL database.
// Every figure is printed as "backend_name value unit".
#include "queryd/playerhistory.h"
#include "queryd/service.h"

#include "history/postgres.h"

#include <boost/asio/io_context.hpp>

#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <algorithm>
#include <utility>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <time.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int servers = 1000;
    int days = 30;
    int rounds = 200;
    std::string file;     // the SQLite history
    std::string postgres; // a PostgreSQL history beside it
};

const char *backendName = "sqlite";

// This thread's processor time: on a machine shared with other work, wall
// times include waiting for a processor; this does not.
double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// As bench_history numbers its servers and ends its fill.
std::string address(int index)
{
    return "10." + std::to_string(index / 65536 % 256) + "." + std::to_string(index / 256 % 256) + "." + std::to_string(index % 256);
}

history::Seconds endOfFill(const Options &options)
{
    return history::Seconds(std::chrono::seconds(1793491200 + options.days * 288LL * 300 - 1));
}

[[noreturn]] void fail(const std::string &why)
{
    std::fprintf(stderr, "bench_pages: %s\n", why.c_str());
    std::exit(1);
}

// Prints the median and the 99th percentile in milliseconds; gives back the
// latter.
double printTimes(const char *name, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    const auto at = [&](double share) { return times[std::min(times.size() - 1, static_cast<std::size_t>(share * static_cast<double>(times.size())))]; };
    std::printf("%s_%s_median %.3f ms\n%s_%s_p99 %.3f ms\n", backendName, name, at(0.5), backendName, name, at(0.99));
    return at(0.99);
}

// The name whose sessions in the kept days come closest to 200.
std::string nameWith200Sessions(const Options &options, bool postgres)
{
    const char *sql = "SELECT n.name FROM names n JOIN sessions s ON s.name_id = n.id GROUP BY n.id, n.name "
                      "ORDER BY abs(count(*) - 200), n.name LIMIT 1";
    if (postgres) {
        auto connection = history::postgres::Connection::open(options.postgres);
        if (!connection)
            fail(connection.fault().message);
        auto rows = connection->query(sql, "Cannot pick a name");
        if (!rows || rows->rows() == 0)
            fail(rows ? "no names" : rows.fault().message);
        return rows->text(0, 0);
    }
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(options.file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail("cannot open " + options.file);
    sqlite3_stmt *statement = nullptr;
    std::string name;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        name = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    if (name.empty())
        fail("no names in " + options.file);
    return name;
}

// A poll round's answers, as the poller hands them to the history.
void pollRound(queryd::PlayerHistory &history, const Options &options, history::Seconds now)
{
    const double hour = static_cast<double>(now.time_since_epoch().count() % 86400) / 3600.0;
    for (int i = 0; i < options.servers; ++i) {
        ut3::QueryResult result;
        result.query = {address(i), 6500};
        result.state = i % 50 == 7 ? ut3::QueryState::timeout : ut3::QueryState::online;
        if (result.state == ut3::QueryState::online) {
            ut3::ServerStatus status;
            status.server.name = "Server " + std::to_string(i) + " <&> \"Fragfest\"";
            status.server.map = i % 3 ? "DM-Deck" : "VCTF-Suspense";
            status.server.gameMode = "UTDeathmatch";
            status.server.numPlayers = std::lround((4 + i % 12) * (1 + std::sin((hour - 15) / 24 * 2 * M_PI)));
            status.server.maxPlayers = 32;
            status.server.bots = i % 4;
            result.status = std::move(status);
            result.pingMs = 20 + i % 40;
        }
        history.polled(result.query, result);
    }
}

void measure(const Options &options, const std::string &database)
{
    boost::asio::io_context io;
    const history::Seconds now = endOfFill(options);
    auto history = std::make_shared<queryd::PlayerHistory>(
        queryd::PlayerHistory::Setup{.database = database,
                                     .keep = std::chrono::days(30),
                                     .now = [now] { return now; },
                                     .utcOffset = [] { return std::chrono::seconds(0); }},
        [](std::string_view line) { std::fprintf(stderr, "%.*s\n", int(line.size()), line.data()); });
    std::vector<ut3::ListedServer> listed;
    for (int i = 0; i < options.servers; ++i)
        listed.push_back({{address(i), 6500}, 0, static_cast<std::size_t>(i + 1)});
    history->setListedServers(std::move(listed));
    const auto before = Clock::now();
    const auto polled = history->serversToPoll();
    std::printf("%s_board_first_poll_list %zu servers %.1f ms\n", backendName, polled.size(),
                std::chrono::duration<double, std::milli>(Clock::now() - before).count());
    pollRound(*history, options, now);

    queryd::ServiceOptions serviceOptions;
    auto service = queryd::Service::create(io, serviceOptions, history);
    const auto client = boost::asio::ip::make_address("127.0.0.1");
    std::vector<double> cpu;
    const auto page = [&](const std::string &target, std::vector<double> &times) {
        queryd::Response answer;
        const double cpuStart = cpuMs();
        const auto start = Clock::now();
        service->handle(target, client, [&answer](queryd::Response response) { answer = std::move(response); });
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        cpu.push_back(cpuMs() - cpuStart);
        if (answer.status != 200)
            fail(target + " answered " + std::to_string(answer.status) + ": " + answer.body.substr(0, 300));
        return answer.body;
    };
    struct Page {
        const char *name;
        std::string target;
        double target_ms;
    };
    const std::string name = nameWith200Sessions(options, backendName[0] == 'p');
    std::string encoded;
    for (const unsigned char c : name) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        encoded += std::isalnum(c) ? std::string(1, char(c)) : hex;
    }
    // Between two polls the board is rendered once for many requests; while
    // a round goes on, each answer makes the next request render it again.
    int polledIndex = 0;
    const auto oneAnswer = [&] {
        ut3::QueryResult result;
        result.query = {address(polledIndex++ % options.servers), 6500};
        result.state = ut3::QueryState::online;
        result.status = ut3::ServerStatus{};
        result.status->server.name = "Answered again";
        result.status->server.numPlayers = polledIndex % 7;
        history->polled(result.query, result);
    };
    for (const Page &measured : {Page{"servers_html_during_a_round", "/servers", 10},
                                 Page{"servers_json_during_a_round", "/servers?format=json", 10},
                                 Page{"start_page_during_a_round", "/Zyr/04query.html", 10}}) {
        std::vector<double> times;
        for (int i = 0; i < options.rounds; ++i) {
            oneAnswer();
            page(measured.target, times);
        }
        const double p99 = printTimes(measured.name, times);
        printTimes((measured.name + std::string("_cpu")).c_str(), std::exchange(cpu, {}));
        std::printf("%s_target_%s_p99_under_%.0fms %s\n", backendName, measured.name, measured.target_ms,
                    p99 < measured.target_ms ? "met" : "missed");
    }
    for (const Page &measured : {Page{"servers_html", "/servers", 10}, Page{"servers_json", "/servers?format=json", 10},
                                 Page{"servers_filtered_html", "/servers?q=deck&players=1", 10},
                                 Page{"start_page", "/Zyr/04query.html", 10},
                                 Page{"player_page", "/player?name=" + encoded, 20},
                                 Page{"player_page_json", "/player?name=" + encoded + "&format=json", 20}}) {
        std::vector<double> times;
        std::string body;
        for (int i = 0; i < options.rounds; ++i)
            body = page(measured.target, times);
        const double p99 = printTimes(measured.name, times);
        printTimes((measured.name + std::string("_cpu")).c_str(), std::exchange(cpu, {}));
        std::printf("%s_%s_bytes %zu B\n", backendName, measured.name, body.size());
        if (measured.target.ends_with("format=json") && measured.target.starts_with("/player"))
            std::printf("%s_player_sessions %zu\n", backendName, nlohmann::json::parse(body)["sessions"].size());
        if (measured.target.ends_with("format=json") && measured.target.starts_with("/servers"))
            std::printf("%s_board_servers %zu\n", backendName, nlohmann::json::parse(body)["servers"].size());
        std::printf("%s_target_%s_p99_under_%.0fms %s\n", backendName, measured.name, measured.target_ms,
                    p99 < measured.target_ms ? "met" : "missed");
    }
}

}

int main(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with("--servers="))
            options.servers = std::atoi(argv[i] + 10);
        else if (arg.starts_with("--days="))
            options.days = std::atoi(argv[i] + 7);
        else if (arg.starts_with("--rounds="))
            options.rounds = std::atoi(argv[i] + 9);
        else if (arg.starts_with("--file="))
            options.file = arg.substr(7);
        else if (arg.starts_with("--postgres=") && history::postgres::isUri(arg.substr(11)))
            options.postgres = arg.substr(11);
        else
            fail("usage: bench_pages --file=HISTORY.sqlite3 [--postgres=URI] [--servers=1000] [--days=30] [--rounds=200]\n"
                 "on a history filled by bench_history --keep with the same --servers and --days");
    }
    if (options.rounds < 1)
        fail("--rounds must be 1 or more");
    std::printf("servers %d\ndays %d\n", options.servers, options.days);
    if (!options.file.empty())
        measure(options, options.file);
    if (!options.postgres.empty()) {
        backendName = "postgresql";
        measure(options, options.postgres);
    }
    return 0;
}
