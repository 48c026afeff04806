// skirvane-query: asks UT3 servers for their state from the terminal.
#include "options.h"
#include "progress.h"
#include "table.h"

#include "ut3/client.h"
#include "ut3/json.h"

#include <cstdio>
#include <iostream>

namespace {

constexpr const char *program = "skirvane-query";

int run(const cli::Options &options)
{
    boost::asio::io_context io;
    ut3::Client client(io, {options.timeout, 0.5, options.pacing});
    std::vector<ut3::QueryResult> results(options.targets.size());
    cli::Progress progress(options.targets.size());
    for (std::size_t i = 0; i < options.targets.size(); ++i) {
        client.query(options.targets[i], [&, i](ut3::QueryResult result) {
            results[i] = std::move(result);
            progress.oneDone();
        });
    }
    io.run();

    int status = 0;
    for (const auto &result : results) {
        if (result.state != ut3::QueryState::online) {
            std::fprintf(stderr, "%s: %s\n", program, cli::failureLine(result).c_str());
            status = 1;
        }
    }
    if (options.json) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto &result : results)
            out.push_back(ut3::toJson(result));
        std::cout << (results.size() == 1 ? out.front() : out).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        std::cout << cli::table(results, options.verbose);
    }
    std::cout.flush();
    return status;
}

}

int main(int argc, char **argv)
{
    const auto parsed = cli::parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto *error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program, error->c_str(), program);
        return 2;
    }
    if (const auto *request = std::get_if<cli::Request>(&parsed)) {
        if (*request == cli::Request::help)
            std::cout << cli::helpText();
        else
            std::cout << program << " " << SKIRVANE_VERSION << '\n';
        return 0;
    }
    try {
        return run(std::get<cli::Options>(parsed));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s: %s\n", program, error.what());
        return 1;
    }
}
