// The service over real sockets: real HTTP requests on 127.0.0.1, fake
// UT3 servers answering real UDP queries behind it.
#include "servicefixture.h"

#include "deploymentvalues.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>

#include <nlohmann/json.hpp>

#include <fstream>

namespace {

using Service = RunningService;

// A refusal in JSON: the status and the sentence.
void expectJsonRefusal(const HttpReply &reply, unsigned status, const std::string &error)
{
    EXPECT_EQ(reply.status, status);
    EXPECT_EQ(reply.headers.at("content-type"), "application/json");
    EXPECT_EQ(nlohmann::json::parse(reply.body)["error"], error);
}

TEST_F(Service, BothStatusPathsShowTheOnlineServerByAddressOrNameAndAWebPortLinksItsStatistics)
{
    const auto &fake = addFake(fakeut3::sampleScript("Arena \"Deck\" & 'Friends'", "DM-Deck", 3));
    start();
    for (const auto &[address, path] : {std::pair{"127.0.0.1", "/Zyr/Skirvane/skirvane.php"},
                                        std::pair{"localhost", "/Skirvane/skirvane.php"}}) {
        const HttpReply reply = get(statusTarget(address, fake.port(), 0, path));
        EXPECT_EQ(reply.status, 200u) << address << path;
        EXPECT_EQ(reply.headers.at("content-type"), "text/html; charset=utf-8");
        EXPECT_TRUE(contains(reply.headers.at("content-security-policy"), "script-src 'self'"));
        const std::string &page = reply.body;
        // Each row in its team's colour.
        EXPECT_TRUE(containsAll(page, {"<h1>Arena &quot;Deck&quot; &amp; &#39;Friends&#39;</h1>", "DM-Deck",
                                       "<tr class=\"red\"><td class=\"name\">Player2</td><td>20</td>",
                                       "<tr class=\"blue\"><td class=\"name\">Player3</td><td>30</td>",
                                       "Red Team <b>3</b>", "<th>hostname</th>", "This page refreshes itself every 15 s.",
                                       "<script src=\"/assets/refresh.js\" defer></script>"}));
        EXPECT_FALSE(contains(page, "Statistics on the server"));
        // Highest score first.
        const auto first = page.find(">Player3<"), second = page.find(">Player2<"), third = page.find(">Player1<");
        ASSERT_NE(third, std::string::npos);
        EXPECT_LT(first, second);
        EXPECT_LT(second, third);
    }
    const HttpReply linked = get(statusTarget("127.0.0.1", fake.port(), 8080));
    EXPECT_TRUE(contains(linked.body, "<a href=\"http://127.0.0.1:8080/\">Statistics on the server"));
    const HttpReply v6 = get(statusTarget("::1", fakeut3::closedEndpoint().port(), 80));
    EXPECT_TRUE(contains(v6.body, "<a href=\"http://[::1]:80/\">"));
}

TEST_F(Service, HostileServerStringsArriveEscaped)
{
    fakeut3::Script script = fakeut3::sampleScript("<script>alert(1)</script>", "DM-<img src=x onerror=alert(2)>", 2);
    script.players[0].second[0] = "\xff\"'><iframe>" + std::string(4096, 'W');
    script.players[0].second[1] = "\xc3\x28 bad \xed\xa0\x80 utf-8";
    const auto &fake = addFake(script);
    start();
    const HttpReply reply = get(statusTarget("127.0.0.1", fake.port()));
    ASSERT_EQ(reply.status, 200u);
    EXPECT_TRUE(isValidUtf8(reply.body));
    EXPECT_EQ(occurrences(reply.body, "<script"), 1u); // the service's own, nothing else
    EXPECT_TRUE(containsNone(reply.body, {"<img", "<iframe"}));
    EXPECT_TRUE(containsAll(reply.body, {"<h1>&lt;script&gt;alert(1)&lt;/script&gt;</h1>", "&quot;&#39;&gt;&lt;iframe&gt;WWWW"}));
}

TEST_F(Service, JsonCarriesTheResultFieldByField)
{
    const auto &fake = addFake(fakeut3::sampleScript("Json Arena", "DM-Sanctuary", 2));
    start();
    const HttpReply reply = get(statusTarget("127.0.0.1", fake.port(), 8080) + "&format=json");
    ASSERT_EQ(reply.status, 200u);
    EXPECT_EQ(reply.headers.at("content-type"), "application/json");
    const auto json = nlohmann::json::parse(reply.body);
    EXPECT_EQ(json["query"], (nlohmann::json{{"address", "127.0.0.1"}, {"queryPort", fake.port()}, {"webPort", 8080}}));
    EXPECT_EQ(json["state"], "online");
    EXPECT_GE(json["pingMs"].get<double>(), 0.0);
    const nlohmann::json server = {{"name", "Json Arena"}, {"map", "DM-Sanctuary"}, {"numPlayers", 2}, {"maxPlayers", 32}};
    for (const auto &field : server.items())
        EXPECT_EQ(json["server"][field.key()], field.value()) << field.key();
    EXPECT_EQ(json["players"], nlohmann::json::parse(R"([{"name":"Player1","score":10,"deaths":1,"ping":31,"team":1},
                                                         {"name":"Player2","score":20,"deaths":2,"ping":32,"team":0}])"));
    EXPECT_EQ(json["teams"], nlohmann::json::parse(R"([{"name":"Red Team","score":3},{"name":"Blue Team","score":5}])"));
    EXPECT_FALSE(json.contains("history"));
}

TEST_F(Service, EveryFailedQuerySaysWhatHappenedAndWhatToCheck)
{
    const auto fake = [&](fakeut3::Shape shape) {
        fakeut3::Script script = fakeut3::sampleScript("Half there", "DM-Deck", 3);
        script.shape = shape;
        return addFake(script).port();
    };
    // '#' stands for the row's port.
    const std::tuple<std::uint16_t, std::string, std::string> rows[] = {
        {fake(fakeut3::Shape::silent), "timeout",
         "No answer from 127.0.0.1:# within 0.5 s. Is the server running, and is # its query port? 7777 is usually "
         "the game port."},
        {fakeut3::closedEndpoint().port(), "refused",
         "127.0.0.1:# refused the query: nothing listens on that port. Is the server running, and is # its query "
         "port? It is usually 6500; 7777 is the game port."},
        {fake(fakeut3::Shape::garbage), "malformed", "127.0.0.1:# answered, but not as a UT3 server does ("},
        // What did arrive is shown, marked as such.
        {fake(fakeut3::Shape::lostPacket), "timeout",
         "Only part of the answer from 127.0.0.1:# arrived within 0.5 s; what is shown may be incomplete.</p><dl "
         "class=\"facts\">"},
    };
    start();
    for (auto [port, state, sentence] : rows) {
        for (std::size_t at; (at = sentence.find('#')) != std::string::npos;)
            sentence.replace(at, 1, std::to_string(port));
        const HttpReply page = get(statusTarget("127.0.0.1", port));
        EXPECT_EQ(page.status, 200u);
        EXPECT_TRUE(contains(page.body, "<p class=\"problem\">" + sentence)) << page.body;
        const auto json = nlohmann::json::parse(get(statusTarget("127.0.0.1", port) + "&format=json").body);
        EXPECT_EQ(json["state"], state);
        EXPECT_FALSE(json["error"].get<std::string>().empty());
    }
}

TEST_F(Service, BadParametersAreRefusedWith400AndQueryNothing)
{
    const auto &fake = addFake(fakeut3::sampleScript("Never asked", "DM-Deck", 1));
    start();
    const std::pair<std::string, std::string> rows[] = {
        {"/Skirvane/skirvane.php?serverip=127.0.0.1&serverqport=Query%20Port&serverwport=0",
         "The query port must be a number from 1 to 65535; it was &#39;Query Port&#39;."},
        {statusTarget("%3Cscript%3Ealert(1)%3C/script%3E", fake.port()),
         "it was &#39;&lt;script&gt;alert(1)&lt;/script&gt;&#39;."},
        {statusTarget("%FF%FE", fake.port()), "The serverip value is not text in UTF-8"},
        // The address would be read up to the NUL, and the rest shown to every visitor.
        {statusTarget("127.0.0.1%00%3Cb%3EFake+news%3C/b%3E", fake.port()),
         "The serverip value holds a control character (U+0000)"},
    };
    for (const auto &[target, part] : rows) {
        const HttpReply reply = get(target);
        EXPECT_EQ(reply.status, 400u) << target;
        EXPECT_TRUE(contains(reply.body, part)) << reply.body;
        EXPECT_TRUE(isValidUtf8(reply.body));
        EXPECT_FALSE(contains(reply.body, "data-refresh")) << "a bad query does not get better by asking again";
    }
    expectJsonRefusal(get("/Zyr/Skirvane/skirvane.php?serverip=127.0.0.1&serverqport=x&serverwport=0&format=json"),
                      400, "The query port must be a number from 1 to 65535; it was 'x'.");
    EXPECT_EQ(fake.requestsSeen(), 0);
}

TEST_F(Service, SiteStyleScriptAndUnknownPaths)
{
    start();
    const HttpReply site = get("/");
    EXPECT_EQ(site.status, 200u);
    EXPECT_TRUE(containsAll(site.body, {"<h1>Skirvane " SKIRVANE_VERSION "</h1>", "ut3servers.ini"}));
    const HttpReply missing = get("/Skirvane/Tallyboard.zip");
    EXPECT_EQ(missing.status, 404u);
    EXPECT_TRUE(contains(missing.body, "<link rel=\"stylesheet\" href=\"/assets/page.css\">"));
    EXPECT_EQ(get("/assets/page.css").headers.at("content-type"), "text/css; charset=utf-8");
    const HttpReply script = get("/assets/refresh.js");
    EXPECT_EQ(script.headers.at("content-type"), "text/javascript; charset=utf-8");
    EXPECT_TRUE(contains(script.body, "replaceWith"));
}

// Every connection is open and every request sent before any answer is
// read: the service sees them all at once.
std::vector<std::string> burst(std::uint16_t port, const std::string &target, int requests)
{
    boost::asio::io_context io;
    std::vector<boost::asio::ip::tcp::socket> sockets;
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    for (int i = 0; i < requests; ++i) {
        sockets.emplace_back(io).connect({boost::asio::ip::make_address("127.0.0.1"), port});
        boost::asio::write(sockets.back(), boost::asio::buffer(request));
    }
    std::vector<std::string> answers(sockets.size());
    boost::system::error_code error;
    for (std::size_t i = 0; i < sockets.size(); ++i)
        boost::asio::read(sockets[i], boost::asio::dynamic_buffer(answers[i]), error);
    return answers;
}

TEST_F(Service, ABurstOf200RequestsSendsOneQueryPerCachePeriod)
{
    auto options = testOptions();
    options.cacheTime = std::chrono::seconds(2);
    const auto &once = addFake(fakeut3::sampleScript("Once", "DM-Deck", 4));
    const auto &busy = addFake(fakeut3::sampleScript("Busy", "DM-Deck", 4));
    start(options);
    // What one query costs a server, in datagrams received.
    get(statusTarget("127.0.0.1", once.port()));
    const int perQuery = once.requestsSeen();
    ASSERT_GT(perQuery, 0);

    for (int round = 1; round <= 2; ++round) {
        for (const std::string &answer : burst(port(), statusTarget("127.0.0.1", busy.port()), 200)) {
            EXPECT_TRUE(answer.starts_with("HTTP/1.1 200")) << answer.substr(0, 40);
            EXPECT_TRUE(contains(answer, "<h1>Busy</h1>"));
        }
        EXPECT_EQ(busy.requestsSeen(), round * perQuery);
        advanceClock(options.cacheTime);
    }
}

TEST_F(Service, PublicServiceRefusesLocalAddressesAfterResolving)
{
    auto options = testOptions();
    options.publicService = true;
    const auto &fake = addFake(fakeut3::sampleScript("Local", "DM-Deck", 1));
    start(options);
    for (const std::string address : {"127.0.0.1", "::ffff:127.0.0.1", "localhost"}) {
        const HttpReply reply = get(statusTarget(address, fake.port()));
        EXPECT_EQ(reply.status, 403u) << address;
        EXPECT_TRUE(contains(reply.body, "is a loopback address; this public service queries only game servers"))
            << reply.body;
    }
    expectJsonRefusal(get(statusTarget("10.0.0.1", 6500) + "&format=json"), 403,
                      "10.0.0.1 is a private address; this public service queries only game servers on the internet.");
    EXPECT_EQ(fake.requestsSeen(), 0);
}

TEST_F(Service, ClientsOverTheirRateGet429WithRetryAfter)
{
    auto options = testOptions();
    options.limits.clientRate = 2;
    start(options);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(get("/").status, 200u) << i;
    const HttpReply refused = get("/");
    EXPECT_EQ(refused.status, 429u);
    EXPECT_EQ(refused.headers.at("retry-after"), "1");
}

constexpr std::string_view Close = "Connection: close\r\n\r\n";
const std::string CssRequest = "GET /assets/page.css HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

// Connections from a loopback address that the service has taken in and
// keeps open: each has had an answer.
std::vector<boost::asio::ip::tcp::socket> heldConnections(boost::asio::io_context &io, std::uint16_t port, int count,
                                                          const char *from)
{
    std::vector<boost::asio::ip::tcp::socket> held;
    for (int i = 0; i < count; ++i) {
        held.emplace_back(io, boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address(from), 0))
            .connect({boost::asio::ip::make_address("127.0.0.1"), port});
        boost::asio::write(held.back(), boost::asio::buffer(CssRequest));
        std::string head;
        boost::asio::read_until(held.back(), boost::asio::dynamic_buffer(head), "\r\n\r\n");
        EXPECT_TRUE(head.starts_with("HTTP/1.1 200")) << head;
    }
    return held;
}

