#pragma once

#include "common/expected.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// One command-line option: its spellings, its help and what it does. The
// one table of a program's options drives both the parsing and --help.
struct Option {
    std::string_view name;      // "--timeout"
    std::string_view shortName; // "-t"; empty: none
    std::string_view argument;  // "MS" in the help; empty: a flag, which takes no value
    std::string_view help;      // words, wrapped to the help's width
    // Takes the value (nothing when the command line ended before it; for a
    // flag, always nothing) given under the spelling used. The fault is the
    // whole message for the user.
    std::function<Expected<Done>(std::string_view spelling, std::optional<std::string_view> value)> take;
    // Parsing stops after this option (--help, --version).
    bool ends = false;
};

struct OptionGroup {
    std::string_view heading; // empty for the first group
    std::vector<Option> options;
};

struct CommandLine {
    std::string_view usage;   // the help's text before the options
    std::vector<OptionGroup> groups;
    std::string_view closing; // the help's text after them
    // Takes an argument that is no option; none: such an argument is an unknown option.
    std::function<Expected<Done>(std::string_view operand)> operand;
    // The message for an argument that is no option of the table.
    std::function<std::string(std::string_view argument)> unknown;
};

// Reads the arguments by the table, in order: "--name value",
// "--name=value", "-t value" and "-tVALUE"; after "--", only operands
// (when the program takes any). A flag given a value is an unknown option.
Expected<Done> parseArguments(const CommandLine &commandLine, const std::vector<std::string> &arguments);

// The help from the table: each option's spellings, then its help wrapped
// to 79 columns from column 24, the layout help2man reads.
std::string helpText(const CommandLine &commandLine);

}
