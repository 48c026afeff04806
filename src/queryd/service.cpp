#include "queryd/service.h"

#include "queryd/assets.h"
#include "queryd/operatorpages.h"
#include "queryd/paths.h"
#include "queryd/refusal.h"
#include "queryd/renderhtml.h"
#include "queryd/renderjson.h"
#include "queryd/statusrequest.h"

namespace queryd {

namespace {

constexpr std::string_view Html = "text/html; charset=utf-8";
constexpr std::string_view Json = "application/json";

Response notFound(const Request &)
{
    return refusal(404, Format::html, "Not found",
                   "There is no page at this address. Skirvane's start page is " + std::string(StartPagePath) + ".");
}

// The style and the script: the same bytes for the whole run.
Routes::Page asset(std::string_view type, std::string_view body)
{
    return [type, body](const Request &) { return Response{200, type, std::string(body), {{"Cache-Control", "max-age=3600"}}}; };
}

}

std::shared_ptr<Service> Service::create(boost::asio::io_context &io, const ServiceOptions &options,
                                         std::shared_ptr<ServerHistory> history, SteadyNow now)
{
    return std::make_shared<Service>(io, options, std::move(history), std::move(now));
}

Service::Service(boost::asio::io_context &io, const ServiceOptions &options, std::shared_ptr<ServerHistory> history,
                 SteadyNow now)
    : m_options(options)
    , m_history(std::move(history))
    , m_metrics(std::make_shared<ServiceMetrics>(options.metrics.maxServers, [history = m_history.get()] {
        return history ? history->writeFaults() : 0;
    }))
    , m_status(StatusPages::create(io, options, m_history, m_metrics, std::move(now)))
{
    const auto status = [pages = m_status](const Request &request, Reply reply) {
        pages->answer(request.query, std::move(reply));
    };
    m_routes.addWaiting(MainStatusPath, status)
        .addWaiting(FavouritesStatusPath, status)
        .add(StartPagePath, [this](const Request &) { return startPage(); })
        .add(PlayersPath, [this](const Request &request) { return players(request); })
        .add(SitePath, [](const Request &) { return Response{200, Html, sitePage(), {}}; })
        .add(StylePath, asset("text/css; charset=utf-8", pageStyle()))
        .add(ScriptPath, asset("text/javascript; charset=utf-8", refreshScript()))
        .add(MetricsPath, [this](const Request &request) { return metricsPage(request.client, m_options, *m_metrics); })
        .add(LivenessPath, [this](const Request &request) { return healthPage(false, m_history.get(), request.client, m_options); })
        .add(ReadinessPath, [this](const Request &request) { return healthPage(true, m_history.get(), request.client, m_options); })
        .otherwise(notFound);
}

void Service::handle(std::string_view target, const boost::asio::ip::address &client, Reply reply)
{
    m_routes.handle(target, client, std::move(reply));
}

void Service::refresh(const ut3::QueryTarget &server, std::function<void()> done)
{
    m_status->refresh(server, std::move(done));
}

Response Service::startPage()
{
    if (!m_history)
        return {200, Html, queryd::startPage({}), {{"Cache-Control", "no-store"}}};
    std::vector<RecentEntry> recent;
    for (RecentServer &server : m_history->recentServers()) {
        auto day = m_history->recentDay({server.address, server.queryPort});
        recent.push_back({std::move(server), std::move(day)});
    }
    return {200, Html, queryd::startPage(recent, m_history->keepsNames()), {{"Cache-Control", "no-store"}}};
}

Response Service::players(const Request &request)
{
    const auto parsed = parsePlayerSearch(request.query);
    const Format format = askedFormat(request.query);
    if (!parsed)
        return refusal(400, format, "The search cannot be made", parsed.fault().message);
    const PlayerSearch &search = *parsed;
    if (!m_history || !m_history->keepsNames())
        return refusal(404, format, "No player search", "This service keeps no player names.");
    auto matches = m_history->searchPlayers(search.name);
    if (!matches)
        return refusal(503, format, "The search cannot be made", std::string(HistoryUnavailableNotice));
    if (format == Format::html)
        return {200, Html, playerSearchPage(search.name, *matches), {{"Cache-Control", "no-store"}}};
    return {200, Json, playerMatchesJson(search.name, *matches), {{"Cache-Control", "no-store"}}};
}

}
