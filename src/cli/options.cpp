#include "options.h"

#include "ut3/serverlist.h"
#include "ut3/target.h"

#include "common/number.h"
#include "common/options.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

namespace cli {

namespace {

using common::Done;
using common::Expected;
using common::Fault;

constexpr long longestTimeoutMs = 60'000;
constexpr long longestPacingUs = 1'000'000;

Expected<Done> addTarget(std::string_view text, std::vector<Source> &sources)
{
    const auto target = ut3::parseTarget(text);
    if (!target)
        return target.fault();
    sources.emplace_back(*target);
    return Done{};
}

// Opens a list now, so that a file that cannot be read is bad usage before
// any server is asked; it is read later, as the servers are asked.
Expected<Done> addList(const std::string &path, std::vector<Source> &sources)
{
    if (path == "-") {
        sources.emplace_back(ListFile{path, std::shared_ptr<std::istream>(&std::cin, [](std::istream *) {})});
        return Done{};
    }
    auto file = std::make_shared<std::ifstream>(path);
    if (!*file)
        return Fault{"cannot read " + path + ": " + std::strerror(errno)};
    sources.emplace_back(ListFile{path, std::move(file)});
    return Done{};
}

const std::string &listHelp()
{
    static const std::string help =
        "also read servers from FILE, one HOST[:PORT] a line, which may add a blank and a web port (ignored here); "
        "blank lines and lines starting with # are skipped; - reads standard input. Servers are asked while FILE is "
        "still read; it may name at most " + std::to_string(ut3::maxListedServers) + " servers in lines of at most "
        + std::to_string(ut3::maxListLineBytes) + " bytes";
    return help;
}

common::Option flag(std::string_view shortName, std::string_view name, std::string_view help, std::function<void()> set,
                    bool ends = false)
{
    return {name, shortName, {}, help, [set](std::string_view, auto) -> Expected<Done> { return set(), Done{}; }, ends};
}

common::Option amount(std::string_view shortName, std::string_view name, std::string_view argument, std::string_view help,
                      std::string_view unit, long low, long high, std::function<void(long)> set)
{
    return {name, shortName, argument, help, [=](std::string_view spelling, std::optional<std::string_view> text) -> Expected<Done> {
                const auto value = text ? common::wholeNumber<long>(*text, low, high) : std::nullopt;
                if (!value)
                    return Fault{"option " + std::string(spelling) + " needs a number of " + std::string(unit) + " from "
                                 + std::to_string(low) + " to " + std::to_string(high)};
                set(*value);
                return Done{};
            }};
}

common::CommandLine commandLine(Options &options)
{
    return {
        "Usage: skirvane-query [OPTION]... HOST[:PORT]...\n"
        "  or:  skirvane-query [OPTION]... -f FILE\n"
        "Ask Unreal Tournament 3 game servers for their state and print it.\n"
        "\n"
        "HOST is a host name or an IPv4 or IPv6 address (write [ADDRESS]:PORT for an\n"
        "IPv6 address with a port). PORT is the server's query port, 6500 when left out.\n"
        "\n"
        "Options:\n",
        {{{},
          {{"--file", "-f", "FILE", listHelp(),
            [&](std::string_view spelling, std::optional<std::string_view> path) -> Expected<Done> {
                if (!path)
                    return Fault{"option " + std::string(spelling) + " needs a file name"};
                return addList(std::string(*path), options.sources);
            }},
           flag("-j", "--json", "print JSON: one object for one server, else an array", [&] { options.json = true; }),
           flag("-v", "--verbose", "also print each server's players, teams and rules", [&] { options.verbose = true; }),
           amount("-t", "--timeout", "MS",
                  "give each server MS milliseconds in all (default 2000); an unanswered request is sent again after half "
                  "of it",
                  "milliseconds", 1, longestTimeoutMs, [&](long ms) { options.timeout = std::chrono::milliseconds(ms); }),
           amount("-p", "--pacing", "US", "wait US microseconds between two servers' first packets (default 0)",
                  "microseconds", 0, longestPacingUs, [&](long us) { options.pacing = std::chrono::microseconds(us); }),
           flag("-h", "--help", "show this help and exit", [&] { options.request = Request::help; }, true),
           flag("-V", "--version", "show the version and exit", [&] { options.request = Request::version; }, true)}}},
        "\n"
        "Servers that do not answer are named on standard error, one line each. On a\n"
        "terminal, progress is shown on standard error when more than five servers\n"
        "are asked. A bad line in a list ends its reading: the servers before it are\n"
        "still asked, then the line is named on standard error.\n"
        "\n"
        "Exit status:\n"
        "  0  every server answered\n"
        "  1  some server did not answer, refused, or answered with something unusable\n"
        "  2  bad usage: an unknown option, a bad value, an unreadable file, a bad line\n",
        [&](std::string_view text) { return addTarget(text, options.sources); },
        [](std::string_view argument) { return "unknown option \"" + std::string(argument) + "\""; }};
}

}

std::string helpText()
{
    Options unused;
    return common::helpText(commandLine(unused));
}

common::Expected<Options> parseArguments(const std::vector<std::string> &arguments)
{
    Options options;
    if (auto parsed = common::parseArguments(commandLine(options), arguments); !parsed.ok())
        return parsed.fault();
    if (!options.request && options.sources.empty())
        return Fault{"no server given"};
    return options;
}

}
