#include "queryd/statuspages.h"

#include "queryd/addresspolicy.h"
#include "queryd/refusal.h"
#include "queryd/renderhistory.h"
#include "queryd/renderhtml.h"
#include "queryd/renderjson.h"

#include "common/address.h"
#include "common/resolve.h"

namespace queryd {

namespace {

constexpr std::string_view Html = "text/html; charset=utf-8";
constexpr std::string_view Json = "application/json";

Response statusResponse(Format format, std::string body)
{
    return {200, format == Format::json ? Json : Html, std::move(body), {{"Cache-Control", "no-store"}}};
}

Response busy(Format format)
{
    Response response = refusal(503, format, "Busy",
                                "The service is asking too many game servers at once. Try again in a moment.");
    response.headers.emplace_back("Retry-After", "1");
    return response;
}

std::optional<ServiceMetrics::Lookup> counted(StatusCache::Lookup lookup)
{
    switch (lookup) {
    case StatusCache::Lookup::hit: return ServiceMetrics::Lookup::hit;
    case StatusCache::Lookup::miss: return ServiceMetrics::Lookup::miss;
    case StatusCache::Lookup::shared: return ServiceMetrics::Lookup::shared;
    case StatusCache::Lookup::busy: break;
    }
    return std::nullopt;
}

}

std::shared_ptr<StatusPages> StatusPages::create(boost::asio::io_context &io, const ServiceOptions &options,
                                                 std::shared_ptr<ServerHistory> history,
                                                 std::shared_ptr<ServiceMetrics> metrics, SteadyNow now)
{
    return std::make_shared<StatusPages>(io, options, std::move(history), std::move(metrics), std::move(now));
}

StatusPages::StatusPages(boost::asio::io_context &io, const ServiceOptions &options,
                         std::shared_ptr<ServerHistory> history, std::shared_ptr<ServiceMetrics> metrics, SteadyNow now)
    : m_io(io)
    , m_options(options)
    , m_history(std::move(history))
    , m_metrics(std::move(metrics))
    , m_now(orSteadyClock(std::move(now)))
    , m_client(io, ut3::ClientOptions{.timeout = options.queryTimeout})
    , m_cache([this](const auto &server, auto done) { query(server, std::move(done)); }, options.cacheTime,
              options.limits.maxQueriesInFlight, m_now)
    , m_answers(options.limits.cacheBytes)
{
}

void StatusPages::answer(std::string_view query, Reply reply)
{
    const auto parsed = parseStatusRequest(query);
    if (!parsed)
        return reply(refusal(400, askedFormat(query), "The query cannot be made", parsed.fault().message));
    lookUp(*parsed, std::move(reply));
}

void StatusPages::refresh(const ut3::QueryTarget &server, std::function<void()> done)
{
    lookUp({server.host, server.port, 0, Format::json, true}, [done = std::move(done)](Response) { done(); });
}

// A fresh result, as opposed to one served from the cache, is counted and
// recorded once.
void StatusPages::query(const boost::asio::ip::udp::endpoint &server, std::function<void(ut3::QueryResult)> done)
{
    const auto sent = m_now();
    m_client.query(server, [self = weak_from_this(), sent, done = std::move(done)](ut3::QueryResult result) {
        const auto service = self.lock();
        if (!service)
            return;
        service->m_metrics->queryEnded(result, service->m_now() - sent);
        if (service->m_history)
            service->m_history->record(result);
        done(std::move(result));
    });
}

void StatusPages::lookUp(const StatusRequest &request, Reply reply)
{
    if (const auto literal = common::addressLiteral(request.address))
        return withEndpoint(request, boost::asio::ip::udp::endpoint(*literal, request.queryPort), std::move(reply));
    // Resolving names costs as much as querying: the same limit holds.
    if (m_resolving + m_cache.inFlight() >= m_options.limits.maxQueriesInFlight)
        return reply(busy(request.format));
    resolve(request, [self = shared_from_this(), request, reply = std::move(reply)](auto resolved) mutable {
        if (!resolved) {
            ut3::QueryResult result;
            result.query = {request.address, request.queryPort};
            result.state = ut3::QueryState::invalid;
            result.error = resolved.fault().message;
            result.queriedAt = std::chrono::system_clock::now();
            return reply(statusResponse(request.format, self->completed(request, self->render(request, result))));
        }
        self->withEndpoint(request, *resolved, std::move(reply));
    });
}

// A name that does not resolve within the query timeout is answered as one
// that cannot be resolved: a stuck lookup must not hold a request forever.
void StatusPages::resolve(const StatusRequest &request, std::function<void(common::Expected<boost::asio::ip::udp::endpoint>)> done)
{
    ++m_resolving;
    common::resolveName(m_io, request.address, std::chrono::steady_clock::now() + m_options.queryTimeout,
                        [self = shared_from_this(), port = request.queryPort, done = std::move(done)](common::ResolvedAddresses resolved) {
                            --self->m_resolving;
                            if (!resolved)
                                return done(resolved.fault());
                            done(boost::asio::ip::udp::endpoint(chosenAddress(*resolved, self->m_options.publicService), port));
                        });
}

void StatusPages::withEndpoint(const StatusRequest &request, const boost::asio::ip::udp::endpoint &given, Reply reply)
{
    const boost::asio::ip::udp::endpoint endpoint(common::unwrapped(given.address()), given.port());
    if (m_options.publicService) {
        const auto verdict = judgeForPublicService(endpoint.address());
        if (const auto *refused = std::get_if<AddressRefusal>(&verdict))
            return reply(refusal(403, request.format, "Not queried", refused->sentence));
    }
    auto shared = std::make_shared<Reply>(std::move(reply));
    const auto lookup = m_cache.get(endpoint, [self = shared_from_this(), request, shared](StatusCache::Result result) {
        if (request.background)
            return (*shared)({});
        // Every page view is a lookup, a view of a cached result too.
        if (result->state == ut3::QueryState::online && result->status && self->m_history)
            self->m_history->lookedUp({request.address, request.queryPort}, result->query, request.webPort);
        (*shared)(self->resultResponse(request, result));
    });
    if (const auto count = counted(lookup))
        m_metrics->cacheLookup(*count);
    else
        (*shared)(busy(request.format));
}

Response StatusPages::resultResponse(const StatusRequest &request, const StatusCache::Result &result)
{
    const std::string server = request.address + ' ' + std::to_string(request.queryPort)
        + (request.format == Format::json ? " json" : " html");
    // The whole answer is kept too, so that asking again costs a look-up.
    const std::string asked = server + " web port " + std::to_string(request.webPort);
    auto answer = m_answers.find(asked, result);
    if (!answer) {
        auto rendered = m_answers.find(server, result);
        if (!rendered) {
            rendered = std::make_shared<const RenderedAnswer>(render(request, *result));
            m_answers.add(server, result, rendered);
        }
        answer = std::make_shared<const RenderedAnswer>(RenderedAnswer{completed(request, *rendered), 0});
        m_answers.add(asked, result, answer);
    }
    return statusResponse(request.format, answer->body);
}

RenderedAnswer StatusPages::render(const StatusRequest &request, const ut3::QueryResult &result)
{
    if (request.format == Format::json) {
        std::optional<JsonHistory> history;
        if (m_history) {
            history.emplace();
            history->day = m_history->daySeries(result.query);
            if (m_history->keepsNames())
                history->seen = m_history->playersSeen(result.query);
        }
        return {statusJson(result, history), StatusQueryAt};
    }
    const auto past = m_history ? m_history->past(result.query) : std::nullopt;
    StatusPage page = statusPage(request, result, {m_options.refresh, m_options.queryTimeout},
                                 past ? historySection(*past) : std::string());
    return {std::move(page.html), page.linkAt};
}

std::string StatusPages::completed(const StatusRequest &request, const RenderedAnswer &answer) const
{
    const std::string own = request.format == Format::json ? statusQueryPart(request) : statisticsLink(request);
    std::string body;
    body.reserve(answer.body.size() + own.size());
    body.append(answer.body, 0, answer.insertAt).append(own).append(answer.body, answer.insertAt);
    return body;
}

}
