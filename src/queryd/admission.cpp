#include "queryd/admission.h"

#include "queryd/renderhtml.h"

#include "common/address.h"

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

boost::asio::ip::address clientKey(const boost::asio::ip::address &client)
{
    const auto address = common::unwrapped(client);
    if (!address.is_v6())
        return address;
    auto bytes = address.to_v6().to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return boost::asio::ip::address_v6(bytes);
}

Opening Admission::opened(const boost::asio::ip::address &client)
{
    const ConnectionId id = m_nextId++;
    const bool full = m_open >= m_limits.maxConnections;
    const auto key = clientKey(client);
    m_connections[id] = {key, m_now()};
    ++m_open;
    const std::size_t fromClient = ++m_clientConnections[key];
    const std::size_t perClient = m_limits.maxClientConnections;
    if (perClient > 0 && fromClient > perClient)
        return {id, tooManyConnections("This address has too many connections open to the service. Close some, or try "
                                       "again in a moment.")};
    if (!full)
        return {id, Admitted{}};
    auto quietest = m_connections.end();
    for (auto other = m_connections.begin(); other != m_connections.end(); ++other)
        if (other->first != id && !other->second.answering && !other->second.displaced
            && (quietest == m_connections.end() || other->second.quietSince < quietest->second.quietSince))
            quietest = other;
    if (quietest == m_connections.end())
        return {id, tooManyConnections("The service has too many connections open. Try again in a moment.")};
    quietest->second.displaced = true;
    --m_open;
    return {id, Displacing{quietest->first}};
}

void Admission::closed(ConnectionId connection)
{
    const auto found = m_connections.find(connection);
    if (found == m_connections.end())
        return;
    if (!found->second.displaced)
        --m_open;
    if (--m_clientConnections[found->second.client] == 0)
        m_clientConnections.erase(found->second.client);
    m_connections.erase(found);
}

Verdict<Refusal> Admission::request(ConnectionId connection, Clock::time_point started)
{
    ++m_activeRequests;
    const auto found = m_connections.find(connection);
    if (found == m_connections.end())
        return Admitted{};
    found->second.answering = true;
    const auto verdict = m_rateLimiter.check(found->second.client, started);
    if (const auto *over = std::get_if<OverRate>(&verdict))
        return Refusal{{429, "text/html; charset=utf-8",
                        messagePage("Too many requests", "This address sent more requests than the service answers "
                                                         "per second. Try again in a moment."),
                        {{"Retry-After", std::to_string(over->retryAfter.count())}}}};
    return Admitted{};
}

void Admission::answered(ConnectionId connection, bool served)
{
    m_lastUse = m_now();
    if (served)
        --m_activeRequests;
    if (const auto found = m_connections.find(connection); found != m_connections.end()) {
        found->second.answering = false;
        found->second.quietSince = m_lastUse;
    }
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
