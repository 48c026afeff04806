#include "queryd/ratelimiter.h"

#include <algorithm>
#include <cmath>

namespace queryd {

RateLimiter::RateLimiter(unsigned perSecond)
    : m_perSecond(perSecond)
    , m_capacity(2.0 * perSecond)
{
}

double RateLimiter::refilled(const Bucket &bucket, Clock::time_point now) const
{
    const double seconds = std::chrono::duration<double>(now - bucket.updated).count();
    return std::min(m_capacity, bucket.tokens + seconds * m_perSecond);
}

Verdict<OverRate> RateLimiter::check(const boost::asio::ip::address &client, Clock::time_point now)
{
    if (m_perSecond == 0)
        return Admitted{};
    auto [it, added] = m_buckets.try_emplace(client, Bucket{m_capacity, now});
    Bucket &bucket = it->second;
    bucket.tokens = refilled(bucket, now);
    bucket.updated = now;
    if (bucket.tokens >= 1.0) {
        bucket.tokens -= 1.0;
        return Admitted{};
    }
    return OverRate{std::chrono::seconds(static_cast<long>(std::ceil((1.0 - bucket.tokens) / m_perSecond)))};
}

void RateLimiter::forgetIdle(Clock::time_point now)
{
    std::erase_if(m_buckets, [&](const auto &entry) { return refilled(entry.second, now) >= m_capacity; });
}

}
