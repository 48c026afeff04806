// skirvane-query as a user runs it, against fake servers on 127.0.0.1.
#include "backgroundservers.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

extern char **environ;

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string &path)
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Standard error goes to a file, or to `terminal` when given. The files are
// this process's own: the tests run side by side, each in a process.
Outcome runCommand(std::vector<std::string> arguments, int terminal = -1)
{
    const std::string stem = testing::TempDir() + "/cli-" + std::to_string(getpid());
    const std::string outPath = stem + ".out", errPath = stem + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (terminal >= 0)
        posix_spawn_file_actions_adddup2(&actions, terminal, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    arguments.insert(arguments.begin(), SKIRVANE_QUERY);
    std::vector<char *> argv;
    for (auto &a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    Outcome run;
    if (posix_spawn(&pid, SKIRVANE_QUERY, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = slurp(outPath);
    if (terminal < 0)
        run.err = slurp(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return run;
}

std::size_t lines(const std::string &text)
{
    return std::size_t(std::count(text.begin(), text.end(), '\n'));
}

// Fake servers named "CLI Server 0" ... with two players each.
std::vector<fakeut3::Script> scripts(int count)
{
    std::vector<fakeut3::Script> scripts;
    for (int i = 0; i < count; ++i)
        scripts.push_back(fakeut3::sampleScript("CLI Server " + std::to_string(i), "DM-Deck", 2));
    return scripts;
}

std::string closedPort()
{
    return "127.0.0.1:" + std::to_string(fakeut3::closedEndpoint().port());
}

struct UsageRow {
    std::vector<std::string> arguments;
    std::string message;
};

class BadUsage : public testing::TestWithParam<UsageRow> {};

TEST_P(BadUsage, ExitsWithTwoAndSaysWhy)
{
    const Outcome run = runCommand(GetParam().arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "skirvane-query: " + GetParam().message);
    EXPECT_EQ(lines(run.err), 2u); // and where to find help
}

INSTANTIATE_TEST_SUITE_P(Rows, BadUsage, testing::Values(
    UsageRow{{}, "no server given"},
    UsageRow{{"-x", "127.0.0.1"}, "unknown option \"-x\""},
    UsageRow{{"--json=yes", "127.0.0.1"}, "unknown option \"--json=yes\""},
    UsageRow{{"--timeout", "soon", "127.0.0.1"}, "option --timeout needs a number of milliseconds from 1 to 60000"},
    UsageRow{{"127.0.0.1", "-t"}, "option -t needs a number of milliseconds from 1 to 60000"},
    UsageRow{{"-p-5", "127.0.0.1"}, "option -p needs a number of microseconds from 0 to 1000000"},
    UsageRow{{"127.0.0.1:70000"}, "\"127.0.0.1:70000\": the port must be a number from 1 to 65535"},
    UsageRow{{"bad host"}, "\"bad host\" is not a host name or address"},
    UsageRow{{"-f", "/nonexistent/servers.txt"}, "cannot read /nonexistent/servers.txt: No such file or directory"}));

TEST(Command, UnreachableServersExitWithOneAndOneLineEach)
{
    const std::string closed = closedPort();
    const std::pair<std::string, std::string> rows[] = {
        {"no-such-server.invalid", "no-such-server.invalid:6500: cannot resolve no-such-server.invalid: "},
        {closed, closed + ": refused: nothing listens on " + closed + " (port unreachable)\n"},
    };
    for (const auto &[address, message] : rows) {
        const Outcome run = runCommand({address});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(lines(run.err), 1u);
        EXPECT_TRUE(run.err.starts_with("skirvane-query: " + message)) << run.err;
    }
}

TEST(Command, TableJsonAndFile)
{
    fakeut3::BackgroundServers servers(scripts(2));
    const Outcome table = runCommand({servers.address(0)});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(lines(table.out), 2u);
    EXPECT_NE(table.out.find("CLI Server 0"), std::string::npos);
    EXPECT_NE(table.out.find("Deathmatch"), std::string::npos);
    EXPECT_NE(table.out.find("2/32"), std::string::npos);

    const Outcome verbose = runCommand({"-v", servers.address(1)});
    EXPECT_NE(verbose.out.find("Player2"), std::string::npos);
    EXPECT_NE(verbose.out.find("team Blue Team: 5"), std::string::npos);
    EXPECT_NE(verbose.out.find("p1073741825 = DM-Deck"), std::string::npos);

    const Outcome one = runCommand({"--json", servers.address(1)});
    const auto object = nlohmann::json::parse(one.out);
    EXPECT_EQ(object["server"]["name"], "CLI Server 1");
    EXPECT_TRUE(object["query"]["webPort"].is_null());

    const std::string list = testing::TempDir() + "/servers-" + std::to_string(getpid()) + ".txt";
    const std::string closed = closedPort();
    std::ofstream(list) << "# our servers\n" << servers.address(0) << "\n\n  " << servers.address(1) << "  \n" << closed << "\n";
    const Outcome many = runCommand({"-j", "-f", list});
    EXPECT_EQ(many.status, 1);
    const auto array = nlohmann::json::parse(many.out);
    ASSERT_EQ(array.size(), 3u);
    EXPECT_EQ(array[0]["state"], "online");
    EXPECT_EQ(array[1]["players"].size(), 2u);
    EXPECT_EQ(array[2]["state"], "refused");
    EXPECT_EQ(lines(many.err), 1u);
}

// A bad line ends the list's reading; the servers before it are asked and
// printed whole, web ports and all.
TEST(Command, ListsAreReadAsTheyComeAndEndAtABadLine)
{
    fakeut3::BackgroundServers servers(scripts(2));
    const std::string list = testing::TempDir() + "/bad-servers-" + std::to_string(getpid()) + ".txt";
    std::ofstream(list) << servers.address(0) << " 8080\n" << servers.address(1) << "\t 80\n" << servers.address(1) << " 80 81\n";
    const Outcome run = runCommand({"-j", "-f", list});
    std::remove(list.c_str());
    EXPECT_EQ(run.status, 2);
    const auto array = nlohmann::json::parse(run.out);
    ASSERT_EQ(array.size(), 2u);
    EXPECT_EQ(array[1]["server"]["name"], "CLI Server 1");
    EXPECT_EQ(run.err, "skirvane-query: " + list + ":3: only a web port may follow the server\n");

    const Outcome endless = runCommand({"-f", "/dev/zero"});
    EXPECT_EQ(endless.status, 2);
    EXPECT_EQ(endless.err, "skirvane-query: /dev/zero:1: the line is longer than 1024 bytes\n");
}

// The first server of a list still being written is answered before the
// list ends.
TEST(Command, QueriesWhileTheListIsStillWritten)
{
    fakeut3::BackgroundServers servers(scripts(1));
    int list[2], out[2];
    ASSERT_EQ(pipe(list), 0);
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, list[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, list[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char *argv[] = {const_cast<char *>(SKIRVANE_QUERY), const_cast<char *>("-f"), const_cast<char *>("-"), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, SKIRVANE_QUERY, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(list[0]);
    close(out[1]);
    const std::string line = "# more to come\n" + servers.address(0) + "\n";
    ASSERT_EQ(write(list[1], line.data(), line.size()), ssize_t(line.size()));
    // The row comes while the list is open; a command that waited for its
    // end would leave this waiting (given up after long enough for any
    // machine, so that the test fails rather than hangs).
    std::string shown;
    char piece[4096];
    pollfd readable{out[0], POLLIN, 0};
    for (ssize_t n; shown.find("CLI Server 0") == std::string::npos && poll(&readable, 1, 30'000) == 1
                    && (n = read(out[0], piece, sizeof piece)) > 0;)
        shown.append(piece, std::size_t(n));
    close(list[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    close(out[0]);
    EXPECT_NE(shown.find("CLI Server 0"), std::string::npos) << shown;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Command, ProgressOnATerminalOnly)
{
    fakeut3::BackgroundServers servers(scripts(6));
    std::vector<std::string> arguments;
    for (int i = 0; i < 6; ++i)
        arguments.push_back(servers.address(i));

    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const Outcome onTerminal = runCommand(arguments, slave);
    close(slave);
    // The terminal hands its text over in pieces; it ends (EIO) once every
    // end of its other side is closed.
    std::string shown;
    char piece[4096];
    for (ssize_t n; (n = read(master, piece, sizeof piece)) > 0;)
        shown.append(piece, std::size_t(n));
    close(master);
    EXPECT_EQ(onTerminal.status, 0);
    EXPECT_NE(shown.find("queried 6 of 6 servers"), std::string::npos) << shown;
    EXPECT_EQ(lines(onTerminal.out), 7u);

    const Outcome toFile = runCommand(arguments);
    EXPECT_EQ(toFile.err, "");
}

TEST(Command, HelpListsEveryOptionAndVersionIsTheProjects)
{
    const Outcome help = runCommand({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: skirvane-query ", 0), 0u);
    EXPECT_NE(help.out.find("at most 100000 servers"), std::string::npos);
    for (const char *option : {"-f, --file=FILE", "-j, --json", "-v, --verbose", "-t, --timeout=MS", "-p, --pacing=US", "-h, --help", "-V, --version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const Outcome version = runCommand({"-V"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "skirvane-query " SKIRVANE_VERSION "\n");
}

}
