#pragma once

#include "fakeserver.h"

#include <boost/asio/executor_work_guard.hpp>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace fakeut3 {

// Fake servers answering on a thread of their own, for tests whose thread
// waits on a child process or a blocking socket meanwhile.
class BackgroundServers final {
public:
    explicit BackgroundServers(const std::vector<Script> &scripts)
    {
        for (const Script &script : scripts)
            m_servers.push_back(std::make_unique<FakeServer>(m_io, script));
        m_thread = std::thread([this] { m_io.run(); });
    }
    ~BackgroundServers()
    {
        m_work.reset();
        m_io.stop();
        m_thread.join();
    }
    BackgroundServers(const BackgroundServers &) = delete;
    BackgroundServers &operator=(const BackgroundServers &) = delete;

    FakeServer &operator[](std::size_t i) { return *m_servers.at(i); }
    // "127.0.0.1:PORT" of the i-th server.
    std::string address(std::size_t i) const { return "127.0.0.1:" + std::to_string(m_servers.at(i)->port()); }

private:
    boost::asio::io_context m_io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_work = boost::asio::make_work_guard(m_io);
    std::vector<std::unique_ptr<FakeServer>> m_servers;
    std::thread m_thread;
};

}
