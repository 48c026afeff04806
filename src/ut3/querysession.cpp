#include "ut3/querysession.h"

#include "ut3/interpret.h"
#include "ut3/text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ut3 {

namespace {

std::string describe(const QuerySession::Endpoint &endpoint)
{
    const auto address = endpoint.address();
    return (address.is_v6() ? "[" + address.to_string() + "]" : address.to_string()) + ":" + std::to_string(endpoint.port());
}

std::string seconds(std::chrono::milliseconds duration)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g s", duration.count() / 1000.0);
    return text;
}

}

QuerySession::QuerySession(QueryTarget target, QueryTiming timing, std::chrono::system_clock::time_point queriedAt)
    : m_target(std::move(target)), m_timing(timing), m_queriedAt(queriedAt)
{
}

void QuerySession::lookUp(Clock::time_point now)
{
    if (m_stage != Stage::idle)
        return;
    m_stage = Stage::resolving;
    m_deadline = now + m_timing.timeout;
}

void QuerySession::onResolveFailed(std::string reason)
{
    if (m_stage == Stage::resolving)
        finish(QueryState::invalid, "cannot resolve " + m_target.host + ": " + reason);
}

void QuerySession::start(Clock::time_point now, Endpoint server, SessionId id)
{
    if (m_stage == Stage::idle)
        m_deadline = now + m_timing.timeout;
    else if (m_stage != Stage::resolving)
        return;
    m_server = std::move(server);
    m_id = id;
    m_reply = ReplyAssembler(id);
    sendChallenge(now);
}

void QuerySession::sendChallenge(Clock::time_point now)
{
    m_stage = Stage::challenging;
    m_challengeSentAt = now;
    m_outgoing.push_back(challengeRequest(m_id));
}

void QuerySession::onDatagram(Clock::time_point now, const Endpoint &from, ByteView datagram)
{
    if (!waiting() || from != m_server)
        return;
    const auto id = replySessionId(datagram);
    if (!id || (datagram[0] != challengeType && datagram[0] != statusType))
        return note("not a UT3 reply");
    if (*id != m_id) {
        char text[16];
        std::snprintf(text, sizeof text, "%08X", *id);
        return note(std::string("a reply under session id ") + text + ", which was never asked for");
    }
    if (datagram[0] == challengeType) {
        // Late and repeated challenges are not taken: a server that keeps
        // sending them gets one status request per challenge request.
        if (m_stage != Stage::challenging)
            return;
        auto parsed = parseChallengeReply(datagram, m_id);
        if (auto *error = std::get_if<std::string>(&parsed))
            return note(decodeServerString(*error));
        m_stage = Stage::askingStatus;
        m_statusAsked = true;
        m_statusSentAt = now;
        m_outgoing.push_back(statusRequest(m_id, std::get<Challenge>(parsed).value));
        return;
    }
    // A status packet is taken also while a fresh challenge is asked for:
    // it may answer the earlier status request.
    if (!m_statusAsked)
        return;
    if (const std::string error = m_reply.add(datagram); !error.empty())
        return note(error);
    if (!m_pingMs)
        m_pingMs = std::chrono::duration<double, std::milli>(now - m_statusSentAt).count();
    if (m_reply.complete())
        finish(QueryState::online, {}, interpret(m_reply.raw(), true));
}

// Anyone who can send from the server's address can send a packet the
// query cannot take, so it only says why the query failed if no proper
// reply comes before the deadline.
void QuerySession::onUnreadable(const std::string &why)
{
    if (waiting())
        note(why);
}

void QuerySession::note(const std::string &why)
{
    m_rejected = "malformed reply from " + describe(m_server) + ": " + why;
}

void QuerySession::onUnreachable(int error)
{
    if (!waiting())
        return;
    if (error == ECONNREFUSED)
        finish(QueryState::refused, "refused: nothing listens on " + describe(m_server) + " (port unreachable)");
    else
        m_unreachable = std::strerror(error);
}

void QuerySession::onSendFailed(int error)
{
    if (waiting())
        finish(QueryState::invalid, "cannot send to " + describe(m_server) + ": " + std::strerror(error));
}

QuerySession::Clock::duration QuerySession::retryAfter() const
{
    return std::chrono::duration_cast<Clock::duration>(m_timing.timeout * m_timing.retryFraction);
}

std::optional<QuerySession::Clock::time_point> QuerySession::nextWake() const
{
    if (m_stage == Stage::idle || m_stage == Stage::finished)
        return std::nullopt;
    if (m_stage == Stage::challenging && !m_challengeRetried)
        return std::min(m_deadline, m_challengeSentAt + retryAfter());
    if (m_stage == Stage::askingStatus && !m_statusRetried)
        return std::min(m_deadline, m_statusSentAt + retryAfter());
    return m_deadline;
}

void QuerySession::onTimer(Clock::time_point now)
{
    const auto wake = nextWake();
    if (!wake || now < *wake)
        return;
    if (now >= m_deadline) {
        expire();
    } else if (m_stage == Stage::challenging) {
        m_challengeRetried = true;
        sendChallenge(now);
    } else {
        // The server may have changed its challenge meanwhile: ask for a
        // fresh one, and the status again with it.
        m_statusRetried = m_challengeRetried = true;
        sendChallenge(now);
    }
}

void QuerySession::expire()
{
    const std::string within = " within " + seconds(m_timing.timeout);
    if (m_stage == Stage::resolving)
        finish(QueryState::timeout, "cannot resolve " + m_target.host + within);
    else if (m_reply.anyArrived())
        finish(QueryState::timeout, "no complete reply from " + describe(m_server) + within + ": " + m_reply.missing(), interpret(m_reply.raw(), false));
    else if (!m_rejected.empty())
        finish(QueryState::malformed, m_rejected);
    else
        finish(QueryState::timeout, "no reply from " + describe(m_server) + within + (m_unreachable.empty() ? "" : " (" + m_unreachable + ")"));
}

void QuerySession::finish(QueryState state, std::string error, std::optional<ServerStatus> status)
{
    m_stage = Stage::finished;
    m_outgoing.clear();
    m_result = QueryResult{std::move(m_target), state, std::move(error), std::move(status), m_pingMs, m_queriedAt};
}

std::vector<Bytes> QuerySession::takeOutgoing()
{
    return std::exchange(m_outgoing, {});
}

std::optional<QueryResult> QuerySession::takeResult()
{
    return std::exchange(m_result, std::nullopt);
}

}
