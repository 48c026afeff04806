// skirvane-query: asks UT3 servers for their state from the terminal.
#include "options.h"
#include "report.h"
#include "serverfeed.h"

#include "ut3/client.h"

#include <cstdio>
#include <iostream>

namespace {

// Servers read from lists beyond those printed: enough to keep the
// client's queries in flight, few enough for an endless list.
constexpr std::size_t readAhead = 4096;

int badUsage(const std::string &message)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", cli::programName, message.c_str(), cli::programName);
    return 2;
}

int run(const cli::Options &options)
{
    boost::asio::io_context io;
    ut3::Client client(io, {options.timeout, 0.5, options.pacing});
    cli::Report report(options.json, options.verbose);
    cli::ServerFeed feed(io, options.sources, readAhead);
    std::optional<common::Fault> listFault;
    feed.start(
        [&](ut3::QueryTarget target) {
            const std::size_t index = report.count();
            report.given();
            client.query(std::move(target), [&, index](ut3::QueryResult result) { feed.release(report.add(index, std::move(result))); });
        },
        [&](std::optional<common::Fault> fault) {
            listFault = std::move(fault);
            report.listEnded();
        });
    io.run();
    const int status = report.finish();
    if (listFault) {
        std::fprintf(stderr, "%s: %s\n", cli::programName, listFault->message.c_str());
        return 2;
    }
    return report.count() == 0 ? badUsage("no server given") : status;
}

}

int main(int argc, char **argv)
{
    const auto parsed = cli::parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed)
        return badUsage(parsed.fault().message);
    if (const auto request = parsed->request) {
        if (*request == cli::Request::help)
            std::cout << cli::helpText();
        else
            std::cout << cli::programName << " " << SKIRVANE_VERSION << '\n';
        return 0;
    }
    try {
        return run(*parsed);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s: %s\n", cli::programName, error.what());
        return 1;
    }
}
