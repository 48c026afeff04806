#pragma once

#include "queryd/answercache.h"
#include "queryd/clock.h"
#include "queryd/history.h"
#include "queryd/metrics.h"
#include "queryd/options.h"
#include "queryd/response.h"
#include "queryd/statuscache.h"
#include "queryd/statusrequest.h"
#include "ut3/client.h"

#include "common/expected.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace queryd {

// A game server's status page or JSON: the parameters checked, a name
// resolved, the address vetted, the result from the cache, the answer
// rendered once per result. A fresh result, not one served from the cache,
// is recorded in the history and counted in the metrics here, once. Lives on
// one io_context thread; callbacks of queries in flight hold it alive.
class StatusPages final : public std::enable_shared_from_this<StatusPages> {
public:
    // history may be null: no history section then. The cache periods go by `now`.
    static std::shared_ptr<StatusPages> create(boost::asio::io_context &io, const ServiceOptions &options,
                                               std::shared_ptr<ServerHistory> history,
                                               std::shared_ptr<ServiceMetrics> metrics, SteadyNow now);

    // The answer to a status page's query string; reply is called once, at
    // once or when the server's result is there.
    void answer(std::string_view query, Reply reply);

    // Asks for a server's state as a page would, through the cache, without
    // making a page; done is called once the result (or a refusal) is there.
    void refresh(const ut3::QueryTarget &server, std::function<void()> done);

    StatusPages(boost::asio::io_context &io, const ServiceOptions &options, std::shared_ptr<ServerHistory> history,
                std::shared_ptr<ServiceMetrics> metrics, SteadyNow now);

private:
    void query(const boost::asio::ip::udp::endpoint &server, std::function<void(ut3::QueryResult)> done);
    void lookUp(const StatusRequest &request, Reply reply);
    void resolve(const StatusRequest &request, std::function<void(common::Expected<boost::asio::ip::udp::endpoint>)> done);
    void withEndpoint(const StatusRequest &request, const boost::asio::ip::udp::endpoint &endpoint, Reply reply);
    Response resultResponse(const StatusRequest &request, const StatusCache::Result &result);
    RenderedAnswer render(const StatusRequest &request, const ut3::QueryResult &result);
    // The rendered answer with the request's own part in.
    std::string completed(const StatusRequest &request, const RenderedAnswer &answer) const;

    boost::asio::io_context &m_io;
    ServiceOptions m_options;
    std::shared_ptr<ServerHistory> m_history;
    std::shared_ptr<ServiceMetrics> m_metrics;
    SteadyNow m_now;
    ut3::Client m_client;
    StatusCache m_cache;
    std::size_t m_resolving = 0;
    // A cached result's page is served without rendering it again: a
    // rendering per server and format, and each web port's whole answer.
    AnswerCache m_answers;
};

}
