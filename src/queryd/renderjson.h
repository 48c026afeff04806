#pragma once

#include "queryd/statusrequest.h"
#include "ut3/result.h"

#include "history/players.h"
#include "history/sample.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace queryd {

// The service's answers as JSON, made from plain data: one line each.

// What a status answer carries from the history, when one is kept.
struct JsonHistory {
    std::optional<history::Series> day;                   // none: an empty "history"
    std::optional<std::vector<history::SeenPlayer>> seen; // none: no "seen" (names are not kept)
};

// A server's result without the "query" part, which statusQueryPart(request)
// gives and which goes at StatusQueryAt, so that one rendering serves every
// web port.
std::string statusJson(const ut3::QueryResult &result, const std::optional<JsonHistory> &history);
inline constexpr std::size_t StatusQueryAt = 1; // right after the opening brace
std::string statusQueryPart(const StatusRequest &request);

// {"state": "invalid", "error": sentence}: a request that was not served.
std::string refusalJson(std::string_view sentence);

// The names found by a player search for `text`.
std::string playerMatchesJson(std::string_view text, const std::vector<history::PlayerMatch> &matches);

}
