#pragma once

#include "ut3/result.h"

#include <chrono>
#include <string>
#include <variant>
#include <vector>

namespace cli {

inline constexpr const char *programName = "skirvane-query";

struct Options {
    std::vector<ut3::QueryTarget> targets;
    bool json = false;
    bool verbose = false;
    std::chrono::milliseconds timeout{2000};
    std::chrono::microseconds pacing{0};
};

enum class Request { help, version };

// The command line: options to run with, a request for help or the
// version, or why the arguments are wrong (one line, no program name).
std::variant<Options, Request, std::string> parseArguments(const std::vector<std::string> &arguments);

std::string helpText();

}
