#pragma once

#include "queryd/verdict.h"

#include <boost/asio/ip/address.hpp>

#include <chrono>
#include <map>

namespace queryd {

// A client over its rate: it may ask again after retryAfter (whole seconds,
// for Retry-After).
struct OverRate {
    std::chrono::seconds retryAfter;
    bool operator==(const OverRate &) const = default;
};

// Requests per second per client address, as a token bucket holding two
// seconds' worth, so that a page with its style and script loads at once.
class RateLimiter final {
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimiter(unsigned perSecond);

    // Whether a request from client at `now` may go on; one that may takes
    // its token.
    Verdict<OverRate> check(const boost::asio::ip::address &client, Clock::time_point now);

    // Forgets clients whose bucket has filled up again, which keeps the
    // table as small as the set of recent clients.
    void forgetIdle(Clock::time_point now);

private:
    struct Bucket {
        double tokens;
        Clock::time_point updated;
    };
    double refilled(const Bucket &bucket, Clock::time_point now) const;

    unsigned m_perSecond;
    double m_capacity;
    std::map<boost::asio::ip::address, Bucket> m_buckets;
};

}
