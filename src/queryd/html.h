#pragma once

#include <string>
#include <string_view>

namespace queryd {

// The one way text reaches a page: markup characters become entities, and
// the result is always valid UTF-8 (bytes that are not, and control bytes
// other than tab and line feed, become U+FFFD). Fit for element text and
// for double- or single-quoted attribute values.
void appendEscaped(std::string &page, std::string_view text);

}
