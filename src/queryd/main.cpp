// skirvane-queryd: the web query service behind Skirvane's pages.
#include "queryd/historypoller.h"
#include "queryd/httpserver.h"
#include "queryd/inheritedsockets.h"
#include "queryd/listenaddress.h"
#include "queryd/options.h"
#include "queryd/playerhistory.h"
#include "queryd/service.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>

#include <sys/resource.h>

namespace {

// Each connection takes a descriptor; the soft limit is often far below
// the hard one.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}

int main(int argc, char *argv[])
{
    const auto parsed = queryd::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto *exit = std::get_if<queryd::CommandLineExit>(&parsed)) {
        (exit->status == 0 ? std::cout : std::cerr) << exit->text;
        return exit->status;
    }
    const queryd::ServiceOptions &options = std::get<queryd::ServiceOptions>(parsed);

    const auto inherited = queryd::takeInheritedSockets();
    if (!inherited) {
        std::cerr << "skirvane-queryd: " << inherited.fault().message << "\n";
        return 1;
    }
    raiseDescriptorLimit();
    // A client that goes away mid-answer must not end the service.
    std::signal(SIGPIPE, SIG_IGN);

    boost::asio::io_context io(1);
    const auto log = [](std::string_view line) { std::cerr << "skirvane-queryd: " << line << std::endl; };
    auto history = queryd::PlayerHistory::fromOptions(options.history, log);
    auto service = queryd::Service::create(io, options, history);
    auto poller = queryd::startHistoryPolling(io, options.history, history, service, log);
    auto started = queryd::HttpServer::start(io, options, service, *inherited);
    if (!started) {
        std::cerr << "skirvane-queryd: " << started.fault().message << "\n";
        return 1;
    }
    auto &server = **started;

    std::string where;
    for (const auto &endpoint : server.endpoints())
        where += (where.empty() ? "" : ", ") + queryd::endpointText(endpoint);
    std::cerr << "skirvane-queryd " << queryd::version() << " listening on " << where << std::endl;

    const auto end = [&](std::string_view why) {
        server.stop(); // writes out the request lines still held first
        std::cerr << "skirvane-queryd: " << why << ", stopping" << std::endl;
        if (poller)
            poller->stop();
        io.stop();
    };
    boost::asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const boost::system::error_code &error, int signal) {
        if (!error)
            end(signal == SIGINT ? "SIGINT" : "SIGTERM");
    });
    server.onIdle([&] { end("idle for " + std::to_string(options.idleExit.count()) + " s"); });

    io.run();
    return 0;
}
