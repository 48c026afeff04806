// skirvane-queryd with its history in PostgreSQL (the test script's
// cluster): a database that cannot be used, or goes away and comes back,
// and two instances on one database behind nginx, configured by the example
// the project ships.
#include "../history/testdatabase.h"
#include "backgroundservers.h"
#include "balancer.h"
#include "queryprocess.h"
#include "servicefixture.h"

#include <nlohmann/json.hpp>

#include <regex>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto pollInterval = 2s;

const std::string polls = "this instance polls";

// A fake game server on a thread of its own, and its status page.
struct FakeGame {
    FakeGame(const std::string &name, int players) : servers({fakeut3::sampleScript(name, "DM-Deck", players)}) {}
    fakeut3::FakeServer &operator*() { return servers[0]; }
    fakeut3::FakeServer *operator->() { return &servers[0]; }
    std::string target() { return statusTarget("127.0.0.1", servers[0].port()); }
    fakeut3::BackgroundServers servers;
};

std::vector<std::string> instanceArguments(const std::string &database)
{
    return {"--listen", "127.0.0.1:0", "--db", database, "--poll-interval", std::to_string(pollInterval.count()),
            "--cache-seconds", "1", "--client-rate", "0", "--max-client-connections", "0"};
}

std::vector<std::string> linesHolding(const std::string &log, const std::string &part)
{
    std::vector<std::string> lines;
    std::istringstream text(log);
    for (std::string line; std::getline(text, line);)
        if (contains(line, part))
            lines.push_back(line);
    return lines;
}

}

TEST(PostgresFaults, ADatabaseThatCannotBeUsedIsOneLogLineAndPagesGoOn)
{
    const std::string cluster = testClusterUri();
    const std::string password = cluster.substr(cluster.find(':', 13) + 1, cluster.find('@') - cluster.find(':', 13) - 1);
    const std::string base = cluster.substr(0, cluster.rfind('/'));
    const std::string closed = "postgresql://skirvane:" + password + "@127.0.0.1:" + std::to_string(freePort()) + "/skirvane";
    const struct {
        std::string uri, shown, reason;
    } rows[] = {
        {closed, "postgresql://skirvane@127.0.0.1:" + closed.substr(closed.rfind(':') + 1), "Connection refused"},
        {std::regex_replace(cluster, std::regex(":" + password + "@"), ":not-the-password@"),
         "postgresql://skirvane@" + cluster.substr(cluster.find('@') + 1), "password authentication failed"},
        {base + "/no_such_history", std::regex_replace(base, std::regex(":" + password + "@"), "@") + "/no_such_history",
         "\"no_such_history\" does not exist"},
        // The password as a parameter, its name escaped.
        {std::regex_replace(base, std::regex(":" + password + "@"), "@") + "/no_such_history?pass%77ord=" + password
             + "&connect_timeout=3",
         std::regex_replace(base, std::regex(":" + password + "@"), "@") + "/no_such_history?connect_timeout=3",
         "\"no_such_history\" does not exist"},
    };
    FakeGame game("Still Here", 3);
    for (const auto &row : rows) {
        Process service(instanceArguments(row.uri));
        const std::uint16_t port = service.waitForPort();
        ASSERT_NE(port, 0) << service.log();
        // Not ready before any page, nor after pages.
        EXPECT_EQ(httpGet(port, "/readyz").status, 503u) << row.shown;
        for (int i = 0; i < 3; ++i) {
            const HttpReply page = httpGet(port, game.target());
            EXPECT_EQ(page.status, 200u);
            EXPECT_TRUE(containsAll(page.body, {"<h1>Still Here</h1>", "History unavailable."}));
            EXPECT_FALSE(contains(page.body, "skirvane@") || contains(page.body, "127.0.0.1:" + std::to_string(port)))
                << page.body;
        }
        const HttpReply search = httpGet(port, "/players?name=anna");
        EXPECT_EQ(search.status, 503u);
        EXPECT_FALSE(contains(search.body, "skirvane@")) << search.body;
        EXPECT_EQ(httpGet(port, "/Zyr/04query.html").status, 200u);
        EXPECT_EQ(httpGet(port, "/readyz").status, 503u) << row.shown;
        const auto lines = linesHolding(service.log(), "History unavailable");
        ASSERT_EQ(lines.size(), 1u) << service.log();
        EXPECT_TRUE(containsAll(lines[0], {row.shown + ": ", row.reason}));
        EXPECT_FALSE(contains(service.log(), password)) << "the password is in the log";
        EXPECT_FALSE(contains(service.log(), "available again")) << service.log();
    }
}

