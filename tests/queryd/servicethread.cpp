#include "servicethread.h"

#include "fakeserver.h"
#include "queryd/httpserver.h"
#include "queryd/service.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <algorithm>
#include <stdexcept>
#include <thread>

struct ServiceThread::Parts {
    boost::asio::io_context io;
    std::unique_ptr<fakeut3::FakeServer> fake;
    std::shared_ptr<queryd::Service> service;
    std::unique_ptr<queryd::HttpServer> server;
    std::thread thread;
    int players = 0;
};

ServiceThread::ServiceThread(const std::string &serverName, int players, int refreshSeconds)
    : m_parts(std::make_unique<Parts>())
{
    Parts &p = *m_parts;
    p.players = players;
    p.fake = std::make_unique<fakeut3::FakeServer>(p.io, fakeut3::sampleScript(serverName, "DM-Deck", players));
    queryd::ServiceOptions options;
    options.refresh = std::chrono::seconds(refreshSeconds);
    options.cacheTime = std::min(options.cacheTime, options.refresh);
    options.listen = {{boost::asio::ip::make_address("127.0.0.1"), 0}};
    p.service = queryd::Service::create(p.io, options);
    auto started = queryd::HttpServer::start(p.io, options, p.service);
    if (!started)
        throw std::runtime_error(started.fault().message);
    p.server = std::move(*started);
    p.thread = std::thread([&p] { p.io.run(); });
}

ServiceThread::~ServiceThread()
{
    Parts &p = *m_parts;
    boost::asio::post(p.io, [&p] { p.server->stop(); });
    p.io.stop();
    p.thread.join();
}

std::uint16_t ServiceThread::httpPort() const
{
    return m_parts->server->endpoints().at(0).port();
}

std::uint16_t ServiceThread::gamePort() const
{
    return m_parts->fake->port();
}

void ServiceThread::renameServer(const std::string &serverName)
{
    m_parts->fake->setScript(fakeut3::sampleScript(serverName, "DM-Deck", m_parts->players));
}

int ServiceThread::gameRequestsSeen() const
{
    return m_parts->fake->requestsSeen();
}
