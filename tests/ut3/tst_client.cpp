// The client against fake UT3 servers over real UDP on loopback: the
// plumbing. The session's rules have their rows in tst_session.cpp.
#include "fakeserver.h"
#include "ut3/client.h"
#include "ut3/text.h"

#include <gtest/gtest.h>

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

}
