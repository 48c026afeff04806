#pragma once

#include "queryd/options.h"
#include "queryd/service.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace queryd {

// HTTP/1.1 over Beast in front of the service: accepts on every listening
// socket, reads each request within the limits, answers, logs one line per
// request. One io_context thread; no thread per request.
class HttpServer final {
public:
    // Listens on options.listen, or on the inherited sockets, or on the
    // default addresses; a readable message when it cannot.
    static std::variant<std::unique_ptr<HttpServer>, std::string>
    start(boost::asio::io_context &io, const ServiceOptions &options, std::shared_ptr<Service> service,
          const std::vector<int> &inheritedSockets = {});

    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    std::vector<boost::asio::ip::tcp::endpoint> endpoints() const;

    // Called once when options.idleExit has passed without a request.
    void onIdle(std::function<void()> idle);

    // Stops accepting and closes every connection.
    void stop();

    class Core;
    explicit HttpServer(std::shared_ptr<Core> core);

private:
    std::shared_ptr<Core> m_core;
};

}
