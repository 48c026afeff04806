#pragma once

#include "queryd/response.h"

#include <boost/asio/ip/address.hpp>

#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace queryd {

// A GET or HEAD request as a page sees it.
struct Request {
    std::string_view path;
    std::string_view query; // after the '?', still form-encoded: decodeQuery (statusrequest.h) reads it
    boost::asio::ip::address client;
};

// The service's pages by path: one function per path, and one for every
// other path. A page answers a request with a Response; a page that waits
// for something (a game server's answer) gets the reply to call instead.
class Routes final {
public:
    using Page = std::function<Response(const Request &)>;
    using WaitingPage = std::function<void(const Request &, Reply)>;

    // Paths are the constants of paths.h, which outlive the table.
    Routes &add(std::string_view path, Page page);
    Routes &addWaiting(std::string_view path, WaitingPage page);
    Routes &otherwise(Page page);

    // Answers target (path and query) from client through its page; reply
    // is called once.
    void handle(std::string_view target, const boost::asio::ip::address &client, Reply reply) const;

private:
    std::vector<std::pair<std::string_view, WaitingPage>> m_pages;
    Page m_otherwise;
};

}
