#include "options.h"
#include "ut3/number.h"

#include "ut3/target.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

namespace cli {

namespace {

constexpr long longestTimeoutMs = 60'000;
constexpr long longestPacingUs = 1'000'000;

std::string trimmed(const std::string &line)
{
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

// Adds the servers listed in a file, one a line; returns why it cannot.
std::string readTargets(const std::string &path, std::vector<ut3::QueryTarget> &targets)
{
    std::ifstream file;
    std::istream *in = &std::cin;
    if (path != "-") {
        file.open(path);
        if (!file)
            return "cannot read " + path + ": " + std::strerror(errno);
        in = &file;
    }
    std::string line;
    for (int number = 1; std::getline(*in, line); ++number) {
        line = trimmed(line);
        if (line.empty() || line.starts_with('#'))
            continue;
        auto target = ut3::parseTarget(line);
        if (auto *error = std::get_if<std::string>(&target))
            return path + ":" + std::to_string(number) + ": " + *error;
        targets.push_back(std::get<ut3::QueryTarget>(target));
    }
    if (in->bad())
        return "cannot read " + path + ": " + std::strerror(errno);
    return {};
}

}

std::string helpText()
{
    return "Usage: skirvane-query [OPTION]... HOST[:PORT]...\n"
           "  or:  skirvane-query [OPTION]... -f FILE\n"
           "Ask Unreal Tournament 3 game servers for their state and print it.\n"
           "\n"
           "HOST is a host name or an IPv4 or IPv6 address (write [ADDRESS]:PORT for an\n"
           "IPv6 address with a port). PORT is the server's query port, 6500 when left out.\n"
           "\n"
           "Options:\n"
           "  -f, --file=FILE     also read servers from FILE, one a line; blank lines and\n"
           "                      lines starting with # are skipped; - reads standard input\n"
           "  -j, --json          print JSON: one object for one server, else an array\n"
           "  -v, --verbose       also print each server's players, teams and rules\n"
           "  -t, --timeout=MS    give each server MS milliseconds in all (default 2000);\n"
           "                      an unanswered request is sent again after half of it\n"
           "  -p, --pacing=US     wait US microseconds between two servers' first packets\n"
           "                      (default 0)\n"
           "  -h, --help          show this help and exit\n"
           "  -V, --version       show the version and exit\n"
           "\n"
           "Servers that do not answer are named on standard error, one line each. On a\n"
           "terminal, progress is shown on standard error when more than five servers\n"
           "are asked.\n"
           "\n"
           "Exit status:\n"
           "  0  every server answered\n"
           "  1  some server did not answer, refused, or answered with something unusable\n"
           "  2  bad usage: an unknown option, a bad value, an unreadable file\n";
}

std::variant<Options, Request, std::string> parseArguments(const std::vector<std::string> &arguments)
{
    Options options;
    bool onlyOperands = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string arg = arguments[i];
        if (onlyOperands || !arg.starts_with('-')) {
            auto target = ut3::parseTarget(arg);
            if (auto *error = std::get_if<std::string>(&target))
                return *error;
            options.targets.push_back(std::get<ut3::QueryTarget>(target));
            continue;
        }
        if (arg == "--") {
            onlyOperands = true;
            continue;
        }
        // "--name=value" and "-xVALUE" carry their value; else it is the next argument.
        std::optional<std::string> attached;
        if (arg.starts_with("--")) {
            if (const auto equals = arg.find('='); equals != std::string::npos) {
                attached = arg.substr(equals + 1);
                arg.resize(equals);
            }
        } else if (arg.size() > 2) {
            attached = arg.substr(2);
            arg.resize(2);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (attached)
                return attached;
            if (i + 1 < arguments.size())
                return arguments[++i];
            return std::nullopt;
        };
        const auto isFlag = [&](const char *shortName, const char *longName) { return arg == shortName || arg == longName; };
        if (isFlag("-h", "--help") && !attached) {
            return Request::help;
        } else if (isFlag("-V", "--version") && !attached) {
            return Request::version;
        } else if (isFlag("-j", "--json") && !attached) {
            options.json = true;
        } else if (isFlag("-v", "--verbose") && !attached) {
            options.verbose = true;
        } else if (isFlag("-f", "--file")) {
            const auto path = value();
            if (!path)
                return "option " + arg + " needs a file name";
            if (std::string error = readTargets(*path, options.targets); !error.empty())
                return error;
        } else if (isFlag("-t", "--timeout") || isFlag("-p", "--pacing")) {
            const bool timeout = arg == "-t" || arg == "--timeout";
            const long low = timeout ? 1 : 0, high = timeout ? longestTimeoutMs : longestPacingUs;
            const auto text = value();
            const auto amount = text ? ut3::wholeNumber<long>(*text, low, high) : std::nullopt;
            if (!amount)
                return "option " + arg + " needs a number of " + (timeout ? "milliseconds" : "microseconds") + " from "
                    + std::to_string(low) + " to " + std::to_string(high);
            if (timeout)
                options.timeout = std::chrono::milliseconds(*amount);
            else
                options.pacing = std::chrono::microseconds(*amount);
        } else {
            return "unknown option \"" + arguments[i] + "\"";
        }
    }
    if (options.targets.empty())
        return "no server given";
    return options;
}

}
