#include "servicefixture.h"

#include <boost/asio/post.hpp>

#include <future>

ut3::QueryResult onlineResult(int players, ut3::QueryTarget query)
{
    ut3::QueryResult result;
    result.query = std::move(query);
    result.state = ut3::QueryState::online;
    result.status.emplace();
    result.status->server.numPlayers = players;
    result.pingMs = 12.5;
    return result;
}

bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

queryd::ServiceOptions RunningService::testOptions()
{
    queryd::ServiceOptions options;
    options.limits.clientRate = 0;
    options.queryTimeout = std::chrono::milliseconds(500);
    return options;
}

fakeut3::FakeServer &RunningService::addFake(fakeut3::Script script)
{
    m_fakes.push_back(std::make_unique<fakeut3::FakeServer>(m_io, std::move(script)));
    return *m_fakes.back();
}

void RunningService::start(queryd::ServiceOptions options, std::shared_ptr<queryd::ServerHistory> history)
{
    options.listen = {{boost::asio::ip::make_address("127.0.0.1"), 0}};
    const queryd::SteadyNow now = [this] {
        return std::chrono::steady_clock::now() + std::chrono::steady_clock::duration(m_ahead.load());
    };
    m_service = queryd::Service::create(m_io, options, std::move(history), now);
    auto started = queryd::HttpServer::start(m_io, options, m_service, {}, now);
    ASSERT_TRUE(started.ok()) << started.fault().message;
    m_server = std::move(*started);
    m_port = m_server->endpoints().at(0).port();
    m_thread = std::thread([this] { m_io.run(); });
}

void RunningService::TearDown()
{
    if (m_poller)
        boost::asio::post(m_io, [poller = m_poller] { poller->stop(); });
    if (m_server)
        boost::asio::post(m_io, [this] { m_server->stop(); });
    m_io.stop();
    if (m_thread.joinable())
        m_thread.join();
}

void RunningService::restart(queryd::ServiceOptions options, std::shared_ptr<queryd::ServerHistory> history)
{
    // Stopped before the loop ends, so that no stop waits in the loop for
    // the next server.
    std::promise<void> stopped;
    boost::asio::post(m_io, [&] {
        m_server->stop();
        stopped.set_value();
    });
    stopped.get_future().wait();
    m_io.stop();
    m_thread.join();
    m_server.reset();
    m_service.reset();
    m_io.restart();
    start(std::move(options), std::move(history));
}

std::string statusTarget(const std::string &address, unsigned queryPort, unsigned webPort,
                                         const std::string &path)
{
    return path + "?serverip=" + address + "&serverqport=" + std::to_string(queryPort)
        + "&serverwport=" + std::to_string(webPort);
}
