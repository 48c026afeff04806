#pragma once

#include "common/options.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace queryd {

// How the service keeps player history; each has an option.
struct HistoryOptions {
    bool enabled = true;
    std::optional<std::filesystem::path> database; // none: the XDG state folder's
    std::chrono::days keep{30};
    std::uint64_t maxMegabytes = 1024;
    bool poll = true;
    std::chrono::milliseconds pollInterval{300000};
    std::chrono::days pollWindow{7}; // servers looked up within this are polled
    std::size_t pollInFlight = 16;
    std::size_t pollMaxServers = 2000; // the listed servers first, then those looked up latest
    std::optional<std::string> serverList; // --servers: polled always
    bool playerNames = true; // off: counts alone
};

// The history's rows of the service's option table, filling in options.
common::OptionGroup historyOptionGroup(HistoryOptions &options);

}
