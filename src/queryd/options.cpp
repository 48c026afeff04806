#include "queryd/options.h"
#include "ut3/number.h"

#include "queryd/listenaddress.h"
#include "queryd/requesthead.h"

#include <algorithm>
#include <optional>
#include <functional>
#include <string_view>

namespace queryd {

namespace {

constexpr std::string_view Program = "skirvane-queryd";

struct NumberOption {
    std::string_view name;
    std::string_view argument;
    std::string_view help;
    unsigned long long lowest, highest;
    std::function<void(ServiceOptions &, unsigned long long)> apply;
};

const std::vector<NumberOption> &numberOptions()
{
    static const std::vector<NumberOption> options = {
        {"--cache-seconds", "N", "keep each server's result N seconds (default 5); a server is queried at most once in that time",
         1, 3600, [](ServiceOptions &o, auto v) { o.cacheTime = std::chrono::seconds(v); }},
        {"--query-timeout-ms", "MS", "give a game server MS milliseconds to answer (default 2000)", 100, 60000,
         [](ServiceOptions &o, auto v) { o.queryTimeout = std::chrono::milliseconds(v); }},
        {"--refresh-seconds", "N", "status pages reload themselves every N seconds (default 15; 0: never)", 0, 86400,
         [](ServiceOptions &o, auto v) { o.refresh = std::chrono::seconds(v); }},
        {"--idle-exit", "N", "end after N seconds without requests (default 0: never); for socket activation", 0,
         86400 * 365, [](ServiceOptions &o, auto v) { o.idleExit = std::chrono::seconds(v); }},
        {"--max-request-bytes", "N", "answer 431 to a request head larger than N bytes (default 8192)", 256,
         1024 * 1024, [](ServiceOptions &o, auto v) { o.limits.maxRequestBytes = v; }},
        {"--header-timeout", "N",
         "close a connection whose request head is not complete N seconds after the connection opens or the head "
         "begins (default 10)",
         1, 3600, [](ServiceOptions &o, auto v) { o.limits.headerTimeout = std::chrono::seconds(v); }},
        {"--write-timeout", "N", "close a connection that has not taken its whole answer within N seconds (default 10)",
         1, 3600, [](ServiceOptions &o, auto v) { o.limits.writeTimeout = std::chrono::seconds(v); }},
        {"--keep-alive-timeout", "N",
         "close a kept-alive connection that begins no next request within N seconds of its last answer (default 10)",
         1, 3600, [](ServiceOptions &o, auto v) { o.limits.keepAliveTimeout = std::chrono::seconds(v); }},
        {"--max-connections", "N", "answer 503 to connections beyond N open at once (default 512)", 1, 1000000,
         [](ServiceOptions &o, auto v) { o.limits.maxConnections = v; }},
        {"--max-client-connections", "N",
         "answer 503 to connections beyond N open at once from one client address (default 32; 0: no limit)", 0,
         1000000, [](ServiceOptions &o, auto v) { o.limits.maxClientConnections = v; }},
        {"--max-queries", "N", "answer 503 while N game servers are being queried at once (default 256)", 1, 100000,
         [](ServiceOptions &o, auto v) { o.limits.maxQueriesInFlight = v; }},
        {"--client-rate", "N",
         "answer 429 to a client address sending more than N requests per second, bursts of 2N (default 20; 0: no limit)",
         0, 10000000, [](ServiceOptions &o, auto v) { o.limits.clientRate = static_cast<unsigned>(v); }},
        {"--cache-mib", "N",
         "keep at most N MiB of rendered pages to serve again (default 64); the least recently used go first", 1,
         1024 * 1024, [](ServiceOptions &o, auto v) { o.limits.cacheBytes = v * 1024 * 1024; }},
    };
    return options;
}

// "  --name ARG" then the help, words wrapped to 79 columns at column 24,
// the layout help2man reads.
std::string helpEntry(const std::string &head, std::string_view help)
{
    constexpr std::size_t column = 24, width = 79;
    std::string text = "  " + head;
    std::size_t lineStart = 0;
    if (text.size() + 2 > column) {
        text += "\n";
        lineStart = text.size();
    }
    text.resize(lineStart + column, ' ');
    bool first = true;
    while (!help.empty()) {
        const std::size_t blank = help.find(' ');
        const std::string_view word = help.substr(0, blank);
        help = blank == std::string_view::npos ? std::string_view() : help.substr(blank + 1);
        if (!first && text.size() - lineStart + 1 + word.size() > width) {
            text += "\n";
            lineStart = text.size();
            text.resize(lineStart + column, ' ');
            first = true;
        }
        if (!first)
            text += ' ';
        text += word;
        first = false;
    }
    return text + "\n";
}

std::string helpText()
{
    std::string text = "Usage: " + std::string(Program) + " [OPTION]...\n"
        "Serve the pages of Skirvane: the start page, the status page of a UT3 game\n"
        "server (queried over UDP and cached), the same as JSON, and the makers' site.\n"
        "\n"
        "  --listen ADDR:PORT    listen on ADDR:PORT (repeatable; IPv6 in brackets,\n"
        "                        port 0 for any free port); default 127.0.0.1:8650\n"
        "                        and [::1]:8650, or the sockets systemd hands over\n"
        "  --public              the service is reachable from the internet: refuse to\n"
        "                        query loopback, private, shared, link-local, multicast,\n"
        "                        broadcast and unique-local addresses (403), and answer\n"
        "                        requests for any host name unless --allow-host names\n"
        "                        some\n"
        "  --allow-host NAME     answer requests for the host name NAME (repeatable).\n"
        "                        Requests are answered for IP addresses, localhost and\n"
        "                        these names only (403 for others), so that no web page\n"
        "                        can drive the service through a name of its own that\n"
        "                        resolves to this machine; with --public and no\n"
        "                        --allow-host, for any name\n";
    for (const NumberOption &option : numberOptions())
        text += helpEntry(std::string(option.name) + " " + std::string(option.argument), option.help);
    text += "  --help                show this help and exit\n"
            "  --version             show the version and exit\n"
            "\n"
            "Each request is logged on standard error as one line: time, client, request,\n"
            "status and duration. SIGINT and SIGTERM end the service. Sockets handed over\n"
            "by systemd (LISTEN_FDS) are used instead of the default addresses.\n";
    return text;
}

CommandLineExit mistake(const std::string &what)
{
    return {2, std::string(Program) + ": " + what + "\nTry '" + std::string(Program) + " --help' for more information.\n"};
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

std::variant<ServiceOptions, CommandLineExit> parseCommandLine(const std::vector<std::string> &arguments)
{
    ServiceOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view name = arguments[i];
        std::optional<std::string_view> inlineValue;
        if (const std::size_t eq = name.find('='); name.starts_with("--") && eq != std::string_view::npos) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const auto value = [&]() -> std::optional<std::string_view> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < arguments.size())
                return std::string_view(arguments[++i]);
            return std::nullopt;
        };
        if (name == "--help" && !inlineValue)
            return CommandLineExit{0, helpText()};
        if (name == "--version" && !inlineValue)
            return CommandLineExit{0, versionLine()};
        if (name == "--public" && !inlineValue) {
            options.publicService = true;
            continue;
        }
        if (name == "--allow-host") {
            const auto text = value();
            if (!text || !isHostName(*text))
                return mistake("--allow-host needs a host name, such as query.example.org"
                               + (text ? "; it was '" + std::string(*text) + "'." : std::string(".")));
            options.allowedHosts.emplace_back(*text);
            continue;
        }
        if (name == "--listen") {
            const auto text = value();
            if (!text)
                return mistake("--listen needs an address and port, such as 127.0.0.1:8650 or [::1]:8650.");
            const auto endpoint = parseListenAddress(*text);
            if (!endpoint)
                return mistake("--listen needs an address and port, such as 127.0.0.1:8650 or [::1]:8650; it was '"
                               + std::string(*text) + "'.");
            options.listen.push_back(*endpoint);
            continue;
        }
        const auto option = std::find_if(numberOptions().begin(), numberOptions().end(),
                                         [&](const NumberOption &o) { return o.name == name; });
        if (option == numberOptions().end())
            return mistake("unknown option '" + std::string(arguments[i]) + "'.");
        const std::string range = std::to_string(option->lowest) + " to " + std::to_string(option->highest);
        const auto text = value();
        if (!text)
            return mistake(std::string(option->name) + " needs a number from " + range + ".");
        const auto number = ut3::wholeNumber<unsigned long long>(*text);
        if (!number || *number < option->lowest || *number > option->highest)
            return mistake(std::string(option->name) + " needs a number from " + range + "; it was '"
                           + std::string(*text) + "'.");
        option->apply(options, *number);
    }
    return options;
}

}
