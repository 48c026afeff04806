#pragma once

#include "ut3/result.h"

#include "common/expected.h"

#include <string>
#include <string_view>

namespace ut3 {

inline constexpr std::uint16_t defaultQueryPort = 6500;

// "HOST", "HOST:PORT", "[IPV6]:PORT" or a bare IPv6 literal; the port is
// the query port, 6500 when left out. Returns the target or why the text
// is not one.
common::Expected<QueryTarget> parseTarget(std::string_view text);

}