// Sixteen addresses at their cap of 32 fill the table with connections that
// send nothing. A 33rd from one of them is still refused, but a new client
// is served, in the place of the connection quiet longest.
TEST_F(Service, AFullTableMakesRoomForANewClient)
{
    auto options = testOptions();
    options.limits.maxClientConnections = 32;
    ASSERT_EQ(options.limits.maxConnections, 512u);
    start(options);
    boost::asio::io_context io;
    std::vector<boost::asio::ip::tcp::socket> silent;
    for (int address = 1; address <= 16; ++address)
        for (int i = 0; i < 32; ++i)
            silent.emplace_back(io, boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address("127.0.2." + std::to_string(address)), 0))
                .connect({boost::asio::ip::make_address("127.0.0.1"), port()});
    const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n" + std::string(Close);
    const std::string sameClient = rawExchange(port(), request, "127.0.2.1");
    EXPECT_TRUE(sameClient.starts_with("HTTP/1.1 503")) << sameClient;
    EXPECT_TRUE(contains(sameClient, "This address has too many connections open")) << sameClient;
    const std::string newcomer = rawExchange(port(), request, "127.0.3.1");
    EXPECT_TRUE(newcomer.starts_with("HTTP/1.1 200")) << newcomer.substr(0, 200);
    // The first connection made is the one closed; the next is still open.
    std::array<char, 1> byte;
    boost::system::error_code end;
    silent[0].read_some(boost::asio::buffer(byte), end);
    EXPECT_EQ(end, boost::asio::error::eof);
    silent[1].non_blocking(true);
    silent[1].read_some(boost::asio::buffer(byte), end);
    EXPECT_EQ(end, boost::asio::error::would_block);
}

