#include "queryd/httpserver.h"

#include "queryd/listenaddress.h"
#include "queryd/listener.h"

#include <boost/asio/ip/v6_only.hpp>

#include <list>

namespace queryd {

using boost::asio::ip::tcp;

HttpServer::HttpServer(std::shared_ptr<Listener> listener)
    : m_listener(std::move(listener))
{
}

HttpServer::~HttpServer()
{
    m_listener->stop();
}

common::Expected<std::unique_ptr<HttpServer>>
HttpServer::start(boost::asio::io_context &io, const ServiceOptions &options, std::shared_ptr<Service> service,
                  const std::vector<int> &inheritedSockets, SteadyNow now)
{
    std::list<tcp::acceptor> acceptors;
    for (const int fd : inheritedSockets) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
        const tcp protocol = address.ss_family == AF_INET6 ? tcp::v6() : tcp::v4();
        boost::system::error_code error;
        acceptors.emplace_back(io).assign(protocol, fd, error);
        if (error)
            return common::Fault{"cannot use the socket handed over as descriptor " + std::to_string(fd) + ": " + error.message()};
    }
    const bool defaults = options.listen.empty() && inheritedSockets.empty();
    const auto wanted = defaults ? defaultListenAddresses() : options.listen;
    for (const tcp::endpoint &endpoint : wanted) {
        tcp::acceptor acceptor(io);
        boost::system::error_code error;
        acceptor.open(endpoint.protocol(), error);
        if (!error && endpoint.address().is_v6())
            acceptor.set_option(boost::asio::ip::v6_only(true), error);
        if (!error)
            acceptor.set_option(tcp::acceptor::reuse_address(true), error);
        if (!error)
            acceptor.bind(endpoint, error);
        if (!error)
            acceptor.listen(boost::asio::socket_base::max_listen_connections, error);
        // A machine without IPv6 still serves the IPv4 default.
        if (error && defaults && endpoint.address().is_v6()
            && (error == boost::system::errc::address_not_available
                || error == boost::asio::error::address_family_not_supported))
            continue;
        if (error)
            return common::Fault{"cannot listen on " + endpointText(endpoint) + ": " + error.message()};
        acceptors.push_back(std::move(acceptor));
    }
    auto listener = std::make_shared<Listener>(io, options, std::move(service), std::move(acceptors), std::move(now));
    listener->start();
    return std::make_unique<HttpServer>(std::move(listener));
}

std::vector<tcp::endpoint> HttpServer::endpoints() const
{
    return m_listener->endpoints();
}

void HttpServer::onIdle(std::function<void()> idle)
{
    m_listener->onIdle(std::move(idle));
}

void HttpServer::stop()
{
    m_listener->stop();
}

}
