// The query session's rules, events and times in, requests and result out:
// no sockets, no clock.
#include "ut3/querysession.h"

#include "replybytes.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace std::string_literals;
using namespace replybytes;
using Clock = ut3::QuerySession::Clock;

namespace {
const auto server = ut3::QuerySession::Endpoint(boost::asio::ip::make_address("127.0.0.1"), 6500);
const auto elsewhere = ut3::QuerySession::Endpoint(boost::asio::ip::make_address("127.0.0.2"), 6500);

std::string status(int index, bool last, const std::string &payload = "hostname\0S\0\0"s)
{
    return packet(index, last, 0, payload);
}

// "challenge", or "status" and the challenge it carries.
std::string describe(const ut3::Bytes &request)
{
    if (request == ut3::challengeRequest(id))
        return "challenge";
    std::string text = "status";
    for (std::size_t i = 7; i + 4 < request.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i == 7 ? " %02X" : "%02X", request[i]);
        text += hex;
    }
    return text;
}

struct Event {
    int ms;
    std::string datagram; // empty: an ICMP report
    int icmpError = 0;
    ut3::QuerySession::Endpoint from = server;
};

struct SessionRow {
    std::string name;
    std::vector<Event> events;
    std::vector<std::string> sent; // "ms request"
    ut3::QueryState state;
    std::string errorPart;
    int endMs;
    bool status = false; // what arrived is in the result
    int resolvedMs = -1; // a name looked up from 0 ms; -1: an address
};

class Session : public testing::TestWithParam<SessionRow> {};

TEST_P(Session, FollowsTheProtocol)
{
    const SessionRow &row = GetParam();
    const Clock::time_point zero{};
    ut3::QuerySession session({"server", 6500}, std::chrono::milliseconds(1000), 0.5, zero, {});
    std::vector<std::string> sent;
    std::optional<ut3::QueryResult> result;
    int results = 0, endMs = -1;
    const auto collect = [&](Clock::time_point at) {
        const int ms = int(std::chrono::duration_cast<std::chrono::milliseconds>(at - zero).count());
        for (const auto &request : session.takeOutgoing())
            sent.push_back(std::to_string(ms) + " " + describe(request));
        if (auto r = session.takeResult()) {
            result = std::move(r);
            ++results;
            endMs = ms;
        }
    };
    const auto runTimersTo = [&](Clock::time_point until) {
        for (int wakes = 0; wakes < 10; ++wakes) {
            const auto wake = session.nextWake();
            if (!wake || *wake > until)
                return;
            session.onTimer(*wake);
            collect(*wake);
        }
    };
    std::vector<Event> events = row.events;
    if (row.resolvedMs < 0)
        session.start(zero, server, id);
    else
        events.insert(events.begin(), Event{row.resolvedMs, "resolved"});
    collect(zero);
    for (const Event &event : events) {
        const Clock::time_point at = zero + std::chrono::milliseconds(event.ms);
        runTimersTo(at);
        if (event.datagram == "resolved")
            session.start(at, server, id);
        else if (event.datagram.empty())
            session.onUnreachable(event.icmpError);
        else
            session.onDatagram(at, event.from, view(event.datagram));
        collect(at);
    }
    runTimersTo(Clock::time_point::max());
    EXPECT_EQ(sent, row.sent);
    ASSERT_EQ(results, 1);
    EXPECT_EQ(result->state, row.state);
    EXPECT_NE(result->error.find(row.errorPart), std::string::npos) << result->error;
    EXPECT_EQ(endMs, row.endMs);
    EXPECT_EQ(result->status.has_value(), row.status || row.state == ut3::QueryState::online);
    EXPECT_EQ(result->pingMs.has_value(), row.state == ut3::QueryState::online || row.status);
}

const std::string negative = challenge("-1287574694");

