#pragma once

#include "ut3/result.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace prometheus {
class Counter;
class Gauge;
class Histogram;
class Registry;
template<typename T>
class Family;
}

namespace queryd {

// What the service counts for Prometheus, and each polled server's latest
// state, rendered as the text format by prometheus-cpp. Lives on the
// service's io_context thread.
class ServiceMetrics final {
public:
    using Duration = std::chrono::steady_clock::duration;
    enum class Lookup { hit, miss, shared };

    // maxServers bounds the servers given figures of their own; writeFaults
    // reads the history's count of failed writes when scraped.
    ServiceMetrics(std::size_t maxServers, std::function<std::uint64_t()> writeFaults);
    ~ServiceMetrics();
    ServiceMetrics(const ServiceMetrics &) = delete;
    ServiceMetrics &operator=(const ServiceMetrics &) = delete;

    void requestAnswered(unsigned status, Duration took);
    void connectionOpened();
    void connectionClosed();
    void cacheLookup(Lookup lookup);
    void queryEnded(const ut3::QueryResult &result, Duration took);
    // The servers the poller asks, each round: only these have figures of
    // their own, and one that leaves the list leaves the figures.
    void pollList(const std::vector<ut3::QueryTarget> &servers);

    // The text format, version 0.0.4.
    std::string text() const;

private:
    // A polled server's figures: up, players, bots, slots, ping; a figure
    // the server did not give is left out.
    static constexpr std::size_t serverFigures = 5;
    using Figures = std::array<std::optional<double>, serverFigures>;

    // One figure's samples for a run of polled servers, as text.
    std::string serverRun(std::size_t figure, std::size_t run) const;

    std::shared_ptr<prometheus::Registry> m_registry;
    prometheus::Family<prometheus::Counter> &m_requests;
    prometheus::Histogram &m_requestDuration;
    prometheus::Gauge &m_connections;
    std::array<prometheus::Counter *, 3> m_lookups;
    std::array<prometheus::Counter *, 4> m_outcomes;
    prometheus::Histogram &m_queryDuration;
    // By status code, made on first use: the family's own look-up hashes the labels.
    std::map<unsigned, prometheus::Counter *> m_requestsByCode;

    std::size_t m_maxServers;
    std::function<std::uint64_t()> m_writeFaults;
    std::size_t m_polledServers = 0;
    // A server with figures of its own; one not answered yet has none.
    struct Polled {
        std::pair<std::string, std::uint16_t> address; // as queried
        std::string label;
        Figures figures;
        bool operator==(const Polled &) const = default;
    };
    // In the order of their addresses.
    std::vector<Polled> m_polled;
    // Each figure's samples as text, in runs of consecutive polled servers.
    // A run's text is made anew only when an answer changes that figure
    // for one of its servers, or the list changes: most scrapes fall
    // between polls, most answers change the ping alone, and rendering the
    // text is what a scrape costs.
    mutable std::vector<std::array<std::optional<std::string>, serverFigures>> m_runText;
};

}
