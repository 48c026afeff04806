#pragma once

#include "queryd/clock.h"
#include "queryd/options.h"
#include "queryd/ratelimiter.h"
#include "queryd/response.h"
#include "queryd/verdict.h"

#include <boost/asio/ip/address.hpp>

#include <chrono>
#include <cstddef>
#include <map>

namespace queryd {

// A connection or a request turned away, with the answer it gets.
struct Refusal {
    Response answer;
};

// Who is let in and served: the caps on open connections (in all and per
// client address), each client's request rate, and how long the service
// has gone without requests, for the idle exit. Decides and counts; the
// listener and the sessions do the I/O.
class Admission final {
public:
    using Clock = std::chrono::steady_clock;

    Admission(const Limits &limits, SteadyNow now = {});
    Admission(const Admission &) = delete;
    Admission &operator=(const Admission &) = delete;

    // A connection from client opened; it counts until closed(), refused or not.
    // Over a cap it gets one short 503 and is closed.
    Verdict<Refusal> opened(const boost::asio::ip::address &client);
    void closed(const boost::asio::ip::address &client);

    // A request that HTTP let through, from client at `started`; a 429
    // when the client is over its rate. Under way until answered(true).
    Verdict<Refusal> request(const boost::asio::ip::address &client, Clock::time_point started);
    // An answer went out; `served` when it answered request(). Any answer,
    // a refusal too, counts as use for the idle exit.
    void answered(bool served);

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
    std::size_t m_connections = 0;
    std::map<boost::asio::ip::address, std::size_t> m_clientConnections;
    std::size_t m_activeRequests = 0;
    Clock::time_point m_lastUse;
};

}