INSTANTIATE_TEST_SUITE_P(Rows, Session, testing::Values(
    SessionRow{"NegativeChallenge", {{3, negative}, {8, status(0, true)}},
               {"0 challenge", "3 status B3412B5A"}, ut3::QueryState::online, "", 8},
    SessionRow{"ZeroChallengeIsLeftOut", {{3, challenge("0")}, {8, status(0, true)}},
               {"0 challenge", "3 status"}, ut3::QueryState::online, "", 8},
    SessionRow{"SilentServerIsAskedOnceMore", {},
               {"0 challenge", "500 challenge"}, ut3::QueryState::timeout, "no reply from 127.0.0.1:6500 within 1 s", 1000},
    SessionRow{"StatusAskedAgainWithAFreshChallenge", {{3, negative}, {520, challenge("1234")}, {530, status(0, true)}},
               {"0 challenge", "3 status B3412B5A", "503 challenge", "520 status 000004D2"}, ut3::QueryState::online, "", 530},
    SessionRow{"StatusPacketAfterTheRetryStillCounts", {{3, negative}, {510, status(0, true)}},
               {"0 challenge", "3 status B3412B5A", "503 challenge"}, ut3::QueryState::online, "", 510},
    SessionRow{"RepeatedAndLateChallengesAskOnce", {{600, negative}, {601, negative}, {610, status(1, true, "a\0" "1\0\0"s)}, {611, status(1, true, "a\0" "1\0\0"s)}, {620, status(0, false)}},
               {"0 challenge", "500 challenge", "600 status B3412B5A"}, ut3::QueryState::online, "", 620},
    SessionRow{"UnaskedStatusIsNotTaken", {{2, status(0, true)}},
               {"0 challenge", "500 challenge"}, ut3::QueryState::timeout, "no reply", 1000},
    SessionRow{"ReplyFromAnotherAddressIsNotHeard", {{3, negative, 0, elsewhere}},
               {"0 challenge", "500 challenge"}, ut3::QueryState::timeout, "no reply", 1000},
    SessionRow{"NotUT3WhileWaitingIsIgnored", {{2, "HTTP/1.1 400\r\n"}, {3, challenge("12a4")}, {4, negative}, {5, status(0, true)}},
               {"0 challenge", "4 status B3412B5A"}, ut3::QueryState::online, "", 5},
    SessionRow{"NotUT3AloneIsMalformed", {{2, "HTTP/1.1 400\r\n"}},
               {"0 challenge", "500 challenge"}, ut3::QueryState::malformed, "malformed reply from 127.0.0.1:6500: not a UT3 reply", 1000},
    SessionRow{"OtherSessionIsMalformed", {{2, challenge("1", "\x01\x02\x03\x05"s)}},
               {"0 challenge", "500 challenge"}, ut3::QueryState::malformed, "session id 01020305, which was never asked for", 1000},
    SessionRow{"LostPacketGivesWhatArrived", {{3, negative}, {5, status(0, false)}, {6, status(2, true, "a\0" "1\0\0"s)}},
               {"0 challenge", "3 status B3412B5A", "503 challenge"}, ut3::QueryState::timeout, "no complete reply from 127.0.0.1:6500 within 1 s: packets 1 missing", 1000, true},
    SessionRow{"NothingAfterTheResult", {{3, negative}, {5, status(0, true)}, {6, status(0, true)}, {7, negative}, {8, {}, ECONNREFUSED}},
               {"0 challenge", "3 status B3412B5A"}, ut3::QueryState::online, "", 5},
    SessionRow{"PortUnreachableEndsAtOnce", {{4, {}, ECONNREFUSED}},
               {"0 challenge"}, ut3::QueryState::refused, "refused: nothing listens on 127.0.0.1:6500", 4},
    SessionRow{"HostUnreachableIsTheReason", {{4, {}, EHOSTUNREACH}},
               {"0 challenge", "500 challenge"}, ut3::QueryState::timeout, "within 1 s (No route to host)", 1000},
    // One deadline from the start of the lookup, not a fresh one after it.
    SessionRow{"LookupCountsAgainstTheDeadline", {},
               {"700 challenge"}, ut3::QueryState::timeout, "no reply from 127.0.0.1:6500 within 1 s", 1000, false, 700},
    SessionRow{"LookupPastTheDeadline", {},
               {}, ut3::QueryState::timeout, "cannot resolve server within 1 s", 1000, false, 1500}),
    [](const auto &info) { return info.param.name; });

}
