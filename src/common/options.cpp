#include "common/options.h"

#include <algorithm>

namespace common {

namespace {

const Option *find(const CommandLine &commandLine, std::string_view spelling)
{
    for (const OptionGroup &group : commandLine.groups)
        for (const Option &option : group.options)
            if (option.name == spelling || (!option.shortName.empty() && option.shortName == spelling))
                return &option;
    return nullptr;
}

std::string helpEntry(const Option &option)
{
    constexpr std::size_t column = 24, width = 79;
    std::string text = "  ";
    if (!option.shortName.empty())
        text += std::string(option.shortName) + ", ";
    text += option.name;
    if (!option.argument.empty())
        text += (option.shortName.empty() ? " " : "=") + std::string(option.argument);
    std::size_t lineStart = 0;
    if (text.size() + 2 > column) {
        text += "\n";
        lineStart = text.size();
    }
    text.resize(lineStart + column, ' ');
    bool first = true;
    std::string_view help = option.help;
    while (!help.empty()) {
        const std::size_t blank = help.find(' ');
        const std::string_view word = help.substr(0, blank);
        help = blank == std::string_view::npos ? std::string_view() : help.substr(blank + 1);
        if (!first && text.size() - lineStart + 1 + word.size() > width) {
            text += "\n";
            lineStart = text.size();
            text.resize(lineStart + column, ' ');
            first = true;
        }
        if (!first)
            text += ' ';
        text += word;
        first = false;
    }
    return text + "\n";
}

}

Expected<Done> parseArguments(const CommandLine &commandLine, const std::vector<std::string> &arguments)
{
    bool onlyOperands = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const bool isOption = argument.starts_with('-');
        if (commandLine.operand && (onlyOperands || !isOption)) {
            if (auto taken = commandLine.operand(argument); !taken.ok())
                return taken;
            continue;
        }
        if (commandLine.operand && argument == "--") {
            onlyOperands = true;
            continue;
        }
        // "--name=value" and "-tVALUE" carry their value; else it is the next argument.
        std::string_view spelling = argument;
        std::optional<std::string_view> attached;
        if (argument.starts_with("--")) {
            if (const std::size_t equals = argument.find('='); equals != std::string_view::npos) {
                attached = argument.substr(equals + 1);
                spelling = argument.substr(0, equals);
            }
        } else if (argument.size() > 2) {
            attached = argument.substr(2);
            spelling = argument.substr(0, 2);
        }
        const Option *option = find(commandLine, spelling);
        if (!option || (option->argument.empty() && attached))
            return Fault{commandLine.unknown(argument)};
        std::optional<std::string_view> value = attached;
        if (!option->argument.empty() && !value && i + 1 < arguments.size())
            value = arguments[++i];
        if (auto taken = option->take(spelling, value); !taken.ok())
            return taken;
        if (option->ends)
            break;
    }
    return Done{};
}

std::string helpText(const CommandLine &commandLine)
{
    std::string text(commandLine.usage);
    for (const OptionGroup &group : commandLine.groups) {
        if (!group.heading.empty())
            text += "\n" + std::string(group.heading) + "\n";
        for (const Option &option : group.options)
            text += helpEntry(option);
    }
    return text + std::string(commandLine.closing);
}

}
