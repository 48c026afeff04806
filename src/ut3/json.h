#pragma once

#include "ut3/result.h"

#include <nlohmann/json.hpp>

#include <optional>

namespace ut3 {

// One server in the JSON shape shared by the command and the web service.
// webPort is the service's to fill; the command leaves it null.
nlohmann::json toJson(const QueryResult &result, std::optional<int> webPort = std::nullopt);

}
