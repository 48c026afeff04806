#include "queryd/statusrequest.h"

#include "common/number.h"
#include "common/percent.h"
#include "common/address.h"
#include "common/utf8.h"

#include <boost/asio/ip/address.hpp>

#include <algorithm>
#include <array>
#include <cstdio>

namespace queryd {

namespace {

// Values are quoted back to the user; a pasted novel is cut short.
std::string quoted(std::string_view value)
{
    constexpr std::size_t shown = 80;
    std::string out = "'";
    out += value.substr(0, shown);
    if (value.size() > shown)
        out += "…";
    out += "'";
    return out;
}

// The first control character in text: C0, DEL, or C1 in UTF-8. No valid
// value holds one, and a NUL would cut a value short where it is read as C text.
std::optional<unsigned> controlCharacter(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F)
            return byte;
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        if (byte == 0xC2 && next >= 0x80 && next <= 0x9F)
            return next;
    }
    return std::nullopt;
}

// The characters of text, when it is valid UTF-8 throughout. Anything else
// names no player or server, and is never handed on to a store.
std::optional<std::size_t> utf8Characters(std::string_view text)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        const auto character = common::utf8At(text, i);
        if (!character)
            return std::nullopt;
        i += character->second;
    }
    return characters;
}

std::string codePoint(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "U+%04X", value);
    return text;
}

struct PortRule {
    std::string_view key;
    std::string_view what;  // "The query port"
    unsigned lowest;
    std::string_view usual; // the usual value, for the empty case
};

constexpr PortRule QueryPortRule{"serverqport", "The query port", 1, "usually 6500"};
constexpr PortRule WebPortRule{"serverwport", "The web port", 0, "0 without the statistics add-on"};

common::Expected<std::uint16_t> parsePort(const PortRule &rule, std::string_view text)
{
    const std::string range = "a number from " + std::to_string(rule.lowest) + " to 65535";
    if (text.empty())
        return common::Fault{std::string(rule.what) + " is empty; it must be " + range + " (" + std::string(rule.usual) + ")."};
    const auto value = common::wholeNumber<unsigned>(text, rule.lowest, 65535);
    if (!value || text.size() > 5)
        return common::Fault{std::string(rule.what) + " must be " + range + "; it was " + quoted(text) + "."};
    return static_cast<std::uint16_t>(*value);
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The format first, so that every later complaint comes in the asked form.
Format formatOf(const Pairs &pairs)
{
    for (const auto &[key, value] : pairs)
        if (key == "format" && value == "json")
            return Format::json;
    return Format::html;
}

// Each known key's value, or why the pairs cannot be used: an unknown key,
// bytes that are not UTF-8, a control character (`controlNote` says why
// none belongs), a key twice, a format other than json or html.
template<std::size_t N>
common::Expected<std::array<std::optional<std::string>, N>>
knownValues(const Pairs &pairs, const std::array<std::string_view, N> &known, std::string_view controlNote)
{
    std::array<std::optional<std::string>, N> values;
    for (const auto &[key, value] : pairs) {
        const auto slot = std::find(known.begin(), known.end(), key);
        if (slot == known.end())
            return common::Fault{"The address carries an unknown value " + quoted(key)
                + "; a '&' typed into one of the boxes starts a new value."};
        if (!utf8Characters(value))
            return common::Fault{"The " + key + " value is not text in UTF-8; type it again, or copy it from a page."};
        if (const auto control = controlCharacter(value))
            return common::Fault{"The " + key + " value holds a control character (" + codePoint(*control) + "); "
                                 + std::string(controlNote) + "."};
        auto &held = values[static_cast<std::size_t>(slot - known.begin())];
        if (held)
            return common::Fault{"The address carries " + key + " twice (" + quoted(*held) + " and " + quoted(value)
                                 + "); a '&' typed into one of the boxes starts a new value."};
        held = value;
    }
    const auto &format = values[static_cast<std::size_t>(std::find(known.begin(), known.end(), "format") - known.begin())];
    if (format && *format != "json" && *format != "html")
        return common::Fault{"The format must be 'json' or 'html'; it was " + quoted(*format) + "."};
    return values;
}

// A search text that can be used: 2 to 32 characters of UTF-8.
common::Expected<std::string> searchText(std::string text)
{
    const std::size_t characters = utf8Characters(text).value_or(0);
    if (characters < 2 || characters > 32)
        return common::Fault{"The name must be 2 to 32 characters of a player's name; it was " + std::to_string(characters)
                             + (characters == 1 ? " character." : " characters.")};
    return text;
}

}

std::vector<std::pair<std::string, std::string>> decodeQuery(std::string_view query)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view piece = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (piece.empty())
            continue;
        const std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos)
            pairs.emplace_back(common::percentDecoded(piece, common::Plus::blank), std::string());
        else
            pairs.emplace_back(common::percentDecoded(piece.substr(0, eq), common::Plus::blank),
                               common::percentDecoded(piece.substr(eq + 1), common::Plus::blank));
    }
    return pairs;
}

Format askedFormat(std::string_view query)
{
    return formatOf(decodeQuery(query));
}

common::Expected<StatusRequest> parseStatusRequest(std::string_view query)
{
    constexpr std::array<std::string_view, 4> known{"serverip", "serverqport", "serverwport", "format"};
    const auto pairs = decodeQuery(query);
    auto collected = knownValues(pairs, known, "no server address, port or format has one");
    if (!collected)
        return collected.fault();
    auto &values = *collected;
    for (std::size_t i = 0; i < 3; ++i)
        if (!values[i])
            return common::Fault("The address has no " + std::string(known[i]) + " value.");

    StatusRequest request;
    request.format = formatOf(pairs);
    const std::string &address = *values[0];
    if (address.empty())
        return common::Fault("The server address is empty; type the game server's IP address, for example 203.0.113.9.");
    if (!common::isHostName(address))
        return common::Fault("The server address must be an IP address or a host name; it was " + quoted(address) + ".");
    request.address = address;

    const auto queryPort = parsePort(QueryPortRule, *values[1]);
    if (!queryPort)
        return queryPort.fault();
    request.queryPort = *queryPort;
    const auto webPort = parsePort(WebPortRule, *values[2]);
    if (!webPort)
        return webPort.fault();
    request.webPort = *webPort;
    return request;
}

common::Expected<PlayerSearch> parsePlayerSearch(std::string_view query)
{
    constexpr std::array<std::string_view, 2> known{"name", "format"};
    const auto pairs = decodeQuery(query);
    auto collected = knownValues(pairs, known, "search for a part of the name without it");
    if (!collected)
        return collected.fault();
    auto &name = (*collected)[0];
    if (!name)
        return common::Fault{"The address has no name value: part of a player's name to search for."};
    auto text = searchText(std::move(*name));
    if (!text)
        return text.fault();
    return PlayerSearch{std::move(*text), formatOf(pairs)};
}

}
