// skirvane-queryd as a process: its command line, signals, the sockets
// systemd hands over, the idle exit and the request log.
#include "httpget.h"
#include "queryprocess.h"
#include "servicefixture.h"
#include "../history/tempfolder.h"

#include <gtest/gtest.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <nlohmann/json.hpp>

#include <fstream>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::string_literals;

// The output of a run that ends by itself, and its exit status.
std::pair<std::string, std::optional<int>> output(std::vector<std::string> arguments)
{
    Process run(std::move(arguments));
    const auto status = run.waitForExit(std::chrono::seconds(10));
    return {run.log(), status};
}

TEST(Process, HelpListsEveryOptionAndVersionComesFromTheProject)
{
    const auto [help, status] = output({"--help"});
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(help.starts_with("Usage: skirvane-queryd [OPTION]...\n"));
    for (const char *option : {"--listen ADDR:PORT", "--public", "--cache-seconds N", "--query-timeout-ms MS",
                               "--refresh-seconds N", "--idle-exit N", "--max-request-bytes N", "--header-timeout N",
                               "--write-timeout N", "--keep-alive-timeout N",
                               "--max-connections N", "--max-client-connections N", "--max-queries N", "--client-rate N",
                               "--cache-mib N", "--allow-host NAME", "--metrics-from CIDR", "--metrics-max-servers N",
                               "--db PATH", "--keep-days N", "--db-max-mb N", "--no-history", "--no-player-names",
                               "--poll-interval N", "--poll-days N", "--poll-in-flight N", "--servers FILE",
                               "--poll-max-servers N", "--no-poll", "--help", "--version"})
        EXPECT_NE(help.find(std::string("  ") + option), std::string::npos) << option;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 79u) << line;

    EXPECT_EQ(output({"--version"}), std::pair("skirvane-queryd (Skirvane) " SKIRVANE_VERSION "\n"s, std::optional(0)));
    EXPECT_EQ(output({"--listen", "nowhere"}),
              std::pair("skirvane-queryd: --listen needs an address and port, such as 127.0.0.1:8650 or [::1]:8650; it "
                        "was 'nowhere'.\nTry 'skirvane-queryd --help' for more information.\n"s,
                        std::optional(2)));
}

TEST(Process, SigintAndSigtermEndItCleanlyWithOneLogLinePerRequest)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        Process service({"--listen", "127.0.0.1:0"});
        const std::uint16_t port = service.waitForPort();
        ASSERT_NE(port, 0) << service.log();
        EXPECT_EQ(httpGet(port, "/Zyr/04query.html").status, 200u);
        EXPECT_EQ(httpGet(port, "/nothing%0Ahere").status, 404u);
        service.signal(signal);
        EXPECT_EQ(service.waitForExit(std::chrono::seconds(10)), 0);
        const std::string log = service.log();
        EXPECT_TRUE(containsAll(log, {"Z 127.0.0.1 GET /Zyr/04query.html 200 ", "Z 127.0.0.1 GET /nothing%0Ahere 404 "}));
    }
}

TEST(Process, ServesOnTheSocketSystemdHandsOverAndEndsWhenIdle)
{
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor acceptor(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    const std::uint16_t port = acceptor.local_endpoint().port();
    Process service({"--idle-exit", "1"}, acceptor.native_handle());
    acceptor.close(); // only the service holds it now

    // Connections queued before the service runs are answered too.
    const HttpReply reply = httpGet(port, "/");
    EXPECT_EQ(reply.status, 200u);
    const auto lastRequest = Clock::now();
    EXPECT_EQ(service.waitForExit(std::chrono::seconds(10)), 0) << service.log();
    EXPECT_GE(Clock::now() - lastRequest, std::chrono::seconds(1));
    EXPECT_TRUE(containsAll(service.log(), {"listening on 127.0.0.1:" + std::to_string(port), "idle for 1 s, stopping"}));
}

TEST(Process, ATakenPortIsReportedAndEndsTheStart)
{
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor taken(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    const std::string where = "127.0.0.1:" + std::to_string(taken.local_endpoint().port());
    Process service({"--listen", where});
    EXPECT_EQ(service.waitForExit(std::chrono::seconds(10)), 1);
    EXPECT_EQ(service.log(), "skirvane-queryd: cannot listen on " + where + ": Address already in use\n");
}

TEST(Process, TheServerListIsPolledAndReadAgainOnSighup)
{
    boost::asio::io_context io;
    auto work = boost::asio::make_work_guard(io);
    fakeut3::FakeServer fake(io, fakeut3::sampleScript("Listed", "DM-Deck", 2));
    std::thread thread([&io] { io.run(); });
    TempFolder folder;
    const std::string list = (folder / "servers").string(), db = (folder / "history.sqlite3").string();
    std::ofstream(list) << "# ours\n127.0.0.1:" << fake.port() << " 8080\nnowhere:port\n";
    const auto [bad, status] = output({"--listen", "127.0.0.1:0", "--db", db, "--servers", list});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(bad.starts_with("skirvane-queryd: " + list + ":3: ")) << bad;

    std::ofstream(list) << "127.0.0.1:" << fake.port() << " 8080\n";
    Process service({"--listen", "127.0.0.1:0", "--db", db, "--servers", list, "--poll-interval", "1"});
    const std::uint16_t port = service.waitForPort();
    ASSERT_NE(port, 0) << service.log();
    const auto board = [port] { return nlohmann::json::parse(httpGet(port, "/servers?format=json").body)["servers"]; };
    EXPECT_TRUE(waitFor([&] { return board().size() == 1 && board()[0]["answered"] == true; }, std::chrono::seconds(10)))
        << board().dump();
    EXPECT_EQ(board()[0]["name"], "Listed");
    EXPECT_EQ(board()[0]["webPort"], 8080);

    std::ofstream(list) << "127.0.0.1:99999\n";
    service.signal(SIGHUP);
    EXPECT_TRUE(waitFor([&] { return contains(service.log(), list + ":1: "); }, std::chrono::seconds(10)));
    EXPECT_TRUE(contains(service.log(), "; still polling the 1 servers read before\n")) << service.log();
    EXPECT_EQ(board().size(), 1u);
    service.signal(SIGTERM);
    EXPECT_EQ(service.waitForExit(std::chrono::seconds(10)), 0);
    work.reset();
    io.stop();
    thread.join();
}

}
