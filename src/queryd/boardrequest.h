#pragma once

#include "queryd/liveboard.h"
#include "queryd/statusrequest.h"

#include "common/expected.h"

#include <string_view>

namespace queryd {

struct BoardRequest {
    BoardFilter filter;
    Format format = Format::html;
};

// The parameters of the live board: q (at most 64 characters of UTF-8),
// players=1 or 0, format; or why they cannot be used, as one sentence.
common::Expected<BoardRequest> parseBoardRequest(std::string_view query);

}
