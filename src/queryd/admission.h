#pragma once

#include "queryd/clock.h"
#include "queryd/options.h"
#include "queryd/ratelimiter.h"
#include "queryd/response.h"
#include "queryd/verdict.h"

#include <boost/asio/ip/address.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <variant>

namespace queryd {

// A connection or a request turned away, with the answer it gets.
struct Refusal {
    Response answer;
};

// Who the caps and rates count a client as: an IPv4 address alone, an IPv6
// address by its /64, the network one subscriber is given whole (IPv4 in
// IPv6 as IPv4).
boost::asio::ip::address clientKey(const boost::asio::ip::address &client);

// An open connection, as the admission policy knows it.
using ConnectionId = std::uint64_t;

// Let in while the table is full, in the place of the connection that has
// gone longest without a request: the caller closes that one.
struct Displacing {
    ConnectionId quietest;
    bool operator==(const Displacing &) const = default;
};

struct Opening {
    ConnectionId id;
    std::variant<Admitted, Displacing, Refusal> verdict;
};

// Who is let in and served: the caps on open connections (in all and per
// client), each client's request rate, and how long the service has gone
// without requests, for the idle exit. Decides and counts; the listener and
// the sessions do the I/O.
//
// A full table takes a new connection in the place of the one that has
// gone longest without a request (one whose request is being answered is
// never chosen): connections that send nothing cannot keep everyone else
// out, however many addresses they come from.
class Admission final {
public:
    using Clock = std::chrono::steady_clock;

    Admission(const Limits &limits, SteadyNow now = {});
    Admission(const Admission &) = delete;
    Admission &operator=(const Admission &) = delete;

    // A connection from client opened; it counts until closed(), refused or
    // not. Over the client's cap, or with the table full of connections
    // being answered, it gets one short 503 and is closed.
    Opening opened(const boost::asio::ip::address &client);
    void closed(ConnectionId connection);

    // A request that HTTP let through on the connection at `started`; a 429
    // when its client is over its rate. Under way until answered(true).
    Verdict<Refusal> request(ConnectionId connection, Clock::time_point started);
    // An answer went out on the connection; `served` when it answered
    // request(). Any answer, a refusal too, counts as use for the idle exit.
    void answered(ConnectionId connection, bool served);

    // How long until the service has gone idleExit without a request under
    // way or answered; zero once it has.
    Clock::duration untilIdle(Clock::duration idleExit);

    // Forgets the rates of clients quiet for long enough to have their
    // whole burst again, so that the table stays as small as the set of
    // recent clients.
    void forgetQuietClients();

    Clock::time_point now() const { return m_now(); }

private:
    Limits m_limits;
    SteadyNow m_now;
    RateLimiter m_rateLimiter;
    struct Connection {
        boost::asio::ip::address client; // its clientKey
        Clock::time_point quietSince;    // opened, or its latest answer
        bool answering = false;          // a request is under way
        bool displaced = false;          // being closed for a newer one
    };
    std::map<ConnectionId, Connection> m_connections;
    std::size_t m_open = 0; // of them, those not displaced
    ConnectionId m_nextId = 0;
    std::map<boost::asio::ip::address, std::size_t> m_clientConnections;
    std::size_t m_activeRequests = 0;
    Clock::time_point m_lastUse;
};

}