TEST(PostgresFaults, RecordingResumesWhenTheDatabaseComesBack)
{
    TestDatabase database("comes_back");
    FakeGame game("Back Again", 3);
    Process service(instanceArguments(database.uri()));
    const std::uint16_t port = service.waitForPort();
    ASSERT_NE(port, 0) << service.log();
    // Another instance that neither polls nor serves pages: only its health
    // checks ask the database.
    auto idleArguments = instanceArguments(database.uri());
    idleArguments.push_back("--no-poll");
    Process idle(idleArguments);
    const std::uint16_t idlePort = idle.waitForPort();
    ASSERT_NE(idlePort, 0) << idle.log();
    const auto ready = [&] { return httpGet(port, "/readyz").status == 200; };
    const auto idleReady = [&] { return httpGet(idlePort, "/readyz").status == 200; };
    EXPECT_TRUE(ready());
    EXPECT_TRUE(idleReady());
    const auto samplesWith = [&](int players) {
        return database.sql("SELECT count(*) FROM samples WHERE players = " + std::to_string(players));
    };
    ASSERT_EQ(httpGet(port, game.target()).status, 200u);
    ASSERT_TRUE(waitFor([&] { return samplesWith(3) != "0"; }, 10s)) << service.log();
    // Bytes that are not UTF-8 never reach the database.
    std::string continuations;
    for (int i = 0; i < 2600; ++i)
        continuations += "%80";
    for (const std::string &name : {std::string("%FF%FE"), "ab" + continuations})
        EXPECT_EQ(httpGet(port, "/players?name=" + name).status, 400u);

    controlTestCluster("stop");
    // With no page asked for, the health check's own read finds it out
    // within an interval, and it holds.
    EXPECT_TRUE(waitFor([&] { return !ready() && !idleReady(); }, 3 * pollInterval)) << service.log() << idle.log();
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(ready() || idleReady());
    // Once the cache period and the writer's batch are past, pages say so.
    EXPECT_TRUE(waitFor([&] {
        const HttpReply page = httpGet(port, game.target());
        return page.status == 200 && containsAll(page.body, {"<h1>Back Again</h1>", "History unavailable."});
    }, 10s)) << service.log();
    EXPECT_FALSE(ready());
    EXPECT_FALSE(contains(service.log(), "available again")) << service.log();

    controlTestCluster("start");
    EXPECT_TRUE(waitFor([&] { return ready() && idleReady(); }, 3 * pollInterval)) << service.log() << idle.log();
    game->setScript(fakeut3::sampleScript("Back Again", "DM-Deck", 7));
    ASSERT_TRUE(waitFor([&] {
        httpGet(port, game.target());
        return samplesWith(7) != "0";
    }, 30s)) << service.log();
    EXPECT_TRUE(waitFor([&] { return !contains(httpGet(port, game.target()).body, "History unavailable"); }, 5s))
        << service.log();
    // Said once it is so, without the password.
    const std::string uri = database.uri();
    const std::string password = uri.substr(uri.find(':', 13) + 1, uri.find('@') - uri.find(':', 13) - 1);
    const auto back = linesHolding(service.log(), "History available again: ");
    ASSERT_FALSE(back.empty()) << service.log();
    EXPECT_TRUE(contains(back[0], "postgresql://skirvane@127.0.0.1:")) << back[0];
    EXPECT_FALSE(contains(service.log(), password)) << "the password is in the log";
}

// A lock held elsewhere stops the writes without an error: the instance is
// not ready once a write has waited an interval, and is again once the
// write is done.
TEST(PostgresFaults, AWriteThatWaitsOnALockHoldsReadiness)
{
    TestDatabase database("held_up");
    FakeGame game("Held Up", 3);
    Process service(instanceArguments(database.uri()));
    const std::uint16_t port = service.waitForPort();
    ASSERT_NE(port, 0) << service.log();
    const auto ready = [&] { return httpGet(port, "/readyz").status == 200; };
    ASSERT_EQ(httpGet(port, game.target()).status, 200u);
    ASSERT_TRUE(waitFor([&] { return database.sql("SELECT count(*) FROM samples") != "0"; }, 10s)) << service.log();
    ASSERT_TRUE(ready());

    auto holder = history::postgres::Connection::open(database.uri());
    ASSERT_TRUE(holder) << holder.fault().message;
    // Reads go on: only the polls' writes wait.
    ASSERT_TRUE(holder->exec("BEGIN", "test").ok());
    ASSERT_TRUE(holder->exec("LOCK TABLE samples IN EXCLUSIVE MODE", "test").ok());
    EXPECT_TRUE(waitFor([&] { return !ready(); }, 4 * pollInterval)) << service.log();
    EXPECT_EQ(httpGet(port, game.target()).status, 200u);
    EXPECT_FALSE(ready());
    ASSERT_TRUE(holder->exec("COMMIT", "test").ok());
    EXPECT_TRUE(waitFor(ready, 2 * pollInterval)) << service.log();
}

