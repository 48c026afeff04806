#include "queryd/service.h"

#include "queryd/addresspolicy.h"
#include "queryd/assets.h"
#include "queryd/operatorpages.h"
#include "queryd/pages.h"
#include "queryd/utctime.h"
#include "ut3/json.h"

#include <boost/asio/ip/udp.hpp>

#include <nlohmann/json.hpp>

namespace queryd {

namespace {

constexpr std::string_view Html = "text/html; charset=utf-8";
constexpr std::string_view Json = "application/json";

std::string compactJson(const nlohmann::json &json)
{
    // Replaces what is not UTF-8 (parameters may carry any bytes) instead of throwing.
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string jsonText(const nlohmann::json &json)
{
    return compactJson(json) + "\n";
}

Response refusal(unsigned status, Format format, std::string_view heading, const std::string &sentence)
{
    if (format == Format::json)
        return {status, Json, jsonText({{"state", "invalid"}, {"error", sentence}}), {}};
    return {status, Html, messagePage(heading, sentence), {}};
}

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

}

std::shared_ptr<Service> Service::create(boost::asio::io_context &io, const ServiceOptions &options,
                                         std::shared_ptr<ServerHistory> history)
{
    return std::make_shared<Service>(io, options, std::move(history));
}

Service::Service(boost::asio::io_context &io, const ServiceOptions &options, std::shared_ptr<ServerHistory> history)
    : m_io(io)
    , m_options(options)
    , m_history(std::move(history))
    , m_client(io, ut3::ClientOptions{.timeout = options.queryTimeout})
    , m_metrics(options.metrics.maxServers, [history = m_history.get()] { return history ? history->writeFaults() : 0; })
    , m_cache(m_client, options.cacheTime, options.limits.maxQueriesInFlight, m_history.get(), &m_metrics)
    , m_answers(options.limits.cacheBytes)
{
}

void Service::handle(std::string_view target, const boost::asio::ip::address &client, Reply reply)
{
    const std::size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    const std::string_view query = question == std::string_view::npos ? std::string_view() : target.substr(question + 1);

    if (path == MainStatusPath || path == FavouritesStatusPath)
        return status(query, std::move(reply));
    if (auto page = operatorPage(path, client, m_options, m_metrics, m_history.get()))
        return reply(std::move(*page));
    if (path == StartPagePath)
        return reply({200, Html,
                      m_history ? startPage(
                                      m_history->recentServers(),
                                      [this](const RecentServer &server) {
                                          return m_history->recentSummary({server.address, server.queryPort});
                                      },
                                      m_history->keepsNames())
                                : startPage({}),
                      {{"Cache-Control", "no-store"}}});
    if (path == PlayersPath)
        return reply(players(query));
    if (path == SitePath)
        return reply({200, Html, sitePage(), {}});
    if (path == StylePath)
        return reply({200, "text/css; charset=utf-8", std::string(pageStyle()), {{"Cache-Control", "max-age=3600"}}});
    if (path == ScriptPath)
        return reply({200, "text/javascript; charset=utf-8", std::string(refreshScript()),
                      {{"Cache-Control", "max-age=3600"}}});
    reply(refusal(404, Format::html, "Not found",
                  "There is no page at this address. Skirvane's start page is " + std::string(StartPagePath) + "."));
}

void Service::status(std::string_view query, Reply reply)
{
    auto parsed = parseStatusRequest(query);
    if (const auto *error = std::get_if<ParameterError>(&parsed))
        return reply(refusal(400, error->format, "The query cannot be made", error->message));
    lookUp(std::get<StatusRequest>(parsed), std::move(reply));
}

Response Service::players(std::string_view query)
{
    auto parsed = parsePlayerSearch(query);
    if (const auto *error = std::get_if<ParameterError>(&parsed))
        return refusal(400, error->format, "The search cannot be made", error->message);
    const PlayerSearch &search = std::get<PlayerSearch>(parsed);
    if (!m_history || !m_history->keepsNames())
        return refusal(404, search.format, "No player search", "This service keeps no player names.");
    auto matches = m_history->searchPlayers(search.name);
    if (!matches)
        return refusal(503, search.format, "The search cannot be made", "History unavailable: " + matches.fault().message);
    if (search.format == Format::html)
        return {200, Html, playerSearchPage(search.name, *matches), {{"Cache-Control", "no-store"}}};
    nlohmann::json rows = nlohmann::json::array();
    for (const history::PlayerMatch &match : *matches)
        rows.push_back({{"name", match.name},
                        {"online", match.online},
                        {"lastSeen", utcTime(match.lastSeen, IsoSeconds)},
                        {"server", {{"address", match.server.address},
                                    {"queryPort", match.server.queryPort},
                                    {"name", match.serverName}}}});
    return {200, Json, jsonText({{"query", search.name}, {"matches", std::move(rows)}}), {{"Cache-Control", "no-store"}}};
}

void Service::refresh(const ut3::QueryTarget &server, std::function<void()> done)
{
    lookUp({server.host, server.port, 0, Format::json, true}, [done = std::move(done)](Response) { done(); });
}

void Service::lookUp(const StatusRequest &request, Reply reply)
{
    if (const auto literal = addressLiteral(request.address))
        return withEndpoint(request, boost::asio::ip::udp::endpoint(*literal, request.queryPort), std::move(reply));
    // Resolving names costs as much as querying: the same limit holds.
    if (m_resolving + m_cache.inFlight() >= m_options.limits.maxQueriesInFlight)
        return reply(busy(request.format));
    resolve(request, [self = shared_from_this(), request, reply = std::move(reply)](auto resolved) mutable {
        if (auto *error = std::get_if<std::string>(&resolved)) {
            ut3::QueryResult result;
            result.query = {request.address, request.queryPort};
            result.state = ut3::QueryState::invalid;
            result.error = std::move(*error);
            result.queriedAt = std::chrono::system_clock::now();
            return reply(statusResponse(request.format, self->completed(request, self->render(request, result))));
        }
        self->withEndpoint(request, std::get<boost::asio::ip::udp::endpoint>(resolved), std::move(reply));
    });
}

void Service::resolve(const StatusRequest &request,
                      std::function<void(std::variant<boost::asio::ip::udp::endpoint, std::string>)> done)
{
    ++m_resolving;
    auto resolver = std::make_shared<boost::asio::ip::udp::resolver>(m_io);
    resolver->async_resolve(
        request.address, std::to_string(request.queryPort),
        [self = shared_from_this(), resolver, done = std::move(done)](const boost::system::error_code &error,
                                                                      boost::asio::ip::udp::resolver::results_type results) {
            --self->m_resolving;
            if (error || results.empty())
                return done("the name could not be resolved (" + error.message() + ")");
            std::vector<boost::asio::ip::address> addresses;
            for (const auto &entry : results)
                addresses.push_back(entry.endpoint().address());
            done(boost::asio::ip::udp::endpoint(chosenAddress(addresses, self->m_options.publicService),
                                                results.begin()->endpoint().port()));
        });
}

void Service::withEndpoint(const StatusRequest &request, const boost::asio::ip::udp::endpoint &given, Reply reply)
{
    const boost::asio::ip::udp::endpoint endpoint(unwrapped(given.address()), given.port());
    if (m_options.publicService)
        if (const auto reason = refusalForPublicService(endpoint.address()))
            return reply(refusal(403, request.format, "Not queried", *reason));
    auto shared = std::make_shared<Reply>(std::move(reply));
    const bool taken = m_cache.get(endpoint, [self = shared_from_this(), request, shared](StatusCache::Result result) {
        if (request.background)
            return (*shared)({});
        // Every page view is a lookup, a view of a cached result too.
        if (result->state == ut3::QueryState::online && result->status && self->m_history)
            self->m_history->lookedUp({request.address, request.queryPort}, result->query, request.webPort);
        (*shared)(self->resultResponse(request, result));
    });
    if (!taken)
        (*shared)(busy(request.format));
}

Response Service::resultResponse(const StatusRequest &request, const StatusCache::Result &result)
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

RenderedAnswer Service::render(const StatusRequest &request, const ut3::QueryResult &result)
{
    if (request.format == Format::json) {
        nlohmann::json json = ut3::toJson(result);
        // What was asked goes first, made for each web port (completed).
        json.erase("query");
        if (m_history) {
            json["history"] = m_history->series(result.query);
            if (m_history->keepsNames()) {
                nlohmann::json seen = nlohmann::json::array();
                for (const history::SeenPlayer &player : m_history->playersSeen(result.query)) {
                    nlohmann::json sessions = nlohmann::json::array();
                    for (const history::PlayerSession &session : player.sessions)
                        sessions.push_back({{"from", utcTime(session.from, IsoSeconds)}, {"to", utcTime(session.to, IsoSeconds)}});
                    seen.push_back({{"name", player.name}, {"online", player.online}, {"sessions", std::move(sessions)}});
                }
                json["seen"] = std::move(seen);
            }
        }
        return {jsonText(json), 1};
    }
    StatusPage page = statusPage(request, result, {m_options.refresh, m_options.queryTimeout},
                                 m_history ? m_history->statusSection(result.query) : std::string());
    return {std::move(page.html), page.linkAt};
}

std::string Service::completed(const StatusRequest &request, const RenderedAnswer &answer) const
{
    std::string own;
    if (request.format == Format::json) {
        ut3::QueryResult asked;
        asked.query = {request.address, request.queryPort};
        own = "\"query\":" + compactJson(ut3::toJson(asked, request.webPort)["query"]) + ",";
    } else {
        own = statisticsLink(request);
    }
    std::string body;
    body.reserve(answer.body.size() + own.size());
    body.append(answer.body, 0, answer.insertAt).append(own).append(answer.body, answer.insertAt);
    return body;
}

}
