// skirvane-query: asks UT3 servers for their state from the terminal.
#include "options.h"
#include "report.h"

#include "ut3/client.h"

#include <cstdio>
#include <iostream>

namespace {

int run(const cli::Options &options)
{
    boost::asio::io_context io;
    ut3::Client client(io, {options.timeout, 0.5, options.pacing});
    cli::Report report(options.targets.size(), options.json, options.verbose);
    for (std::size_t i = 0; i < options.targets.size(); ++i)
        client.query(options.targets[i], [&report, i](ut3::QueryResult result) { report.add(i, std::move(result)); });
    io.run();
    return report.finish();
}

}

int main(int argc, char **argv)
{
    const auto parsed = cli::parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", cli::programName, parsed.fault().message.c_str(),
                     cli::programName);
        return 2;
    }
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
