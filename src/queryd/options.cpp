#include "queryd/options.h"

#include "queryd/listenaddress.h"
#include "queryd/optionrows.h"

#include "common/address.h"

namespace queryd {

namespace {

constexpr std::string_view Program = "skirvane-queryd";

using common::Done;
using common::Expected;
using common::Fault;
using Value = std::optional<std::string_view>;

// What --help and --version ask for.
enum class Request { none, help, version };

std::vector<common::Option> serviceRows(ServiceOptions &o, Request &request)
{
    return {
        {"--listen", {}, "ADDR:PORT",
         "listen on ADDR:PORT (repeatable; IPv6 in brackets, port 0 for any free port); default 127.0.0.1:8650 and "
         "[::1]:8650, or the sockets systemd hands over",
         [&](std::string_view spelling, Value text) -> Expected<Done> {
             const auto endpoint = text ? parseListenAddress(*text) : std::nullopt;
             if (!endpoint)
                 return needs(spelling, "an address and port, such as 127.0.0.1:8650 or [::1]:8650", text);
             o.listen.push_back(*endpoint);
             return Done{};
         }},
        flagOption("--public",
                   "the service is reachable from the internet: refuse to query loopback, private, shared, link-local, "
                   "multicast, broadcast and unique-local addresses (403), and answer requests for any host name unless "
                   "--allow-host names some",
                   [&] { o.publicService = true; }),
        {"--allow-host", {}, "NAME",
         "answer requests for the host name NAME (repeatable). Requests are answered for IP addresses, localhost and "
         "these names only (403 for others), so that no web page can drive the service through a name of its own that "
         "resolves to this machine; with --public and no --allow-host, for any name",
         [&](std::string_view spelling, Value text) -> Expected<Done> {
             if (!text || !common::isHostHeaderName(*text))
                 return needs(spelling, "a host name, such as query.example.org", text);
             o.allowedHosts.emplace_back(*text);
             return Done{};
         }},
        numberOption<long>("--cache-seconds", "N",
                           "keep each server's result N seconds (default 5); a server is queried at most once in that time",
                           1, 3600, [&](long v) { o.cacheTime = std::chrono::seconds(v); }),
        numberOption<long>("--query-timeout-ms", "MS",
                           "give a game server MS milliseconds to answer (default 2000); a server given by name has as "
                           "long again for the name's lookup",
                           100, 60000, [&](long v) { o.queryTimeout = std::chrono::milliseconds(v); }),
        numberOption<long>("--refresh-seconds", "N", "status pages reload themselves every N seconds (default 15; 0: never)",
                           0, 86400, [&](long v) { o.refresh = std::chrono::seconds(v); }),
        numberOption<long>("--idle-exit", "N", "end after N seconds without requests (default 0: never); for socket activation",
                           0, 86400 * 365, [&](long v) { o.idleExit = std::chrono::seconds(v); }),
        numberOption<std::size_t>("--max-request-bytes", "N", "answer 431 to a request head larger than N bytes (default 8192)",
                                  256, 1024 * 1024, [&](std::size_t v) { o.limits.maxRequestBytes = v; }),
        numberOption<long>("--header-timeout", "N",
                           "close a connection whose request head is not complete N seconds after the connection opens "
                           "or the head begins (default 10)",
                           1, 3600, [&](long v) { o.limits.headerTimeout = std::chrono::seconds(v); }),
        numberOption<long>("--write-timeout", "N",
                           "close a connection that has not taken its whole answer within N seconds (default 10)", 1, 3600,
                           [&](long v) { o.limits.writeTimeout = std::chrono::seconds(v); }),
        numberOption<long>("--keep-alive-timeout", "N",
                           "close a kept-alive connection that begins no next request within N seconds of its last "
                           "answer (default 10)",
                           1, 3600, [&](long v) { o.limits.keepAliveTimeout = std::chrono::seconds(v); }),
        numberOption<std::size_t>("--max-connections", "N", "answer 503 to connections beyond N open at once (default 512)",
                                  1, 1000000, [&](std::size_t v) { o.limits.maxConnections = v; }),
        numberOption<std::size_t>(
            "--max-client-connections", "N",
            "answer 503 to connections beyond N open at once from one client address (default 32; 0: no limit)", 0,
            1000000, [&](std::size_t v) { o.limits.maxClientConnections = v; }),
        numberOption<std::size_t>("--max-queries", "N",
                                  "answer 503 while N game servers are being queried at once (default 256)", 1, 100000,
                                  [&](std::size_t v) { o.limits.maxQueriesInFlight = v; }),
        numberOption<unsigned>(
            "--client-rate", "N",
            "answer 429 to a client address sending more than N requests per second, bursts of 2N (default 20; 0: no limit)",
            0, 10000000, [&](unsigned v) { o.limits.clientRate = v; }),
        numberOption<std::size_t>(
            "--cache-mib", "N",
            "keep at most N MiB of rendered pages to serve again (default 64); the least recently used go first", 1,
            1024 * 1024, [&](std::size_t v) { o.limits.cacheBytes = v * 1024 * 1024; }),
        flagOption("--help", "show this help and exit", [&] { request = Request::help; }, true),
        flagOption("--version", "show the version and exit", [&] { request = Request::version; }, true),
    };
}

common::CommandLine commandLine(ServiceOptions &options, Request &request)
{
    return {"Usage: skirvane-queryd [OPTION]...\n"
            "Serve the pages of Skirvane: the start page, the status page of a UT3 game\n"
            "server (queried over UDP and cached), the same as JSON, and the makers' site.\n"
            "\n",
            {{{}, serviceRows(options, request)}, historyOptionGroup(options.history), metricsOptionGroup(options.metrics)},
            "\n"
            "Each request is logged on standard error as one line: time, client, request,\n"
            "status and duration. SIGINT and SIGTERM end the service. Sockets handed over\n"
            "by systemd (LISTEN_FDS) are used instead of the default addresses.\n",
            {},
            [](std::string_view argument) { return "unknown option '" + std::string(argument) + "'."; }};
}

}

std::string_view version()
{
    return SKIRVANE_VERSION;
}

std::string versionLine()
{
    return std::string(Program) + " (Skirvane) " + std::string(version()) + "\n";
}

CommandLineOutcome parseCommandLine(const std::vector<std::string> &arguments)
{
    ServiceOptions options;
    Request request = Request::none;
    const common::CommandLine table = commandLine(options, request);
    if (const auto parsed = common::parseArguments(table, arguments); !parsed.ok())
        return CommandLineExit{2, std::string(Program) + ": " + parsed.fault().message + "\nTry '" + std::string(Program)
                                      + " --help' for more information.\n"};
    if (request == Request::help)
        return CommandLineExit{0, common::helpText(table)};
    if (request == Request::version)
        return CommandLineExit{0, versionLine()};
    return options;
}

}