// Between requests a connection may wait longer than a head may take.
TEST_F(Service, AKeptAliveConnectionWaitsItsOwnTimeoutAndEachHeadHasTheHeaderTimeout)
{
    auto options = testOptions();
    options.limits.headerTimeout = std::chrono::seconds(1);
    options.limits.keepAliveTimeout = std::chrono::seconds(3);
    start(options);
    boost::asio::io_context io;
    auto held = heldConnections(io, port(), 2, "127.0.0.1");
    const auto rest = [](boost::asio::ip::tcp::socket &socket) {
        std::string bytes;
        boost::system::error_code end;
        boost::asio::read(socket, boost::asio::dynamic_buffer(bytes), end);
        return bytes;
    };
    std::this_thread::sleep_for(std::chrono::seconds(2));
    boost::asio::write(held[0], boost::asio::buffer(CssRequest + "GET / HTTP/1.1\r\n"));
    const std::string answers = rest(held[0]);
    EXPECT_TRUE(containsAll(answers, {"HTTP/1.1 200", "HTTP/1.1 408"}));
    // Nothing begun: the connection just ends.
    EXPECT_FALSE(contains(rest(held[1]), "HTTP/1.1 "));
}

// A body the service cannot frame would be read as a next request.
TEST_F(Service, ATransferEncodingIsRefusedAndEndsTheConnection)
{
    auto options = testOptions();
    options.limits.headerTimeout = std::chrono::seconds(1);
    start(options);
    const std::string smuggled = "GET /smuggled HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    for (const std::string framing : {"gzip\r\n\r\n", "xchunked\r\n\r\n", "chunked, identity\r\n\r\n",
                                      "chunked\r\nTransfer-Encoding: gzip\r\n\r\n", "chunked\r\n\r\n0\r\n\r\n"}) {
        const std::string answer =
            rawExchange(port(), "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: " + framing + smuggled);
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 400")) << framing << answer.substr(0, 60);
        EXPECT_FALSE(contains(answer, "\nHTTP/1.1 ")) << framing << ": nothing answered after the refusal";
        EXPECT_TRUE(contains(answer, "Connection: close")) << framing;
    }
}

