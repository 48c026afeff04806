#pragma once

#include "common/expected.h"
#include "queryd/clock.h"
#include "queryd/options.h"
#include "queryd/service.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace queryd {

class Listener;

// HTTP/1.1 over Beast in front of the service: listens on every address
// asked for or socket handed over; a Listener accepts there and a Session
// serves each connection. One io_context thread; no thread per request.
class HttpServer final {
public:
    // Listens on options.listen, or on the inherited sockets, or on the
    // default addresses; a readable message when it cannot. The client
    // rates and the idle exit go by `now`.
    static common::Expected<std::unique_ptr<HttpServer>>
    start(boost::asio::io_context &io, const ServiceOptions &options, std::shared_ptr<Service> service,
          const std::vector<int> &inheritedSockets = {}, SteadyNow now = {});

    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    std::vector<boost::asio::ip::tcp::endpoint> endpoints() const;

    // Called once when options.idleExit has passed without a request.
    void onIdle(std::function<void()> idle);

    // Stops accepting and closes every connection.
    void stop();

    explicit HttpServer(std::shared_ptr<Listener> listener);

private:
    std::shared_ptr<Listener> m_listener;
};

}
