#pragma once

#include "ut3/result.h"

#include "common/expected.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char *programName = "skirvane-query";

enum class Request { help, version };

struct Options {
    std::optional<Request> request; // asked for instead of queries
    std::vector<ut3::QueryTarget> targets;
    bool json = false;
    bool verbose = false;
    std::chrono::milliseconds timeout{2000};
    std::chrono::microseconds pacing{0};
};

// The command line: options to run with (or a request for help or the
// version), or why the arguments are wrong (one line, no program name).
common::Expected<Options> parseArguments(const std::vector<std::string> &arguments);

std::string helpText();

}
