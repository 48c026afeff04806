#pragma once

#include "ut3/result.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace ut3 {

struct ClientOptions {
    // The whole query, name lookup, challenge and status, must finish within this.
    std::chrono::milliseconds timeout{2000};
    // A request that has had no answer after this fraction of the timeout is sent once more.
    double retryFraction = 0.5;
    // Least time between two queries' starts (first packet or name lookup), so
    // that many servers are not all hit in the same millisecond. Zero: at once.
    std::chrono::microseconds pacing{0};
    // Kernel receive buffer asked for each socket: replies to many queries
    // in flight can arrive at once.
    std::size_t receiveBufferBytes = 4 * 1024 * 1024;
    // Most queries in flight at once; the others wait their turn, their
    // time not yet running. Replies to many more than this arrive faster
    // than they are read and overrun the receive buffer, and each query in
    // flight holds memory. Zero: no bound.
    std::size_t maxInFlight = 1000;
};

// Queries UT3 servers over UDP on the caller's io_context (one thread):
// many in flight at once over one socket per address family, each
// with its own deadline. Callbacks run on the io_context, exactly once per
// query. Destroying the client abandons queries in flight without calling
// their callbacks.
class Client final {
public:
    explicit Client(boost::asio::io_context &io, ClientOptions options = {});
    ~Client();
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    // Resolves the host (a name, or an IPv4 or IPv6 literal) and queries it.
    void query(QueryTarget target, std::function<void(QueryResult)> done);
    // Queries an address already resolved and vetted by the caller.
    void query(boost::asio::ip::udp::endpoint endpoint, std::function<void(QueryResult)> done);

private:
    class Engine;
    std::shared_ptr<Engine> m_engine;
};

}
