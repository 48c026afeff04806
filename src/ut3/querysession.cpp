#include "ut3/querysession.h"

#include "ut3/interpret.h"
#include "ut3/text.h"

#include "common/address.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ut3 {

namespace {

std::string describe(const QuerySession::Endpoint &endpoint)
{
    return common::hostAndPort(endpoint.address().to_string(), endpoint.port());
}

}

QuerySession::QuerySession(QueryTarget target, std::chrono::milliseconds timeout, double retryFraction, Clock::time_point now,
                           std::chrono::system_clock::time_point queriedAt)
    : m_target(std::move(target)), m_timeout(timeout), m_retryAfter(std::chrono::duration_cast<Clock::duration>(timeout * retryFraction)),
      m_deadline(now + timeout), m_queriedAt(queriedAt)
{
}

void QuerySession::onResolveFailed(const std::string &problem)
{
    if (m_stage == Stage::resolving)
        finish(QueryState::invalid, problem);
}

void QuerySession::start(Clock::time_point now, Endpoint server, SessionId id)
{
    if (m_stage != Stage::resolving)
        return;
    m_server = std::move(server);
    m_id = id;
    m_reply = ReplyAssembler(id);
    sendChallenge(now, Stage::challenging);
}

void QuerySession::sendChallenge(Clock::time_point now, Stage stage)
{
    m_stage = stage;
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
        if (!challengeAsked())
            return;
        const auto parsed = parseChallengeReply(datagram, m_id);
        if (!parsed)
            return note(decodeServerString(parsed.fault().message));
        m_stage = m_stage == Stage::challenging ? Stage::askingStatus : Stage::askingStatusLast;
        m_statusSentAt = now;
        m_outgoing.push_back(statusRequest(m_id, parsed->value));
        return;
    }
    if (!statusAsked())
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
void QuerySession::note(const std::string &why)
{
    m_rejected = "malformed reply from " + describe(m_server) + ": " + why;
}

void QuerySession::onUnreachable(int error)
{
    if (waiting() && error == ECONNREFUSED)
        finish(QueryState::refused, "refused: nothing listens on " + describe(m_server) + " (port unreachable)");
    else if (waiting())
        m_unreachable = std::strerror(error);
}

void QuerySession::onSendFailed(int error)
{
    if (waiting())
        finish(QueryState::invalid, "cannot send to " + describe(m_server) + ": " + std::strerror(error));
}

std::optional<QuerySession::Clock::time_point> QuerySession::nextWake() const
{
    if (m_stage == Stage::challenging)
        return std::min(m_deadline, m_challengeSentAt + m_retryAfter);
    if (m_stage == Stage::askingStatus)
        return std::min(m_deadline, m_statusSentAt + m_retryAfter);
    return m_stage == Stage::finished ? std::nullopt : std::optional(m_deadline);
}

void QuerySession::onTimer(Clock::time_point now)
{
    if (const auto wake = nextWake(); !wake || now < *wake)
        return;
    char within[48];
    std::snprintf(within, sizeof within, " within %g s", m_timeout.count() / 1000.0);
    if (now < m_deadline) {
        // Woken before the deadline only to retry, from challenging or
        // askingStatus.
        sendChallenge(now, m_stage == Stage::askingStatus ? Stage::renewingChallenge : Stage::challengingAgain);
    } else if (m_stage == Stage::resolving) {
        finish(QueryState::timeout, "cannot resolve " + m_target.host + within);
    } else if (m_reply.anyArrived()) {
        finish(QueryState::timeout, "no complete reply from " + describe(m_server) + within + ": " + m_reply.missing(), interpret(m_reply.raw(), false));
    } else if (!m_rejected.empty()) {
        finish(QueryState::malformed, m_rejected);
    } else {
        finish(QueryState::timeout, "no reply from " + describe(m_server) + within + (m_unreachable.empty() ? "" : " (" + m_unreachable + ")"));
    }
}

void QuerySession::finish(QueryState state, std::string error, std::optional<ServerStatus> status)
{
    m_stage = Stage::finished;
    m_outgoing.clear();
    m_result = QueryResult{std::move(m_target), state, std::move(error), std::move(status), m_pingMs, m_queriedAt};
}

}
