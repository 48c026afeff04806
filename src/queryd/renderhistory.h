#pragma once

#include "queryd/history.h"

#include "history/sample.h"

#include <optional>
#include <string>

namespace queryd {

// A status page's section on the server's past: the day's chart, the
// busiest hours, the names seen, and why any of it is missing.
std::string historySection(const ServerPast &past);

// What the start page shows after a recent server's link: its players now
// and a sparkline of its day; nothing when the day cannot be read.
std::string recentSummary(const std::optional<history::Series> &day);

}
