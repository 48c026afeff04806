#pragma once

#include "queryd/history.h"
#include "queryd/metrics.h"
#include "queryd/options.h"
#include "queryd/service.h"

#include <boost/asio/ip/address.hpp>

#include <optional>
#include <string_view>

namespace queryd {

// The paths that people running the service ask, not players.
constexpr std::string_view MetricsPath = "/metrics";
constexpr std::string_view LivenessPath = "/healthz";
constexpr std::string_view ReadinessPath = "/readyz";

// The answer to one of those paths, or nothing for any other path.
// /metrics: the metrics, to the clients mayReadMetrics lets read them.
// /healthz: 200 while the service serves, with the history store's state:
// "ok", "off" (history not kept) or "unavailable: REASON".
// /readyz: the same, but 503 while the history store is unavailable.
std::optional<Response> operatorPage(std::string_view path, const boost::asio::ip::address &client,
                                     const ServiceOptions &options, const ServiceMetrics &metrics,
                                     ServerHistory *history);

}
