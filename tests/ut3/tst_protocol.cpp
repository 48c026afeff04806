// The protocol rules, bytes in and values out.
#include "ut3/interpret.h"
#include "ut3/json.h"
#include "ut3/packets.h"
#include "ut3/reply.h"
#include "ut3/target.h"
#include "ut3/text.h"

#include "replybytes.h"

#include <gtest/gtest.h>

using namespace std::string_literals;
using namespace replybytes;

namespace {

std::string text(const ut3::Bytes &bytes)
{
    return {bytes.begin(), bytes.end()};
}

TEST(Requests, HaveTheExactBytes)
{
    EXPECT_EQ(text(ut3::challengeRequest(id)), "\xFE\xFD\x09\x01\x02\x03\x04"s);
    EXPECT_EQ(text(ut3::statusRequest(id, 0xB3412B5A)), "\xFE\xFD\x00\x01\x02\x03\x04\xB3\x41\x2B\x5A\xFF\xFF\xFF\x01"s);
    EXPECT_EQ(text(ut3::statusRequest(id, std::nullopt)), "\xFE\xFD\x00\x01\x02\x03\x04\xFF\xFF\xFF\x01"s);
}

struct ChallengeRow {
    std::string reply;
    std::optional<std::uint32_t> challenge; // when accepted
    bool accepted;
};

class ChallengeReply : public testing::TestWithParam<ChallengeRow> {};

TEST_P(ChallengeReply, GivesTheChallengeOrRejects)
{
    const auto parsed = ut3::parseChallengeReply(view(GetParam().reply), id);
    ASSERT_EQ(parsed.ok(), GetParam().accepted);
    if (GetParam().accepted)
        EXPECT_EQ(parsed->value, GetParam().challenge);
    else
        EXPECT_FALSE(parsed.fault().message.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, ChallengeReply, testing::Values(
    ChallengeRow{"\x09" + idBytes + "-1287574694\0"s, 0xB3412B5A, true},
    ChallengeRow{"\x09" + idBytes + "1234\0\0\0\0\0\0\0\0"s, 1234, true},
    ChallengeRow{"\x09" + idBytes + "4294967295\0"s, 0xFFFFFFFF, true},
    ChallengeRow{"\x09" + idBytes + "-2147483648\0"s, 0x80000000, true},
    ChallengeRow{"\x09" + idBytes + "0\0"s, std::nullopt, true},
    ChallengeRow{"\x09" + idBytes + "1234"s, {}, false},                 // no NUL
    ChallengeRow{"\x09" + idBytes + "12a4\0"s, {}, false},
    ChallengeRow{"\x09" + idBytes + "4294967296\0"s, {}, false},         // over 32 bits
    ChallengeRow{"\x09" + idBytes + "-2147483649\0"s, {}, false},
    ChallengeRow{"\x09" + idBytes + "0000000000001\0"s, {}, false},      // 13 characters
    ChallengeRow{"\x09" + idBytes + "\0"s, {}, false},
    ChallengeRow{"\x09" + idBytes + "12\0x"s, {}, false},
    ChallengeRow{"\x09\x01\x02\x03\x05" "12\0"s, {}, false},            // another session
    ChallengeRow{"\x00" + idBytes + "12\0"s, {}, false}));

// Keys, one player list and the teams in one packet, as UT3 sends them.
const std::string onePacketPayload =
    "hostname\0My Server\0numplayers\0" "2\0\0"s
    "\x01player_\0\0Ann\0Bob\0\0score_\0\0" "5\0-3\0\0\0"s
    "\x02team_t\0\0Red\0Blue\0\0score_t\0\0" "1\0" "2\0\0\0"s;

struct AssemblyRow {
    std::string name;
    std::vector<std::string> packets;
    std::vector<std::pair<std::string, std::string>> keys;
    std::vector<std::pair<std::string, std::optional<long long>>> players; // name and score
    bool complete;
};

class Assembly : public testing::TestWithParam<AssemblyRow> {};

TEST_P(Assembly, GivesKeysAndPlayers)
{
    ut3::ReplyAssembler assembler(id);
    for (const auto &p : GetParam().packets)
        ASSERT_EQ(assembler.add(view(p)), "");
    EXPECT_EQ(assembler.complete(), GetParam().complete);
    const ut3::ServerStatus status = ut3::interpret(assembler.raw(), assembler.complete());
    EXPECT_EQ(status.server.rules, GetParam().keys);
    std::vector<std::pair<std::string, std::optional<long long>>> players;
    for (const auto &p : status.players)
        players.emplace_back(p.name, p.score);
    EXPECT_EQ(players, GetParam().players);
}

const std::vector<std::pair<std::string, std::string>> twoKeys = {{"hostname", "My Server"}, {"numplayers", "2"}};
const std::vector<std::pair<std::string, std::optional<long long>>> annAndBob = {{"Ann", 5}, {"Bob", -3}};

INSTANTIATE_TEST_SUITE_P(Rows, Assembly, testing::Values(
    AssemblyRow{"OnePacket", {packet(0, true, 0, onePacketPayload)}, twoKeys, annAndBob, true},
    AssemblyRow{"OutOfOrderAndRepeated",
                {packet(2, true, 2, "team_t\0\0Red\0\0"s), packet(1, false, 1, "player_\0\0Ann\0Bob\0\0score_\0\0" "5\0-3\0\0"s),
                 packet(1, false, 1, "player_\0\0Ann\0Bob\0\0"s), packet(0, false, 0, "hostname\0My Server\0numplayers\0" "2\0\0"s)},
                twoKeys, annAndBob, true},
    AssemblyRow{"NulRunsBetweenLists",
                {packet(0, true, 1, "player_\0\0Ann\0Bob\0\0\0\0\0\0score_\0\0" "5\0-3\0\0\0\0\0\x02team_t\0\0Red\0\0"s)},
                {}, annAndBob, true},
    // The first packet ends with "Bo", cut; the second sends "Bob" whole from row 1.
    AssemblyRow{"ListContinuedAndCutValueDropped",
                {packet(0, false, 1, "player_\0\0Ann\0Bo"s), packet(1, true, 1, "player_\0\x01" "Bob\0\0score_\0\0" "5\0-3\0\0"s)},
                {}, annAndBob, true},
    AssemblyRow{"CutValueNeverSentAgainStaysAbsent",
                {packet(0, true, 1, "player_\0\0Ann\0Bo"s)}, {}, {{"Ann", std::nullopt}}, true},
    // p268435968 comes without a value, directly followed by the next key.
    AssemblyRow{"ValuelessKey",
                {packet(0, true, 0, "p268435968\0p268435969\0" "1\0s0\0" "4\0\0"s)},
                {{"p268435968", ""}, {"p268435969", "1"}, {"s0", "4"}}, {}, true},
    AssemblyRow{"ValuelessKeysInARow",
                {packet(0, true, 0, "a\0" "1\0p1\0p2\0s3\0x\0\0"s)}, {{"a", "1"}, {"p1", ""}, {"p2", ""}, {"s3", "x"}}, {}, true},
    AssemblyRow{"LastKeyWithoutValueBeforeThePlayers",
                {packet(0, true, 0, "a\0" "1\0b\0\x01player_\0\0Ann\0Bob\0\0score_\0\0" "5\0-3\0\0"s)},
                {{"a", "1"}, {"b", ""}}, annAndBob, true},
    AssemblyRow{"KeysCutAtThePacketEnd",
                {packet(0, false, 0, "hostname\0My Server\0numplayers\0" "2"s), packet(1, true, 0, "numplayers\0" "2\0\0"s)},
                twoKeys, {}, true},
    AssemblyRow{"LostPacket",
                {packet(0, false, 0, "hostname\0My Server\0numplayers\0" "2\0\0"s), packet(2, true, 2, "team_t\0\0Red\0\0"s)},
                twoKeys, {}, false}),
    [](const auto &info) { return info.param.name; });

struct RejectRow {
    std::string name;
    std::vector<std::string> before; // accepted first
    std::string packet;
};

class Rejection : public testing::TestWithParam<RejectRow> {};

TEST_P(Rejection, LeavesTheReplyAsItWas)
{
    ut3::ReplyAssembler assembler(id);
    for (const auto &p : GetParam().before)
        ASSERT_EQ(assembler.add(view(p)), "");
    EXPECT_NE(assembler.add(view(GetParam().packet)), "");
    EXPECT_EQ(assembler.anyArrived(), !GetParam().before.empty());
    EXPECT_FALSE(assembler.complete());
}

INSTANTIATE_TEST_SUITE_P(Rows, Rejection, testing::Values(
    RejectRow{"OtherSession", {}, packet(0, true, 0, "a\0" "1\0\0"s, "\x01\x02\x03\x05"s)},
    RejectRow{"Truncated", {}, "\x00"s + idBytes + "splitnum\0\x80"s},
    RejectRow{"NoSplitnum", {}, "\x00"s + idBytes + "splitnom\0\x80\x00"s},
    RejectRow{"UnknownSectionInHeader", {}, packet(0, true, 3, "a\0\0"s)},
    RejectRow{"UnknownSectionInPayload", {}, packet(0, true, 0, "a\0" "1\0\0\x05x\0\0"s)},
    RejectRow{"SecondLastPacket", {packet(3, true, 1, ""s)}, packet(2, true, 1, ""s)},
    RejectRow{"IndexAfterTheLast", {packet(1, true, 1, ""s)}, packet(5, false, 1, ""s)},
    RejectRow{"LastBeforeOthersReceived", {packet(4, false, 1, ""s)}, packet(2, true, 1, ""s)},
    RejectRow{"TooManyFields", {}, packet(0, true, 1, [] {
                  std::string payload;
                  for (int i = 0; i < 40; ++i)
                      payload += "f" + std::to_string(i) + "\0\0\0"s;
                  return payload;
              }())}),
    [](const auto &info) { return info.param.name; });

TEST(Assembly, BoundsTheWholeReply)
{
    ut3::ReplyAssembler assembler(id);
    const std::string big(60000, 'x');
    std::string error;
    for (int i = 0; i < ut3::ReplyAssembler::maxPackets && error.empty(); ++i)
        error = assembler.add(view(packet(i, false, 0, big)));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
}

TEST(Assembly, BoundsRowsAndNamesTheMissingPackets)
{
    ut3::ReplyAssembler assembler(id);
    ASSERT_EQ(assembler.add(view(packet(1, false, 1, "player_\0\xFF" "a\0b\0c\0\0"s))), "");
    EXPECT_EQ(assembler.raw().players.front().rows.size(), ut3::ReplyAssembler::maxRows);
    EXPECT_EQ(assembler.missing(), "packets 0, the last missing");
}

TEST(Meanings, FollowUT3)
{
    const auto info = [](std::vector<std::pair<std::string_view, std::string_view>> keys) {
        return ut3::interpret(ut3::RawReply{std::move(keys), {}, {}}, true).server;
    };
    EXPECT_EQ(info({{"OwningPlayerName", "Owner"}}).name, "Owner");
    EXPECT_EQ(info({{"OwningPlayerName", "Owner"}, {"hostname", "Host"}}).name, "Host");
    EXPECT_EQ(info({{"hostname", ""}, {"OwningPlayerName", "Owner"}}).name, "Owner");
    EXPECT_EQ(info({{"mapname", "s0=1,s1=2"}, {"p1073741825", "DM-Deck"}}).map, "DM-Deck");
    EXPECT_EQ(info({{"s32779", "2"}}).gameMode, "Warfare");
    EXPECT_EQ(info({{"s32779", "12"}, {"p1073741826", "MyMod.MyGame"}}).gameMode, "MyMod.MyGame");
    EXPECT_EQ(info({{"s0", "8"}}).botSkill, "Godlike");
    EXPECT_EQ(info({{"s0", "11"}}).botSkill, "11");
    EXPECT_EQ(info({{"s7", "1"}, {"s6", "0"}}).locked, true);
    EXPECT_EQ(info({{"s7", "1"}, {"s6", "0"}}).pure, false);
    EXPECT_EQ(info({}).locked, std::nullopt);
    EXPECT_EQ(info({{"p268435704", "25"}, {"p268435705", "x"}}).goalScore, 25);
    EXPECT_EQ(info({{"p268435704", "25"}, {"p268435705", "x"}}).timeLimit, std::nullopt);
    EXPECT_EQ(info({{"p1073741828", "\x1CQuad Jump\x1C\x1CVampire\x1C"}}).mutators, (std::vector<std::string>{"Quad Jump", "Vampire"}));
    EXPECT_EQ(info({{"p268435717", "10"}}).standardMutators, (std::vector<std::string>{"Friendly Fire", "Instagib"}));
    EXPECT_EQ(info({{"p268435717", std::to_string(1 | 16384 | 32 | 4096)}}).standardMutators,
              (std::vector<std::string>{"Big Head", "Weapons Respawn", "4128"}));
    // Counts outside 0-4096 are a hostile server's: absent, not carried on.
    const std::pair<std::string_view, std::optional<long long>> counts[] = {
        {"0", 0}, {"4096", 4096}, {"4097", std::nullopt}, {"2147483647", std::nullopt}, {"-1", std::nullopt},
        {"99999999999999999999", std::nullopt}};
    for (const auto &[text, expected] : counts)
        for (const std::string_view name : {"numplayers", "maxplayers", "p268435703"}) {
            const auto server = info({{name, text}});
            EXPECT_EQ(name == "numplayers" ? server.numPlayers : name == "maxplayers" ? server.maxPlayers : server.bots,
                      expected)
                << name << "=" << text;
        }
}

struct TextRow {
    std::string in, out;
    std::size_t limit = ut3::maxServerStringBytes;
};

class Text : public testing::TestWithParam<TextRow> {};

TEST_P(Text, IsDecodedBoundedAndClean)
{
    EXPECT_EQ(ut3::decodeServerString(GetParam().in, GetParam().limit), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Rows, Text, testing::Values(
    TextRow{"Plain", "Plain"},
    TextRow{"Caf\xC3\xA9 \xE2\x98\x85", "Caf\xC3\xA9 \xE2\x98\x85"},          // UTF-8 stays
    TextRow{"Caf\xE9", "Caf\xC3\xA9"},                                       // Windows-1252
    TextRow{"\x80\x99\xFF", "\xE2\x82\xAC\xE2\x84\xA2\xC3\xBF"},
    TextRow{"\xC0\xAF", "\xC3\x80\xC2\xAF"},                                 // overlong: not UTF-8
    TextRow{"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},                 // a surrogate: not UTF-8
    TextRow{"a\x01" "b\x1B[31m\x7F", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD[31m\xEF\xBF\xBD"},
    TextRow{"\x81\x9D", "\xEF\xBF\xBD\xEF\xBF\xBD"},                         // unassigned in 1252
    TextRow{"\xC2\x85", "\xEF\xBF\xBD"},                                     // C1 control in UTF-8
    TextRow{"a\xE2\x80\xAE" "b\xE2\x80\xA8", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},     // right-to-left override, line separator
    TextRow{"abcdef", "abcd", 4},
    TextRow{"ab\xE2\x98\x85", "ab", 4},                                      // cut mid-character: dropped, still UTF-8
    TextRow{"abc\xE9", "abc", 4}));                                          // 1252 é needs two bytes

struct TargetRow {
    std::string text;
    std::string host; // empty: rejected
    std::uint16_t port = 0;
};

class Target : public testing::TestWithParam<TargetRow> {};

TEST_P(Target, IsParsedOrRejected)
{
    const auto parsed = ut3::parseTarget(GetParam().text);
    EXPECT_EQ(parsed ? parsed->host + ":" + std::to_string(parsed->port) : "rejected",
              GetParam().host.empty() ? "rejected" : GetParam().host + ":" + std::to_string(GetParam().port));
}

INSTANTIATE_TEST_SUITE_P(Rows, Target, testing::Values(
    TargetRow{"127.0.0.1", "127.0.0.1", 6500}, TargetRow{"127.0.0.1:7787", "127.0.0.1", 7787},
    TargetRow{"ut3.example.org:6500", "ut3.example.org", 6500}, TargetRow{"::1", "::1", 6500},
    TargetRow{"[::1]:6501", "::1", 6501}, TargetRow{"[::1]", "::1", 6500},
    TargetRow{"host:0"}, TargetRow{"host:65536"}, TargetRow{"host:"}, TargetRow{"host:12x"},
    TargetRow{""}, TargetRow{"a b"}, TargetRow{"[::1"}, TargetRow{"[::1]x"}, TargetRow{"bad\nhost"},
    // The one host-name rule: labels of letters, digits and inner hyphens, and
    // no all-digit last label, which the resolver reads as an IPv4 address.
    TargetRow{"ut3.example.org.", "ut3.example.org.", 6500}, TargetRow{"10.1"}, TargetRow{"-ut3.example.org"},
    TargetRow{"ut3_server"}, TargetRow{"::1::2"}));

TEST(Json, HasTheSharedShape)
{
    ut3::QueryResult result;
    result.query = {"127.0.0.1", 6500};
    result.state = ut3::QueryState::online;
    result.pingMs = 12.5;
    result.queriedAt = std::chrono::system_clock::time_point(std::chrono::milliseconds(1'700'000'000'123));
    ut3::ServerStatus status;
    status.server.name = "S";
    status.server.numPlayers = 1;
    status.server.rules = {{"k", "v"}};
    status.server.mutators = {"Vampire"};
    status.players = {{"Ann", 5, std::nullopt, 40, 1}};
    status.teams = {{"Red", 3}};
    result.status = status;

    const nlohmann::json json = ut3::toJson(result, 7777);
    EXPECT_EQ(json["query"], (nlohmann::json{{"address", "127.0.0.1"}, {"queryPort", 6500}, {"webPort", 7777}}));
    EXPECT_EQ(json["state"], "online");
    EXPECT_TRUE(json["error"].is_null());
    EXPECT_EQ(json["complete"], true);
    EXPECT_EQ(json["pingMs"], 12.5);
    EXPECT_EQ(json["queriedAt"], "2023-11-14T22:13:20.123Z");
    EXPECT_EQ(json["server"]["name"], "S");
    EXPECT_EQ(json["server"]["numPlayers"], 1);
    EXPECT_TRUE(json["server"]["maxPlayers"].is_null());
    EXPECT_TRUE(json["server"]["locked"].is_null());
    EXPECT_EQ(json["server"]["mutators"], nlohmann::json::array({"Vampire"}));
    EXPECT_EQ(json["server"]["rules"], (nlohmann::json{{"k", "v"}}));
    EXPECT_EQ(json["players"], nlohmann::json::parse(R"([{"name":"Ann","score":5,"deaths":null,"ping":40,"team":1}])"));
    EXPECT_EQ(json["teams"], nlohmann::json::parse(R"([{"name":"Red","score":3}])"));
    for (const char *key : {"map", "gameMode", "gameClass", "bots", "botSkill", "goalScore", "timeLimit", "pure", "description", "standardMutators"})
        EXPECT_TRUE(json["server"].contains(key)) << key;

    result.state = ut3::QueryState::timeout;
    result.error = "no reply";
    result.status.reset();
    result.pingMs.reset();
    const nlohmann::json down = ut3::toJson(result);
    EXPECT_EQ(down["state"], "timeout");
    EXPECT_EQ(down["error"], "no reply");
    EXPECT_TRUE(down["query"]["webPort"].is_null());
    EXPECT_TRUE(down["server"].is_null());
    EXPECT_TRUE(down["pingMs"].is_null());
    EXPECT_EQ(down["players"], nlohmann::json::array());
}

}
