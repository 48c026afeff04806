#pragma once

#include "queryd/history.h"
#include "queryd/metrics.h"
#include "queryd/options.h"
#include "queryd/response.h"

#include <boost/asio/ip/address.hpp>

namespace queryd {

// The pages that people running the service ask for, not players.

// /metrics: the metrics, to the clients mayReadMetrics lets read them.
Response metricsPage(const boost::asio::ip::address &client, const ServiceOptions &options,
                     const ServiceMetrics &metrics);

// /healthz: 200 while the service serves, with the history store's state:
// "ok", "off" (history not kept) or "unavailable", with ": REASON" only
// for a client that mayReadMetrics lets read them. /readyz (readiness):
// the same, but 503 while the history store is unavailable.
Response healthPage(bool readiness, ServerHistory *history, const boost::asio::ip::address &client,
                    const ServiceOptions &options);

}