// A page elsewhere that gets its name to resolve to this machine must not
// drive the service; the desktop program's own hosts must.
TEST_F(Service, TheHostHeaderNamesThisServiceOnce)
{
    start();
    const std::pair<std::string, std::string> rows[] = {
        {"GET / HTTP/1.1\r\nHost: " + std::string(DeploymentValues::MainQueryHost) + "\r\n", "HTTP/1.1 200"},
        {"GET / HTTP/1.1\r\nHost: " + std::string(DeploymentValues::FavoritesQueryHost) + "\r\n", "HTTP/1.1 200"},
        {"GET / HTTP/1.0\r\n", "HTTP/1.0 200"},
        {"GET / HTTP/1.1\r\nHost: rebound.example\r\n", "HTTP/1.1 403"},
    };
    for (const auto &[head, status] : rows) {
        const std::string answer = rawExchange(port(), head + std::string(Close));
        EXPECT_TRUE(answer.starts_with(status)) << head << answer.substr(0, 60);
    }
    EXPECT_TRUE(contains(rawExchange(port(), "GET / HTTP/1.1\r\nHost: rebound.example\r\n" + std::string(Close)),
                         "--allow-host rebound.example"));
}

// Resident memory of this process, the service's thread included.
std::size_t residentBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:"))
            return std::stoul(line.substr(6)) * 1024;
    return 0;
}

