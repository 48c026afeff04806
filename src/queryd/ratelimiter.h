#pragma once

#include <boost/asio/ip/address.hpp>

#include <chrono>
#include <map>
#include <optional>

namespace queryd {

// Requests per second per client address, as a token bucket holding two
// seconds' worth, so that a page with its style and script loads at once.
class RateLimiter final {
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimiter(unsigned perSecond);

    // Nothing when the request may go on; else the whole seconds after
    // which it would (for Retry-After).
    std::optional<std::chrono::seconds> refusal(const boost::asio::ip::address &client, Clock::time_point now);

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
