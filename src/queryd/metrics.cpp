#include "queryd/metrics.h"

#include "common/address.h"

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <algorithm>
#include <map>

namespace queryd {

namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;
using prometheus::BuildHistogram;
using prometheus::MetricFamily;
using prometheus::MetricType;

// Off in a build that measures what counting costs (SKIRVANE_SERVICE_COUNTERS=OFF).
#ifdef SKIRVANE_WITHOUT_SERVICE_COUNTERS
constexpr bool counting = false;
#else
constexpr bool counting = true;
#endif

double seconds(ServiceMetrics::Duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// Pages come from memory in well under a millisecond; a status page waits
// for its game server, up to the query timeout.
const prometheus::Histogram::BucketBoundaries RequestBuckets{0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025,
                                                             0.05,   0.1,   0.25,   0.5,   1,    2.5, 5, 10};
const prometheus::Histogram::BucketBoundaries QueryBuckets{0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5,
                                                           1,     2,    5,     10,   30,  60};

std::size_t outcomeIndex(ut3::QueryState state)
{
    switch (state) {
    case ut3::QueryState::online:
        return 0;
    case ut3::QueryState::timeout:
        return 1;
    case ut3::QueryState::refused:
        return 2;
    case ut3::QueryState::malformed:
    case ut3::QueryState::invalid:
        break;
    }
    return 3;
}

// In the order of ServiceMetrics::Figures.
constexpr std::string_view ServerFigureNames[] = {"skirvane_server_up", "skirvane_server_players", "skirvane_server_bots",
                                                  "skirvane_server_max_players", "skirvane_server_ping_seconds"};
constexpr std::string_view ServerFigureHelp[] = {
    "Whether the polled server answered its latest query (1) or not (0)", "Players on the polled server",
    "Bots on the polled server", "Player slots of the polled server", "Round trip of the polled server's latest answer"};

MetricFamily family(std::string name, std::string help, MetricType type)
{
    return {std::move(name), std::move(help), type, {}};
}

MetricFamily serverFigure(std::size_t figure)
{
    return family(std::string(ServerFigureNames[figure]), std::string(ServerFigureHelp[figure]), MetricType::Gauge);
}

// Each per-server figure's HELP and TYPE lines, which its first run of samples follows.
const std::string &serverFigureHead(std::size_t figure)
{
    static const auto heads = [] {
        std::array<std::string, std::size(ServerFigureNames)> heads;
        for (std::size_t i = 0; i < heads.size(); ++i)
            heads[i] = prometheus::TextSerializer().Serialize({serverFigure(i)});
        return heads;
    }();
    return heads[figure];
}

// Servers per run of samples rendered together: one answer renders few
// samples anew, and a whole render makes few calls into the serializer.
constexpr std::size_t serversPerRun = 32;

prometheus::ClientMetric gaugeValue(double value, std::vector<prometheus::ClientMetric::Label> labels = {})
{
    prometheus::ClientMetric metric;
    metric.label = std::move(labels);
    metric.gauge.value = value;
    return metric;
}

}

ServiceMetrics::ServiceMetrics(std::size_t maxServers, std::function<std::uint64_t()> writeFaults)
    : m_registry(std::make_shared<prometheus::Registry>())
    , m_requests(BuildCounter()
                     .Name("skirvane_http_requests_total")
                     .Help("HTTP requests answered, by status code")
                     .Register(*m_registry))
    , m_requestDuration(BuildHistogram()
                            .Name("skirvane_http_request_duration_seconds")
                            .Help("Time from a request's arrival to its answer being written")
                            .Register(*m_registry)
                            .Add({}, RequestBuckets))
    , m_connections(BuildGauge()
                        .Name("skirvane_open_connections")
                        .Help("HTTP connections open now")
                        .Register(*m_registry)
                        .Add({}))
    , m_queryDuration(BuildHistogram()
                          .Name("skirvane_game_query_duration_seconds")
                          .Help("Time from sending a game server query to its end, answered or not")
                          .Register(*m_registry)
                          .Add({}, QueryBuckets))
    , m_maxServers(maxServers)
    , m_writeFaults(std::move(writeFaults))
{
    auto &lookups = BuildCounter()
                        .Name("skirvane_cache_lookups_total")
                        .Help("Server results asked of the cache: hit (fresh result), miss (a new query), "
                              "shared (joined a query in flight)")
                        .Register(*m_registry);
    m_lookups = {&lookups.Add({{"result", "hit"}}), &lookups.Add({{"result", "miss"}}),
                 &lookups.Add({{"result", "shared"}})};
    auto &outcomes = BuildCounter()
                         .Name("skirvane_game_queries_total")
                         .Help("Game server queries ended, by outcome")
                         .Register(*m_registry);
    m_outcomes = {&outcomes.Add({{"outcome", "ok"}}), &outcomes.Add({{"outcome", "timeout"}}),
                  &outcomes.Add({{"outcome", "refused"}}), &outcomes.Add({{"outcome", "invalid"}})};
}

ServiceMetrics::~ServiceMetrics() = default;

void ServiceMetrics::requestAnswered(unsigned status, Duration took)
{
    if constexpr (!counting)
        return;
    auto found = m_requestsByCode.find(status);
    if (found == m_requestsByCode.end())
        found = m_requestsByCode.emplace(status, &m_requests.Add({{"code", std::to_string(status)}})).first;
    found->second->Increment();
    m_requestDuration.Observe(seconds(took));
}

void ServiceMetrics::connectionOpened()
{
    if constexpr (!counting)
        return;
    m_connections.Increment();
}

void ServiceMetrics::connectionClosed()
{
    if constexpr (!counting)
        return;
    m_connections.Decrement();
}

void ServiceMetrics::cacheLookup(Lookup lookup)
{
    if constexpr (!counting)
        return;
    m_lookups[static_cast<std::size_t>(lookup)]->Increment();
}

void ServiceMetrics::queryEnded(const ut3::QueryResult &result, Duration took)
{
    if constexpr (!counting)
        return;
    m_outcomes[outcomeIndex(result.state)]->Increment();
    m_queryDuration.Observe(seconds(took));
    const std::pair<std::string, std::uint16_t> address{result.query.host, result.query.port};
    const auto found = std::lower_bound(m_polled.begin(), m_polled.end(), address,
                                        [](const Polled &polled, const auto &address) { return polled.address < address; });
    if (found == m_polled.end() || found->address != address)
        return;
    Figures figures{0.0};
    if (result.state == ut3::QueryState::online && result.status) {
        const ut3::ServerInfo &info = result.status->server;
        const auto number = [](std::optional<long long> value) -> std::optional<double> {
            return value ? std::optional<double>(static_cast<double>(*value)) : std::nullopt;
        };
        figures = {1.0, number(info.numPlayers.value_or(static_cast<long long>(result.status->players.size()))),
                   number(info.bots), number(info.maxPlayers),
                   result.pingMs ? std::optional<double>(*result.pingMs / 1000) : std::nullopt};
    }
    auto &runText = m_runText[std::size_t(found - m_polled.begin()) / serversPerRun];
    for (std::size_t i = 0; i < serverFigures; ++i)
        if (figures[i] != found->figures[i])
            runText[i].reset();
    found->figures = figures;
}

void ServiceMetrics::pollList(const std::vector<ut3::QueryTarget> &servers)
{
    m_polledServers = servers.size();
    std::map<std::pair<std::string, std::uint16_t>, Figures> kept;
    for (const ut3::QueryTarget &server : servers) {
        if (kept.size() >= m_maxServers)
            break;
        kept.try_emplace({server.host, server.port});
    }
    std::vector<Polled> polled;
    polled.reserve(kept.size());
    auto known = m_polled.begin();
    for (auto &[address, figures] : kept) {
        while (known != m_polled.end() && known->address < address)
            ++known;
        const bool wasPolled = known != m_polled.end() && known->address == address;
        polled.push_back({address, common::hostAndPort(address.first, address.second), wasPolled ? known->figures : Figures{}});
    }
    if (polled == m_polled)
        return;
    m_polled = std::move(polled);
    m_runText.assign((m_polled.size() + serversPerRun - 1) / serversPerRun, {});
}

std::string ServiceMetrics::text() const
{
    std::vector<MetricFamily> families = m_registry->Collect();

    auto faults = family("skirvane_history_write_faults_total", "Writes to the history store that failed",
                         MetricType::Counter);
    faults.metric.emplace_back().counter.value = static_cast<double>(m_writeFaults ? m_writeFaults() : 0);
    families.push_back(std::move(faults));
    auto polledServers = family("skirvane_polled_servers", "Servers on the poll list, looked up lately",
                                MetricType::Gauge);
    polledServers.metric.push_back(gaugeValue(static_cast<double>(m_polledServers)));
    families.push_back(std::move(polledServers));
    std::string text = prometheus::TextSerializer().Serialize(families);
    std::size_t size = text.size();
    for (std::size_t i = 0; i < serverFigures; ++i) {
        size += serverFigureHead(i).size();
        for (auto &runText : m_runText) {
            if (!runText[i])
                runText[i] = serverRun(i, &runText - m_runText.data());
            size += runText[i]->size();
        }
    }
    // Once: the text is some hundred kilobytes, and growing it step by step copies it again each time.
    text.reserve(size);
    for (std::size_t i = 0; i < serverFigures; ++i) {
        text += serverFigureHead(i);
        for (const auto &runText : m_runText)
            text += *runText[i];
    }
    return text;
}

std::string ServiceMetrics::serverRun(std::size_t figure, std::size_t run) const
{
    MetricFamily samples = serverFigure(figure);
    const auto first = m_polled.begin() + std::ptrdiff_t(run * serversPerRun);
    const auto end = m_polled.end() - first > std::ptrdiff_t(serversPerRun) ? first + serversPerRun : m_polled.end();
    for (auto server = first; server != end; ++server)
        if (server->figures[figure])
            samples.metric.push_back(gaugeValue(*server->figures[figure], {{"server", server->label}}));
    // The serializer writes a family's HELP and TYPE before its samples; the text has them once, before the first run.
    return prometheus::TextSerializer().Serialize({samples}).substr(serverFigureHead(figure).size());
}

}
