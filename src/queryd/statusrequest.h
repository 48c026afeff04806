#pragma once

#include "common/expected.h"

#include <boost/asio/ip/address.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace queryd {

// Decodes a query string as a browser's form encoding sends it: '+' is a
// blank, %XX a byte; a '%' not followed by two hex digits stays as it is.
// Keys without '=' get an empty value; empty pieces ("&&") are skipped.
std::vector<std::pair<std::string, std::string>> decodeQuery(std::string_view query);

enum class Format { html, json };

// What a status page was asked for, checked.
struct StatusRequest {
    std::string address;
    std::uint16_t queryPort = 6500;
    std::uint16_t webPort = 0;
    Format format = Format::html;
    // Asked by the service itself (history polling), not by a user: the
    // result goes to the cache and the history, and no page is made.
    bool background = false;
};

// What a player search was asked for, checked.
struct PlayerSearch {
    std::string name; // part of a name
    Format format = Format::html;
};

// The format a query asks its answer in (format=json), whatever else it
// holds: a refusal of its parameters comes in that format too.
Format askedFormat(std::string_view query);

// The parameters of a status page, or why they cannot be used, as one
// sentence for the user. The address text comes from a text box that is
// pasted into the address unencoded, so anything may arrive here.
common::Expected<StatusRequest> parseStatusRequest(std::string_view query);

// The parameters of a player search: name, 2 to 32 characters without
// control characters, and an optional format.
common::Expected<PlayerSearch> parsePlayerSearch(std::string_view query);

}
