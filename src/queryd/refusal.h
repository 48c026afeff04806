#pragma once

#include "queryd/response.h"
#include "queryd/statusrequest.h"

#include <string>
#include <string_view>

namespace queryd {

// A page request that is not served, answered in the format it asked for:
// a short page with the heading and the sentence, or {"state": "invalid",
// "error": sentence}.
Response refusal(unsigned status, Format format, std::string_view heading, const std::string &sentence);

}
