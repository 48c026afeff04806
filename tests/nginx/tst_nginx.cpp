// The nginx example the package ships, run by the real nginx in front of
// the real service: what it lets through from a client that is not this
// machine. Every address here is loopback, so "outside" is a client
// connecting from 127.0.0.2, which the example's rules do not trust.
#include "backgroundservers.h"
#include "balancer.h"
#include "httpget.h"
#include "queryprocess.h"
#include "servicefixture.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using namespace std::chrono_literals;

// The answer to a GET through nginx from the given loopback address; empty
// while nginx does not listen yet.
std::string getFrom(const char *client, std::uint16_t port, const std::string &target)
{
    try {
        return rawExchange(port, "GET " + target + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n", client);
    } catch (const boost::system::system_error &) {
        return {};
    }
}

unsigned statusFrom(const char *client, std::uint16_t port, const std::string &target)
{
    const std::string answer = getFrom(client, port, target);
    std::smatch status;
    return std::regex_search(answer, status, std::regex("^HTTP/1\\.1 (\\d{3}) ")) ? unsigned(std::stoul(status[1])) : 0;
}

TEST(NginxExample, KeepsMetricsAndHealthToThisMachineAndPassesPages)
{
    fakeut3::BackgroundServers game({fakeut3::sampleScript("Through The Balancer", "DM-Deck", 2)});
    Process service({"--listen", "127.0.0.1:0", "--no-history"});
    const std::uint16_t servicePort = service.waitForPort();
    ASSERT_NE(servicePort, 0) << service.log();

    // The example as shipped, but for where it listens and the instances it
    // names: both are this one service.
    Balancer nginx(NGINX_EXAMPLE, {servicePort, servicePort}, NGINX);
    const std::uint16_t port = nginx.port();
    ASSERT_TRUE(waitFor([&] { return statusFrom("127.0.0.1", port, "/healthz") != 0 || nginx.exited(); }, 10s)) << nginx.log();
    const std::string page = statusTarget("127.0.0.1", game[0].port());
    // Other spellings of the paths too, as nginx reads them before it
    // picks the rule.
    for (const std::string path : {"/metrics", "/healthz", "/readyz", "/metrics?name=x", "//metrics", "/%6Detrics"})
        EXPECT_EQ(statusFrom("127.0.0.2", port, path), 403u) << path;
    for (const std::string path : {"/metrics", "/healthz", "/readyz"})
        EXPECT_EQ(statusFrom("127.0.0.1", port, path), 200u) << path;
    const std::string answer = getFrom("127.0.0.2", port, page);
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 ")) << answer.substr(0, 200);
    EXPECT_TRUE(contains(answer, "Through The Balancer"));
}

}
