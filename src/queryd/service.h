#pragma once

#include "queryd/clock.h"
#include "queryd/history.h"
#include "queryd/metrics.h"
#include "queryd/options.h"
#include "queryd/renderboard.h"
#include "queryd/response.h"
#include "queryd/routes.h"
#include "queryd/statuspages.h"
#include "ut3/result.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace queryd {

// The request handler: what the service answers to a request, apart from
// HTTP itself. Its route table (see the constructor) gives each path its
// page: the status pages, the start page, the player search, the site, the
// style and script, and the operators' pages. Lives on one io_context thread.
class Service final {
public:
    // history may be null: no history section then. The cache periods go by `now`.
    static std::shared_ptr<Service> create(boost::asio::io_context &io, const ServiceOptions &options,
                                           std::shared_ptr<ServerHistory> history = nullptr, SteadyNow now = {});

    // A GET or HEAD request for target (path and query) from client. reply
    // is called once, at once or when the server's result is there.
    void handle(std::string_view target, const boost::asio::ip::address &client, Reply reply);

    // Asks for a server's state as a page would, through the cache, without
    // making a page; done is called once the result (or a refusal) is there.
    void refresh(const ut3::QueryTarget &server, std::function<void()> done);

    Service(boost::asio::io_context &io, const ServiceOptions &options, std::shared_ptr<ServerHistory> history,
            SteadyNow now);
    Service(const Service &) = delete;
    Service &operator=(const Service &) = delete;

    ServiceMetrics &metrics() { return *m_metrics; }

private:
    Response startPage();
    Response players(const Request &request);
    Response player(const Request &request);
    Response board(const Request &request);

    ServiceOptions m_options;
    std::shared_ptr<ServerHistory> m_history;
    // Shared with the status pages' queries still in flight.
    std::shared_ptr<ServiceMetrics> m_metrics;
    std::shared_ptr<StatusPages> m_status;
    Routes m_routes;
    // The whole board and "Live now" as rendered for a version of the
    // board: most requests come between two polls and take them as they are.
    enum class BoardPart { html, json, liveNow };
    struct RenderedBoard {
        std::uint64_t version = 0;
        std::optional<std::string> liveNow;
        bool rendered = false; // the page and JSON of `rows` are those of `version`
        BoardRendering rows;
    };
    RenderedBoard m_board;
    const std::string &renderedBoard(BoardPart part);
};

}
