#pragma once

#include "queryd/historyoptions.h"
#include "queryd/metricsoptions.h"

#include <boost/asio/ip/tcp.hpp>

#include <chrono>
#include <cstddef>
#include <string>
#include <variant>
#include <vector>

namespace queryd {

// What the service protects itself with; each has an option.
struct Limits {
    std::size_t maxRequestBytes = 8192;
    std::chrono::seconds headerTimeout{10}; // a request head must be complete this long after it begins
    std::chrono::seconds writeTimeout{10}; // a client must take the whole answer within this
    std::chrono::seconds keepAliveTimeout{10}; // an open connection may wait this long for its next request
    std::size_t maxConnections = 512;
    std::size_t maxClientConnections = 32; // open at once from one client address; 0: no limit
    std::size_t maxQueriesInFlight = 256;
    unsigned clientRate = 20; // requests per second from one client address, bursts of twice that; 0: no limit
    std::size_t cacheBytes = 64 * 1024 * 1024; // rendered answers kept for reuse
};

struct ServiceOptions {
    std::vector<boost::asio::ip::tcp::endpoint> listen; // empty: the defaults, unless sockets are handed over
    bool publicService = false;
    std::vector<std::string> allowedHosts; // names a request's Host may give besides addresses and localhost
    std::chrono::seconds cacheTime{5};
    std::chrono::milliseconds queryTimeout{2000};
    std::chrono::seconds refresh{15}; // how often a status page reloads itself; 0: never
    std::chrono::seconds idleExit{0}; // end after this long without requests; 0: never
    Limits limits;
    MetricsOptions metrics;
    HistoryOptions history;
};

// The command line ends the program at once: --help, --version, or a
// mistake. The text goes to standard output when the status is 0, else to
// standard error.
struct CommandLineExit {
    int status;
    std::string text;
};

// What the command line asks for: the service, with these options, or an exit.
using CommandLineOutcome = std::variant<ServiceOptions, CommandLineExit>;

CommandLineOutcome parseCommandLine(const std::vector<std::string> &arguments);

// "skirvane-queryd (Skirvane) 1.01".
std::string versionLine();
std::string_view version();

}
