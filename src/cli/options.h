#pragma once

#include "ut3/result.h"

#include "common/expected.h"

#include <chrono>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace cli {

inline constexpr const char *programName = "skirvane-query";

enum class Request { help, version };

// A server list given with -f, opened while the arguments are read and
// read while the servers before it are asked.
struct ListFile {
    std::string name; // as given; "-" is standard input
    std::shared_ptr<std::istream> in;
};

// The servers in the order given: on the command line and in lists.
using Source = std::variant<ut3::QueryTarget, ListFile>;

struct Options {
    std::optional<Request> request; // asked for instead of queries
    std::vector<Source> sources;
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
