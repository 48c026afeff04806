#pragma once

#include "common/number.h"
#include "common/options.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace queryd {

// "--name needs WHAT; it was 'VALUE'.": how the service says an option's
// value will not do.
inline common::Fault needs(std::string_view spelling, std::string_view what, std::optional<std::string_view> given)
{
    return {std::string(spelling) + " needs " + std::string(what) + (given ? "; it was '" + std::string(*given) + "'" : std::string())
            + "."};
}

// An option taking a whole number from lowest to highest.
template <typename T>
common::Option numberOption(std::string_view name, std::string_view argument, std::string_view help, T lowest, T highest,
                            std::function<void(T)> set)
{
    return {name, {}, argument, help,
            [=](std::string_view spelling, std::optional<std::string_view> text) -> common::Expected<common::Done> {
                const auto value = text ? common::wholeNumber<T>(*text, lowest, highest) : std::nullopt;
                if (!value)
                    return needs(spelling, "a number from " + std::to_string(lowest) + " to " + std::to_string(highest), text);
                set(*value);
                return common::Done{};
            }};
}

// An option without a value.
inline common::Option flagOption(std::string_view name, std::string_view help, std::function<void()> set, bool ends = false)
{
    return {name, {}, {}, help, [set](std::string_view, auto) -> common::Expected<common::Done> { return set(), common::Done{}; }, ends};
}

}
