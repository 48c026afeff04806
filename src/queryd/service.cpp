#include "queryd/service.h"

#include "queryd/assets.h"
#include "queryd/boardrequest.h"
#include "queryd/operatorpages.h"
#include "queryd/paths.h"
#include "queryd/playerpage.h"
#include "queryd/refusal.h"
#include "queryd/renderboard.h"
#include "queryd/renderhtml.h"
#include "queryd/renderjson.h"
#include "queryd/renderplayer.h"
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
        .add(PlayerPath, [this](const Request &request) { return player(request); })
        .add(BoardPath, [this](const Request &request) { return board(request); })
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
    std::vector<RecentServer> servers = m_history->recentServers();
    std::vector<ut3::QueryTarget> asked;
    for (const RecentServer &server : servers)
        asked.push_back({server.address, server.queryPort});
    std::vector<std::optional<history::Series>> days = m_history->recentDays(asked);
    std::vector<RecentEntry> recent;
    for (std::size_t i = 0; i < servers.size(); ++i)
        recent.push_back({std::move(servers[i]), std::move(days[i])});
    return {200, Html, queryd::startPage(recent, m_history->keepsNames(), renderedBoard(BoardPart::liveNow)),
            {{"Cache-Control", "no-store"}}};
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
    std::vector<std::uint16_t> webPorts;
    for (const history::PlayerMatch &match : *matches)
        webPorts.push_back(m_history->webPort(match.server));
    return {200, Json, playerMatchesJson(search.name, *matches, webPorts), {{"Cache-Control", "no-store"}}};
}

Response Service::player(const Request &request)
{
    const auto parsed = parsePlayerSearch(request.query);
    const Format format = askedFormat(request.query);
    if (!parsed)
        return refusal(400, format, "No such player page", parsed.fault().message);
    if (!m_history || !m_history->keepsNames())
        return refusal(404, format, "No player pages", "This service keeps no player names.");
    auto sessions = m_history->playerSessions(parsed->name);
    if (!sessions)
        return refusal(503, format, "The player's page cannot be made", historyUnavailable(sessions.fault().message));
    if (sessions->empty())
        return refusal(404, format, "Never seen", "Nobody by that name was seen in the last "
                                                      + std::to_string(m_options.history.keep.count()) + " days.");
    PlayerPage page = playerPage(std::move(*sessions));
    for (const history::NamedSession &session : page.sessions)
        page.webPorts.try_emplace(session.server, m_history->webPort(session.server));
    if (format == Format::html)
        return {200, Html, playerPageHtml(page, m_options.history.keep), {{"Cache-Control", "no-store"}}};
    return {200, Json, playerPageJson(page), {{"Cache-Control", "no-store"}}};
}

const std::string &Service::renderedBoard(BoardPart part)
{
    const std::uint64_t version = m_history->boardVersion();
    if (m_board.version != version) {
        m_board.version = version;
        m_board.liveNow.reset();
        m_board.rendered = false;
    }
    if (part == BoardPart::liveNow) {
        if (!m_board.liveNow)
            m_board.liveNow = liveNowSection(m_history->board());
        return *m_board.liveNow;
    }
    if (!m_board.rendered) {
        m_board.rows.render(m_history->board());
        m_board.rendered = true;
    }
    return part == BoardPart::html ? m_board.rows.page() : m_board.rows.json();
}

Response Service::board(const Request &request)
{
    const auto parsed = parseBoardRequest(request.query);
    const Format format = askedFormat(request.query);
    if (!parsed)
        return refusal(400, format, "The board cannot be shown", parsed.fault().message);
    const BoardFilter &filter = parsed->filter;
    if (m_history && filter.text.empty() && !filter.withPlayers) {
        if (parsed->format == Format::html)
            return {200, Html, renderedBoard(BoardPart::html), {{"Cache-Control", "no-store"}}};
        return {200, Json, renderedBoard(BoardPart::json), {{"Cache-Control", "no-store"}}};
    }
    auto rows = filterBoard(m_history ? m_history->board() : std::vector<BoardRow>{}, filter);
    if (parsed->format == Format::html)
        return {200, Html, boardPage(rows, parsed->filter), {{"Cache-Control", "no-store"}}};
    return {200, Json, boardJson(rows), {{"Cache-Control", "no-store"}}};
}

}
