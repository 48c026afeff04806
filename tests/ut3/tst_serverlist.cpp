// The server list shared by the command and the service: text in, servers
// or the line at fault out.
#include "ut3/serverlist.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <sstream>

using namespace std::string_literals;

namespace {

// "HOST PORT WEBPORT @LINE" for each server, then the fault if one came.
std::vector<std::string> read(const std::string &text)
{
    std::istringstream in(text);
    ut3::ServerListReader reader(in, "servers.txt");
    std::vector<std::string> out;
    while (true) {
        const auto server = reader.next();
        if (!server) {
            out.push_back(server.fault().message);
            // A fault stays.
            EXPECT_EQ(reader.next().fault().message, server.fault().message);
            return out;
        }
        if (!*server)
            return out;
        const ut3::ListedServer &s = **server;
        out.push_back(s.target.host + " " + std::to_string(s.target.port) + " " + std::to_string(s.webPort) + " @" + std::to_string(s.line));
    }
}

std::string repeated(const std::string &line, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += line;
    return text;
}

struct ListRow {
    std::string name, text;
    std::vector<std::string> read; // the last may be the fault
};

class List : public testing::TestWithParam<ListRow> {};

TEST_P(List, GivesItsServersOrTheLineAtFault)
{
    EXPECT_EQ(read(GetParam().text), GetParam().read);
}

const std::string longest = "#" + std::string(ut3::maxListLineBytes - 1, 'x') + "\n";

INSTANTIATE_TEST_SUITE_P(Rows, List, testing::Values(
    ListRow{"ServersCommentsAndBlanks",
            "# our servers\n\n  127.0.0.1  \n  # a note\n[::1]:6501 8080\r\nut3.example.org:7777\t 80\n::1\nlast.example.org",
            {"127.0.0.1 6500 0 @3", "::1 6501 8080 @5", "ut3.example.org 7777 80 @6", "::1 6500 0 @7", "last.example.org 6500 0 @8"}},
    ListRow{"Empty", "", {}},
    ListRow{"BadServer", "a.example\nbad_host 8080\n", {"a.example 6500 0 @1", "servers.txt:2: \"bad_host\" is not a host name or address"}},
    ListRow{"BadQueryPort", "a.example:0", {"servers.txt:1: \"a.example:0\": the port must be a number from 1 to 65535"}},
    ListRow{"BadWebPort", "a.example 80x", {"servers.txt:1: the web port \"80x\" must be a number from 1 to 65535"}},
    ListRow{"WebPortZero", "a.example 0", {"servers.txt:1: the web port \"0\" must be a number from 1 to 65535"}},
    ListRow{"MoreThanAWebPort", "a.example 80 # ours", {"servers.txt:1: only a web port may follow the server"}},
    ListRow{"EscapeSequence", "a.example\x1B[2J", {"servers.txt:1: a control character (0x1B)"}},
    ListRow{"NulByte", "\n\na\0b"s, {"servers.txt:3: a control character (0x00)"}},
    ListRow{"NotASCII", "# L'\xC3\xA9quipe\na.example\xC2\x9B" "2J", {"servers.txt:2: a byte that is not ASCII (0xC2)"}},
    ListRow{"LongestLine", longest + "a.example", {"a.example 6500 0 @2"}},
    ListRow{"LineTooLong", "a.example\n" + std::string(ut3::maxListLineBytes + 1, 'x') + "\nb.example",
            {"a.example 6500 0 @1", "servers.txt:2: the line is longer than 1024 bytes"}},
    ListRow{"EndlessLine", std::string(100'000, '\0'), {"servers.txt:1: the line is longer than 1024 bytes"}}),
    [](const auto &info) { return info.param.name; });

TEST(List, NamesAtMostTheMostServers)
{
    const std::string most = "# many\n" + repeated("a.example\n", ut3::maxListedServers);
    const auto full = read(most + "# and no more\n");
    ASSERT_EQ(full.size(), ut3::maxListedServers);
    EXPECT_EQ(full.back(), "a.example 6500 0 @100001");
    const auto over = read(most + "b.example\n");
    ASSERT_EQ(over.size(), ut3::maxListedServers + 1);
    EXPECT_EQ(over.back(), "servers.txt:100002: more than 100000 servers");
}

TEST(List, IsReadWholeFromARegularFileOnly)
{
    const std::string path = testing::TempDir() + "/servers-" + std::to_string(getpid()) + ".txt";
    std::ofstream(path) << "# ours\n203.0.113.9:6500 8080\n";
    const auto servers = ut3::readServerList(path);
    ASSERT_TRUE(servers) << servers.fault().message;
    ASSERT_EQ(servers->size(), 1u);
    EXPECT_EQ(servers->front().target.host, "203.0.113.9");
    EXPECT_EQ(servers->front().webPort, 8080);
    std::ofstream(path) << "203.0.113.9:6500 8080\n[::1\n";
    EXPECT_EQ(ut3::readServerList(path).fault().message, path + ":2: \"[::1\": \"[\" without \"]\"");
    std::remove(path.c_str());
    for (const auto &[file, why] : {std::pair{path, "No such file or directory"}, std::pair{"/dev/zero"s, "not a regular file"}}) {
        const auto refused = ut3::readServerList(file);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.fault().message, "cannot read " + file + ": " + why);
        EXPECT_EQ(refused.fault().kind, common::FaultKind::cannotOpen);
    }
}

}
