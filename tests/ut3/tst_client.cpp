// The client against fake UT3 servers over real UDP on loopback: the
// plumbing. The session's rules have their rows in tst_session.cpp.
#include "fakeserver.h"
#include "ut3/client.h"
#include "ut3/text.h"
#include "ut3/udpport_platform.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

using namespace std::chrono_literals;
using fakeut3::Shape;

namespace {

class ClientTest : public testing::Test {
protected:
    ut3::QueryResult query(ut3::QueryTarget target)
    {
        return run([&](auto done) { m_client.query(std::move(target), done); });
    }
    ut3::QueryResult query(const boost::asio::ip::udp::endpoint &endpoint)
    {
        return run([&](auto done) { m_client.query(endpoint, done); });
    }

    boost::asio::io_context m_io;
    ut3::Client m_client{m_io, {400ms, 0.5, 0us}};

private:
    template <typename Ask>
    ut3::QueryResult run(Ask ask)
    {
        std::optional<ut3::QueryResult> result;
        int calls = 0;
        ask([&](ut3::QueryResult r) {
            result = std::move(r);
            ++calls;
            m_io.stop();
        });
        m_io.restart();
        m_io.run_for(5s);
        EXPECT_EQ(calls, 1);
        return result.value_or(ut3::QueryResult{});
    }
};

std::vector<std::string> names(const ut3::ServerStatus &status)
{
    std::vector<std::string> out;
    for (const auto &p : status.players)
        out.push_back(p.name + "=" + (p.score ? std::to_string(*p.score) : "?"));
    return out;
}

const std::vector<std::string> threePlayers = {"Player1=10", "Player2=20", "Player3=30"};

struct ShapeRow {
    Shape shape;
    ut3::QueryState state = ut3::QueryState::online;
    std::string errorPart; // when not online
};

class Shapes : public ClientTest, public testing::WithParamInterface<ShapeRow> {};

TEST_P(Shapes, GiveTheWholeStatusOrTheReason)
{
    fakeut3::Script script = fakeut3::sampleScript("Shape Server", "DM-Deck", 3);
    script.shape = GetParam().shape;
    fakeut3::FakeServer server(m_io, script);
    const ut3::QueryResult result = query(server.endpoint());
    const bool online = GetParam().state == ut3::QueryState::online;
    ASSERT_EQ(result.state, GetParam().state) << result.error;
    EXPECT_EQ(result.error.empty(), online) << result.error;
    EXPECT_NE(result.error.find(GetParam().errorPart), std::string::npos) << result.error;
    // A lost packet (the players') still gives what arrived, marked incomplete.
    ASSERT_EQ(result.status.has_value(), online || GetParam().shape == Shape::lostPacket);
    if (!result.status)
        return;
    EXPECT_EQ(result.status->complete, online);
    EXPECT_EQ(result.status->server.name, "Shape Server");
    EXPECT_EQ(names(*result.status), online ? threePlayers : std::vector<std::string>{});
    ASSERT_EQ(result.status->teams.size(), 2u);
    EXPECT_EQ(result.status->teams[1].name, "Blue Team");
    if (online) {
        EXPECT_EQ(result.status->server.map, "DM-Deck");
        EXPECT_EQ(result.status->server.numPlayers, 3);
        EXPECT_TRUE(result.pingMs);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Shapes, testing::Values(
    ShapeRow{Shape::onePacket}, ShapeRow{Shape::outOfOrder}, ShapeRow{Shape::duplicated}, ShapeRow{Shape::playersLater},
    ShapeRow{Shape::fieldContinued}, ShapeRow{Shape::nulRuns}, ShapeRow{Shape::changingChallenge},
    ShapeRow{Shape::noChallenge}, ShapeRow{Shape::forgedFirst},
    ShapeRow{Shape::silent, ut3::QueryState::timeout, "no reply from 127.0.0.1:"},
    ShapeRow{Shape::garbage, ut3::QueryState::malformed, "not a UT3 reply"},
    ShapeRow{Shape::wrongSessionId, ut3::QueryState::malformed, "session id"},
    ShapeRow{Shape::lostPacket, ut3::QueryState::timeout, "packets 1 missing"}));

TEST_F(ClientTest, ValuelessKeyAndHostileStrings)
{
    fakeut3::Script script = fakeut3::sampleScript("x", "DM-Deck", 2);
    script.keys.front().second = "Caf\xE9\x1B[2J\x07"; // Windows-1252 with escape sequences
    fakeut3::addValuelessKey(script, 1);
    script.players.front().second[1] = std::string(5000, 'A');
    fakeut3::FakeServer server(m_io, script);
    const ut3::QueryResult result = query(server.endpoint());
    ASSERT_EQ(result.state, ut3::QueryState::online) << result.error;
    EXPECT_EQ(result.status->server.name, "Caf\xC3\xA9\xEF\xBF\xBD[2J\xEF\xBF\xBD");
    const auto &rules = result.status->server.rules;
    EXPECT_EQ(rules[1], (std::pair<std::string, std::string>{"p268435968", ""}));
    EXPECT_EQ(rules[2], (std::pair<std::string, std::string>{"p268435969", "1"}));
    EXPECT_EQ(rules[3].first, "hostport");
    EXPECT_EQ(result.status->players.at(1).name.size(), ut3::maxServerStringBytes);
}

TEST_F(ClientTest, DestroyedClientAbandonsItsQueries)
{
    fakeut3::Script script = fakeut3::sampleScript("Mute", "DM-Deck", 0);
    script.shape = Shape::silent;
    fakeut3::FakeServer server(m_io, script);
    int calls = 0;
    {
        ut3::Client shortLived(m_io, {100ms, 0.5, 0us});
        shortLived.query(server.endpoint(), [&](ut3::QueryResult) { ++calls; });
        shortLived.query(ut3::QueryTarget{"localhost", server.port()}, [&](ut3::QueryResult) { ++calls; });
        m_io.run_for(20ms);
    }
    m_io.run_for(300ms);
    EXPECT_EQ(calls, 0);
}

TEST_F(ClientTest, ClosedPortIsRefusedOnBothFamilies)
{
    for (const auto &[address, shown] : {std::pair{"127.0.0.1", "127.0.0.1:"}, std::pair{"::1", "[::1]:"}}) {
        const auto closed = fakeut3::closedEndpoint(address);
        const ut3::QueryResult result = query(closed);
        EXPECT_EQ(result.state, ut3::QueryState::refused) << result.error;
        EXPECT_NE(result.error.find(shown + std::to_string(closed.port())), std::string::npos) << result.error;
    }
}

TEST_F(ClientTest, BothFamiliesAndNamesAreQueriedAndUnknownNamesInvalid)
{
    for (const auto &[listening, asked] : {std::pair{"::1", "::1"}, std::pair{"127.0.0.1", "localhost"}}) {
        fakeut3::FakeServer server(m_io, fakeut3::sampleScript("Found", "DM-Deck", 1), 0, listening);
        const ut3::QueryResult result = query(ut3::QueryTarget{asked, server.port()});
        ASSERT_EQ(result.state, ut3::QueryState::online) << asked << ": " << result.error;
        EXPECT_EQ(result.status->server.name, "Found");
    }
    const ut3::QueryResult unknown = query(ut3::QueryTarget{"no-such-server.invalid", 6500});
    EXPECT_EQ(unknown.state, ut3::QueryState::invalid);
    EXPECT_NE(unknown.error.find("no-such-server.invalid"), std::string::npos);
}

// With no bound on the queries in flight, and with one that makes them
// wait their turn (not a divisor of the servers, nor of the port's batches).
class ManyServers : public ClientTest, public testing::WithParamInterface<std::size_t> {};

TEST_P(ManyServers, AreAnsweredFromOneThread)
{
    ut3::Client client(m_io, {2000ms, 0.5, 20us, 4 * 1024 * 1024, GetParam()});
    std::vector<std::unique_ptr<fakeut3::FakeServer>> servers;
    for (int i = 0; i < 200; ++i)
        servers.push_back(std::make_unique<fakeut3::FakeServer>(m_io, fakeut3::sampleScript("S" + std::to_string(i), "DM-Deck", i % 5)));
    servers[7]->setScript(fakeut3::sampleScript("Renamed", "CTF-Coret", 1));
    std::vector<ut3::QueryResult> results(servers.size());
    std::size_t done = 0;
    for (std::size_t i = 0; i < servers.size(); ++i) {
        client.query(servers[i]->endpoint(), [&, i](ut3::QueryResult r) {
            results[i] = std::move(r);
            if (++done == servers.size())
                m_io.stop();
        });
    }
    m_io.run_for(10s);
    ASSERT_EQ(done, servers.size());
    for (std::size_t i = 0; i < servers.size(); ++i) {
        ASSERT_EQ(results[i].state, ut3::QueryState::online) << i << ": " << results[i].error;
        EXPECT_EQ(results[i].status->server.name, i == 7 ? "Renamed" : "S" + std::to_string(i));
        EXPECT_EQ(results[i].status->players.size(), i == 7 ? 1u : i % 5);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ManyServers, testing::Values(std::size_t(0), std::size_t(7)));

#ifdef __linux__

// The error queue's reports: what the system says, who says it (the
// offender) and the address it is about.
struct ReportRow {
    std::string name;
    int error;
    std::string offender; // "": none given
    std::uint16_t offenderPort;
    std::string to;
    std::optional<int> believed;
};

class ErrorReports : public testing::TestWithParam<ReportRow> {};

TEST_P(ErrorReports, EndAQueryOnlyFromTheServersOwnAddress)
{
    const ReportRow &row = GetParam();
    sock_extended_err report{};
    report.ee_errno = std::uint32_t(row.error);
    report.ee_origin = SO_EE_ORIGIN_ICMP;
    boost::asio::ip::udp::endpoint offender;
    if (!row.offender.empty())
        offender = {boost::asio::ip::make_address(row.offender), row.offenderPort};
    const std::size_t bytes = row.offender.empty() ? sizeof(sa_family_t) : offender.size();
    sockaddr_storage given{};
    std::memcpy(&given, offender.data(), bytes);
    if (row.offender.empty())
        given.ss_family = AF_UNSPEC;
    const boost::asio::ip::udp::endpoint to(boost::asio::ip::make_address(row.to), 7777);
    EXPECT_EQ(ut3::platform::believedError(report, reinterpret_cast<const sockaddr *>(&given), bytes, to), row.believed);
}

INSTANTIATE_TEST_SUITE_P(Rows, ErrorReports, testing::Values(
    ReportRow{"RefusedByTheServer", ECONNREFUSED, "127.0.0.1", 0, "127.0.0.1", ECONNREFUSED},
    ReportRow{"RefusedByTheServerNamingItsPort", ECONNREFUSED, "127.0.0.1", 7777, "127.0.0.1", ECONNREFUSED},
    ReportRow{"RefusedByTheServerOverIPv6", ECONNREFUSED, "::1", 0, "::1", ECONNREFUSED},
    ReportRow{"RefusedByTheServerAsMappedAddress", ECONNREFUSED, "::ffff:192.0.2.7", 0, "192.0.2.7", ECONNREFUSED},
    ReportRow{"RefusedForAMappedAddress", ECONNREFUSED, "192.0.2.7", 0, "::ffff:192.0.2.7", ECONNREFUSED},
    ReportRow{"RefusedByAThirdAddress", ECONNREFUSED, "127.0.0.9", 0, "127.0.0.1", std::nullopt},
    ReportRow{"RefusedByAnotherPortOfTheServer", ECONNREFUSED, "127.0.0.1", 7778, "127.0.0.1", std::nullopt},
    ReportRow{"RefusedByAnotherFamily", ECONNREFUSED, "::1", 0, "127.0.0.1", std::nullopt},
    ReportRow{"RefusedByNobodyNamed", ECONNREFUSED, "", 0, "127.0.0.1", std::nullopt},
    ReportRow{"NoRouteFromARouterIsAReason", EHOSTUNREACH, "192.0.2.1", 0, "198.51.100.4", EHOSTUNREACH}),
    [](const auto &info) { return info.param.name; });

std::uint16_t checksum(const std::uint8_t *bytes, std::size_t size)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += std::uint32_t(bytes[i] << 8 | bytes[i + 1]);
    if (size % 2)
        sum += std::uint32_t(bytes[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return std::uint16_t(~sum);
}

// An ICMP "port unreachable" sent from `sender` (a raw socket) about a
// datagram from `client` to `server`, as any host on the path, or anyone
// who knows the client's port, can send it.
bool sendPortUnreachable(const char *sender, const boost::asio::ip::udp::endpoint &client, const boost::asio::ip::udp::endpoint &server)
{
    const int raw = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (raw < 0)
        return false;
    sockaddr_in from{.sin_family = AF_INET};
    inet_pton(AF_INET, sender, &from.sin_addr);
    std::array<std::uint8_t, 8 + 20 + 8> message{};
    message[0] = ICMP_DEST_UNREACH;
    message[1] = ICMP_PORT_UNREACH;
    std::uint8_t *ip = message.data() + 8;
    ip[0] = 0x45;
    ip[3] = 28;
    ip[8] = 64;
    ip[9] = IPPROTO_UDP;
    const auto clientAddress = client.address().to_v4().to_bytes(), serverAddress = server.address().to_v4().to_bytes();
    std::copy(clientAddress.begin(), clientAddress.end(), ip + 12);
    std::copy(serverAddress.begin(), serverAddress.end(), ip + 16);
    const std::uint16_t ipSum = checksum(ip, 20);
    ip[10] = std::uint8_t(ipSum >> 8);
    ip[11] = std::uint8_t(ipSum);
    std::uint8_t *udp = ip + 20;
    udp[0] = std::uint8_t(client.port() >> 8);
    udp[1] = std::uint8_t(client.port());
    udp[2] = std::uint8_t(server.port() >> 8);
    udp[3] = std::uint8_t(server.port());
    udp[5] = 8;
    const std::uint16_t sum = checksum(message.data(), message.size());
    message[2] = std::uint8_t(sum >> 8);
    message[3] = std::uint8_t(sum);
    sockaddr_in to{.sin_family = AF_INET};
    std::memcpy(&to.sin_addr, serverAddress.data(), 4);
    const bool sent = bind(raw, reinterpret_cast<const sockaddr *>(&from), sizeof from) == 0
                      && sendto(raw, message.data(), message.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) == ssize_t(message.size());
    close(raw);
    return sent;
}

// A silent server that, on the first request, has a port unreachable sent
// about itself from another loopback address, and then from its own.
TEST_F(ClientTest, PortUnreachableFromAnotherAddressDoesNotEndTheQuery)
{
    const int probe = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (probe < 0)
        GTEST_SKIP() << "raw sockets not permitted: " << std::strerror(errno);
    close(probe);
    for (const auto &[sender, state] : {std::pair{"127.0.0.9", ut3::QueryState::timeout}, std::pair{"127.0.0.1", ut3::QueryState::refused}}) {
        boost::asio::ip::udp::socket server(m_io, {boost::asio::ip::make_address("127.0.0.1"), 0});
        std::array<std::uint8_t, 64> request;
        boost::asio::ip::udp::endpoint client;
        bool forged = false;
        server.async_receive_from(boost::asio::buffer(request), client, [&](const boost::system::error_code &error, std::size_t) {
            forged = !error && sendPortUnreachable(sender, {boost::asio::ip::make_address("127.0.0.1"), client.port()}, server.local_endpoint());
        });
        const ut3::QueryResult result = query(server.local_endpoint());
        EXPECT_TRUE(forged) << sender;
        EXPECT_EQ(result.state, state) << sender << ": " << result.error;
    }
}

#endif

}
