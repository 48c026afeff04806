#pragma once

#include "ut3/reply.h"
#include "ut3/result.h"

#include <boost/asio/ip/udp.hpp>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace ut3 {

// One query of one server as a state machine without I/O: what happened and
// when goes in; the datagrams for the server, when to be woken next and,
// once, the result come out. The deadline runs from the session's making, so
// it covers the name lookup too.
class QuerySession final {
public:
    using Clock = std::chrono::steady_clock;
    using Endpoint = boost::asio::ip::udp::endpoint;

    // One request is sent once more when it goes unanswered; after that
    // only the deadline is left.
    enum class Stage {
        resolving,          // the server's address is not known yet
        challenging,        // a challenge request is out; a retry left
        askingStatus,       // the status request is out with the challenge; a retry left
        challengingAgain,   // the challenge went unanswered and is asked once more
        renewingChallenge,  // the status went unanswered: a fresh challenge is asked (the server may have
                            // changed it), and a reply to the earlier status request is still taken
        askingStatusLast,   // the status request is out after a retry
        finished,           // the result is made
    };

    // A request without an answer after retryFraction of the timeout is sent once more.
    QuerySession(QueryTarget target, std::chrono::milliseconds timeout, double retryFraction, Clock::time_point now,
                 std::chrono::system_clock::time_point queriedAt);

    // The lookup of the name failed; the problem says so whole ("cannot resolve HOST: reason").
    void onResolveFailed(const std::string &problem);
    // The first request goes out under the session id, unique among the
    // queries of the server's address.
    void start(Clock::time_point now, Endpoint server, SessionId id);
    void onDatagram(Clock::time_point now, const Endpoint &from, ByteView datagram);
    // A datagram from the server's address that could not be read.
    void onUnreadable(const std::string &why) { if (waiting()) note(why); }
    // An ICMP report about the server's address, as an errno value.
    void onUnreachable(int error);
    // A request could not leave this host at all.
    void onSendFailed(int error);
    void onTimer(Clock::time_point now);

    Stage stage() const { return m_stage; }
    const Endpoint &server() const { return m_server; }
    SessionId id() const { return m_id; }
    // Each is handed out once; there is no wake once finished.
    std::vector<Bytes> takeOutgoing() { return std::exchange(m_outgoing, {}); }
    std::optional<QueryResult> takeResult() { return std::exchange(m_result, std::nullopt); }
    std::optional<Clock::time_point> nextWake() const;

private:
    bool waiting() const { return m_stage != Stage::resolving && m_stage != Stage::finished; }
    bool challengeAsked() const
    {
        return m_stage == Stage::challenging || m_stage == Stage::challengingAgain || m_stage == Stage::renewingChallenge;
    }
    bool statusAsked() const
    {
        return m_stage == Stage::askingStatus || m_stage == Stage::askingStatusLast || m_stage == Stage::renewingChallenge;
    }
    void sendChallenge(Clock::time_point now, Stage stage);
    void note(const std::string &why);
    void finish(QueryState state, std::string error, std::optional<ServerStatus> status = std::nullopt);

    QueryTarget m_target;
    std::chrono::milliseconds m_timeout;
    Clock::duration m_retryAfter;
    Clock::time_point m_deadline;
    std::chrono::system_clock::time_point m_queriedAt;
    Stage m_stage = Stage::resolving;
    Endpoint m_server;
    SessionId m_id = 0;
    ReplyAssembler m_reply{0};
    Clock::time_point m_challengeSentAt{}, m_statusSentAt{};
    std::optional<double> m_pingMs;
    // Why the latest packet from the server's address was not taken: the
    // result when nothing proper came by the deadline.
    std::string m_rejected;
    // What the system said about the server's address (an ICMP error).
    std::string m_unreachable;
    std::vector<Bytes> m_outgoing;
    std::optional<QueryResult> m_result;
};

}