// Many web ports and many spellings of one name, for one large reply.
TEST_F(Service, RenderedAnswersStayWithinTheCacheBytes)
{
    auto options = testOptions();
    options.limits.cacheBytes = 2 * 1024 * 1024;
    options.cacheTime = std::chrono::seconds(60); // one query for the whole run
    // Names made of what escaping makes five times longer.
    fakeut3::Script script = fakeut3::sampleScript("Large", "DM-Deck", 250);
    for (std::string &name : script.players[0].second)
        name = std::string(200, '&') + name;
    const auto &fake = addFake(script);
    start(options);
    const HttpReply first = get(statusTarget("127.0.0.1", fake.port()));
    ASSERT_GT(first.body.size(), 200'000u);
    const int perQuery = fake.requestsSeen();
    const std::size_t before = residentBytes();
    for (unsigned webPort = 1; webPort <= 300; ++webPort)
        ASSERT_EQ(get(statusTarget("127.0.0.1", fake.port(), webPort) + (webPort % 2 ? "" : "&format=json")).status,
                  200u);
    for (unsigned spelling = 1; spelling < 40; ++spelling) {
        std::string name = "localhost";
        for (std::size_t i = 0; i < name.size(); ++i)
            if (spelling >> i & 1)
                name[i] = static_cast<char>(name[i] - 'a' + 'A');
        const HttpReply reply = get(statusTarget(name, fake.port(), spelling));
        ASSERT_TRUE(contains(reply.body, "<h1>Large</h1>")) << name;
    }
    EXPECT_EQ(fake.requestsSeen(), perQuery) << "the load needed no new query";
#ifndef __SANITIZE_ADDRESS__
    // The address sanitizer keeps freed memory in quarantine: there the
    // resident size says nothing about the cache.
    EXPECT_LT(residentBytes() - before, options.limits.cacheBytes + 8 * 1024 * 1024);
#else
    (void)before;
#endif
}

class RecordingHistory final : public queryd::ServerHistory {
public:
    void record(const ut3::QueryResult &result) override { recorded.push_back(result.query); }
    bool keepsNames() const override { return true; }
    std::vector<history::SeenPlayer> playersSeen(const ut3::QueryTarget &) override
    {
        const auto when = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::from_time_t(1796000000));
        const auto hour = std::chrono::hours(1);
        return {{"Old <Timer>", false, {{when, when + hour}, {when - 3 * hour, when - 2 * hour}}}};
    }
    std::vector<ut3::QueryTarget> recorded;
};

TEST_F(Service, AHistoryStoreRecordsFreshResultsAndItsPlayersSeenReachTheJson)
{
    auto history = std::make_shared<RecordingHistory>();
    const auto &fake = addFake(fakeut3::sampleScript("Remembered", "DM-Deck", 1));
    start(testOptions(), history);
    EXPECT_EQ(get(statusTarget("127.0.0.1", fake.port())).status, 200u);
    const auto json = nlohmann::json::parse(get(statusTarget("127.0.0.1", fake.port()) + "&format=json").body);
    EXPECT_EQ(json["history"], nlohmann::json::array()) << "the store keeps no counts";
    const nlohmann::json seen = {{{"name", "Old <Timer>"},
                                  {"online", false},
                                  {"sessions",
                                   {{{"from", "2026-11-30T00:53:20Z"}, {"to", "2026-11-30T01:53:20Z"}},
                                    {{"from", "2026-11-29T21:53:20Z"}, {"to", "2026-11-29T22:53:20Z"}}}}}};
    EXPECT_EQ(json["seen"], seen);
    EXPECT_EQ(history->recorded.size(), 1u) << "the second page came from the cache";
}

}
