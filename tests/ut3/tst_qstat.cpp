// The same fake servers queried by us and by qstat, an independent
// implementation, compared on name, map, player count and every player's
// score. Where the two differ the bytes sent decide:
// - qstat names the server by p1073741827 (the description), not hostname;
// - NUL runs between player lists end qstat's section (scores -32767);
// - after a valueless key qstat shifts every later value (map "?", no players).
// qstat lists players last first, so order is not compared.
#include "backgroundservers.h"
#include "ut3/client.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

using namespace std::chrono_literals;
using fakeut3::Shape;

namespace {

struct Summary {
    std::string name, map;
    long long numPlayers = -1;
    std::map<std::string, long long> scores;
};

// quakestat -raw: the server's line ("UT3S", address, name, map, max
// players, players ...), then a line per player (name, score ...).
Summary qstat(std::uint16_t port)
{
    const std::string command = QUAKESTAT " -ut3s 127.0.0.1:" + std::to_string(port) + " -raw '\t' -P -timeout 2 2>&1";
    std::FILE *pipe = popen(command.c_str(), "r");
    std::string output;
    char chunk[4096];
    while (pipe && std::fgets(chunk, sizeof chunk, pipe))
        output += chunk;
    if (pipe)
        pclose(pipe);
    std::istringstream in(output);
    std::string line;
    Summary summary;
    const auto fields = [](const std::string &text) {
        std::vector<std::string> out;
        std::istringstream columns(text);
        for (std::string field; std::getline(columns, field, '\t');)
            out.push_back(field);
        return out;
    };
    if (!std::getline(in, line) || fields(line).size() < 6) {
        ADD_FAILURE() << "quakestat said: " << output;
        return summary;
    }
    const auto server = fields(line);
    summary = {server[2], server[3], std::stoll(server[5]), {}};
    while (std::getline(in, line) && !line.empty()) {
        const auto player = fields(line);
        if (player.size() >= 2)
            summary.scores[player[0]] = std::stoll(player[1]);
    }
    return summary;
}

Summary ours(std::uint16_t port, std::string *description)
{
    boost::asio::io_context io;
    ut3::Client client(io);
    Summary summary;
    client.query(ut3::QueryTarget{"127.0.0.1", port}, [&](ut3::QueryResult result) {
        ASSERT_EQ(result.state, ut3::QueryState::online) << result.error;
        const auto &status = *result.status;
        summary = {status.server.name, status.server.map, status.server.numPlayers.value_or(-1), {}};
        for (const auto &p : status.players)
            summary.scores[p.name] = p.score.value_or(-1);
        *description = status.server.description;
    });
    io.run();
    return summary;
}

struct Row {
    std::string name;
    Shape shape;
    bool valuelessKey;
    bool qstatGetsKeys;    // name and map
    bool qstatGetsPlayers; // their names and scores
};

class AgainstQstat : public testing::TestWithParam<Row> {};

TEST_P(AgainstQstat, AgreesWhereQstatIsRight)
{
    fakeut3::Script script = fakeut3::sampleScript("Compared Server", "DM-Sanctuary", 4);
    script.shape = GetParam().shape;
    if (GetParam().valuelessKey)
        fakeut3::addValuelessKey(script, 5);
    fakeut3::BackgroundServers servers({script});
    std::string description;
    const Summary we = ours(servers[0].port(), &description);
    const Summary they = qstat(servers[0].port());

    // Ours against the bytes sent.
    const std::map<std::string, long long> truth = {{"Player1", 10}, {"Player2", 20}, {"Player3", 30}, {"Player4", 40}};
    EXPECT_EQ(we.name, "Compared Server");
    EXPECT_EQ(we.map, "DM-Sanctuary");
    EXPECT_EQ(we.numPlayers, 4);
    EXPECT_EQ(we.scores, truth);

    // qstat against ours.
    if (GetParam().qstatGetsKeys) {
        EXPECT_EQ(they.name, description);
        EXPECT_EQ(they.map, we.map);
    } else {
        EXPECT_NE(they.map, we.map);
    }
    EXPECT_EQ(they.numPlayers, we.numPlayers);
    if (GetParam().qstatGetsPlayers)
        EXPECT_EQ(they.scores, we.scores);
    else
        EXPECT_NE(they.scores, we.scores);
}

INSTANTIATE_TEST_SUITE_P(Rows, AgainstQstat, testing::Values(
    Row{"OnePacket", Shape::onePacket, false, true, true},
    Row{"OutOfOrder", Shape::outOfOrder, false, true, true},
    Row{"Duplicated", Shape::duplicated, false, true, true},
    Row{"PlayersLater", Shape::playersLater, false, true, true},
    Row{"FieldContinued", Shape::fieldContinued, false, true, true},
    Row{"ChangingChallenge", Shape::changingChallenge, false, true, true},
    Row{"NoChallenge", Shape::noChallenge, false, true, true},
    Row{"NulRuns", Shape::nulRuns, false, true, false},
    Row{"ValuelessKey", Shape::onePacket, true, false, false}),
    [](const auto &info) { return info.param.name; });

}