TEST(Balancer, TwoInstancesShareOneHistoryAndPollEachServerOnce)
{
    TestDatabase database("balancer");
    FakeGame game("Shared Evenings", 3);
    fakeut3::FakeServer &fake = *game;

    std::vector<std::unique_ptr<Process>> instances;
    std::vector<std::uint16_t> ports;
    for (int i = 0; i < 2; ++i) {
        instances.push_back(std::make_unique<Process>(instanceArguments(database.uri())));
        ports.push_back(instances.back()->waitForPort());
        ASSERT_NE(ports.back(), 0) << instances.back()->log();
    }
    Balancer balancer(SKIRVANE_SOURCE_DIR "/packaging/nginx/skirvane-queryd.conf", ports, "/usr/sbin/nginx");
    ASSERT_TRUE(waitFor([&] {
        try {
            return httpGet(balancer.port(), "/Zyr/04query.html").status == 200;
        } catch (const std::exception &) {
            return false; // not listening yet
        }
    }, 10s)) << balancer.log();

    const std::string target = game.target();
    const HttpReply looked = httpGet(balancer.port(), target);
    ASSERT_EQ(looked.status, 200u) << balancer.log();
    ASSERT_TRUE(contains(looked.body, "Shared Evenings"));
    const int perQuery = fake.requestsSeen();
    ASSERT_GT(perQuery, 0);

    // The same history from either instance, once the sample is written.
    const auto historyFrom = [&](std::uint16_t port) {
        return nlohmann::json::parse(httpGet(port, target + "&format=json").body)["history"];
    };
    ASSERT_TRUE(waitFor([&] { return !historyFrom(ports[0]).empty() && historyFrom(ports[0]) == historyFrom(ports[1]); }, 10s))
        << historyFrom(ports[0]) << " / " << historyFrom(ports[1]);
    EXPECT_EQ(historyFrom(ports[0]).at(0)["players"], 3);
    // "Looked up lately" comes from the history too.
    const auto lookedUpLately = [&](std::uint16_t port) {
        const std::string page = httpGet(port, "/Zyr/04query.html").body;
        const auto from = page.find("<h2>Looked up lately</h2>");
        return from == std::string::npos ? std::string() : page.substr(from, page.find("</ul>", from) - from);
    };
    ASSERT_TRUE(waitFor([&] {
        return contains(lookedUpLately(ports[0]), "Shared Evenings") && lookedUpLately(ports[0]) == lookedUpLately(ports[1]);
    }, 10s)) << lookedUpLately(ports[0]) << "\n/\n" << lookedUpLately(ports[1]);
    // So does a player's page, with where the player is now, once the
    // sessions are written.
    for (const std::uint16_t port : ports) {
        const auto player = [port] { return httpGet(port, "/player?name=PLAYER1&format=json"); };
        ASSERT_TRUE(waitFor([&] { return player().status == 200; }, 10s)) << player().body;
        const auto json = nlohmann::json::parse(player().body);
        EXPECT_EQ(json["name"], "Player1") << json.dump();
        EXPECT_EQ(json["online"]["server"]["name"], "Shared Evenings") << json.dump();
        EXPECT_EQ(json["sessions"].size(), 1u) << json.dump();
    }

    // One instance polls; the server hears one query per interval, not two.
    ASSERT_TRUE(waitFor([&] { return contains(instances[0]->log(), polls) || contains(instances[1]->log(), polls); }, 10s));
    const std::size_t poller = contains(instances[0]->log(), polls) ? 0 : 1;
    EXPECT_FALSE(contains(instances[1 - poller]->log(), polls)) << "both instances poll";
    std::this_thread::sleep_for(pollInterval); // past the lookup's own queries
    const int before = fake.requestsSeen();
    std::this_thread::sleep_for(3 * pollInterval + pollInterval / 2);
    const int queries = (fake.requestsSeen() - before) / perQuery;
    EXPECT_GE(queries, 2);
    EXPECT_LE(queries, 4) << "polled by both instances";

    // The poller ends without a word: the other takes over within an interval.
    instances[poller]->signal(SIGKILL);
    const auto killed = Clock::now();
    const int atKill = fake.requestsSeen();
    ASSERT_TRUE(waitFor([&] { return fake.requestsSeen() > atKill && contains(instances[1 - poller]->log(), polls); },
                        4 * pollInterval))
        << instances[1 - poller]->log();
    EXPECT_LE(Clock::now() - killed, pollInterval + 1s);
    // The balancer sends the pages to the instance left.
    EXPECT_EQ(httpGet(balancer.port(), target).status, 200u);
}
