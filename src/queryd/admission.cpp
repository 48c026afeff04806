#include "queryd/admission.h"

#include "queryd/renderhtml.h"

#include <string>

namespace queryd {

namespace {

Refusal tooManyConnections(std::string_view sentence)
{
    return {{503, "text/plain; charset=utf-8", std::string(sentence) + "\n", {{"Retry-After", "1"}}}};
}

}

Admission::Admission(const Limits &limits, SteadyNow now)
    : m_limits(limits)
    , m_now(orSteadyClock(std::move(now)))
    , m_rateLimiter(limits.clientRate)
    , m_lastUse(m_now())
{
}

Verdict<Refusal> Admission::opened(const boost::asio::ip::address &client)
{
    const bool over = m_connections >= m_limits.maxConnections;
    ++m_connections;
    const std::size_t fromClient = ++m_clientConnections[client];
    const std::size_t perClient = m_limits.maxClientConnections;
    if (over)
        return tooManyConnections("The service has too many connections open. Try again in a moment.");
    if (perClient > 0 && fromClient > perClient)
        return tooManyConnections("This address has too many connections open to the service. Close some, or try "
                                  "again in a moment.");
    return Admitted{};
}

void Admission::closed(const boost::asio::ip::address &client)
{
    --m_connections;
    if (--m_clientConnections[client] == 0)
        m_clientConnections.erase(client);
}

Verdict<Refusal> Admission::request(const boost::asio::ip::address &client, Clock::time_point started)
{
    ++m_activeRequests;
    const auto verdict = m_rateLimiter.check(client, started);
    if (const auto *over = std::get_if<OverRate>(&verdict))
        return Refusal{{429, "text/html; charset=utf-8",
                        messagePage("Too many requests", "This address sent more requests than the service answers "
                                                         "per second. Try again in a moment."),
                        {{"Retry-After", std::to_string(over->retryAfter.count())}}}};
    return Admitted{};
}

void Admission::answered(bool served)
{
    m_lastUse = m_now();
    if (served)
        --m_activeRequests;
}

Admission::Clock::duration Admission::untilIdle(Clock::duration idleExit)
{
    const Clock::time_point now = m_now();
    // A request under way is use that lasts.
    if (m_activeRequests > 0)
        m_lastUse = now;
    const Clock::time_point idleAt = m_lastUse + idleExit;
    return idleAt > now ? idleAt - now : Clock::duration::zero();
}

void Admission::forgetQuietClients()
{
    m_rateLimiter.forgetIdle(m_now());
}

}
