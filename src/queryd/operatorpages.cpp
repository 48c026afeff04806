#include "queryd/operatorpages.h"

#include "queryd/metricsoptions.h"

namespace queryd {

namespace {

constexpr std::string_view PlainText = "text/plain; charset=utf-8";
constexpr std::string_view MetricsText = "text/plain; version=0.0.4; charset=utf-8";

}

Response healthPage(bool readiness, ServerHistory *history, const boost::asio::ip::address &client,
                    const ServiceOptions &options)
{
    const std::optional<std::string> unavailable = history ? history->unavailable() : std::nullopt;
    const bool operatorAsks = mayReadMetrics(options.metrics, options.publicService, client);
    const std::string state = !history      ? "off"
                              : !unavailable ? "ok"
                              : operatorAsks ? "unavailable: " + *unavailable
                                             : "unavailable";
    const unsigned status = readiness && unavailable ? 503 : 200;
    const std::string_view verdict = !readiness ? "ok" : status == 200 ? "ready" : "not ready";
    return {status, PlainText, std::string(verdict) + "\nhistory: " + state + "\n", {{"Cache-Control", "no-store"}}};
}

Response metricsPage(const boost::asio::ip::address &client, const ServiceOptions &options,
                     const ServiceMetrics &metrics)
{
    if (!mayReadMetrics(options.metrics, options.publicService, client))
        return {403, PlainText, "This service's metrics are for its operators only.\n", {}};
    return {200, MetricsText, metrics.text(), {{"Cache-Control", "no-store"}}};
}

}
