#pragma once

#include "fakeserver.h"
#include "httpget.h"
#include "queryd/historypoller.h"
#include "queryd/httpserver.h"
#include "queryd/options.h"
#include "queryd/service.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The status page of a game server.
std::string statusTarget(const std::string &address, unsigned queryPort, unsigned webPort = 0,
                         const std::string &path = "/Zyr/Skirvane/skirvane.php");

// An online server's answer with this many players, as the engine gives it.
ut3::QueryResult onlineResult(int players, ut3::QueryTarget query = {"127.0.0.1", 7787});

// Waits until `done` holds, at most `wait`; whether it came to hold.
bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds wait);

// The service on a free loopback port, running on its own thread, with
// fake game servers on the same io_context.
class RunningService : public ::testing::Test {
protected:
    // Options the tests start from: no per-client limit, short queries.
    static queryd::ServiceOptions testOptions();

    // Fake servers must be added before start().
    fakeut3::FakeServer &addFake(fakeut3::Script script);
    void start(queryd::ServiceOptions options = testOptions(),
               std::shared_ptr<queryd::ServerHistory> history = nullptr);
    void TearDown() override;
    // A new service on the same io_context and fake servers, as after a
    // restart of the program.
    void restart(queryd::ServiceOptions options, std::shared_ptr<queryd::ServerHistory> history);

    HttpReply get(const std::string &target) const { return httpGet(m_port, target); }

    std::uint16_t port() const { return m_port; }
    // Sets the service's clock forward, past a cache period or a client's
    // rate, instead of waiting for it.
    void advanceClock(std::chrono::steady_clock::duration by) { m_ahead += by.count(); }
    // For parts that run beside the service on its io_context.
    const std::shared_ptr<queryd::Service> &service() const { return m_service; }

    boost::asio::io_context m_io;
    std::vector<std::unique_ptr<fakeut3::FakeServer>> m_fakes;
    std::shared_ptr<queryd::HistoryPoller> m_poller; // stopped on tear-down, when a test starts one

private:
    // How far the service's clock is ahead of the steady clock.
    std::atomic<std::chrono::steady_clock::rep> m_ahead{0};
    std::shared_ptr<queryd::Service> m_service;
    std::unique_ptr<queryd::HttpServer> m_server;
    std::thread m_thread;
    std::uint16_t m_port = 0;
};
