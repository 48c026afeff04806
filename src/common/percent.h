#pragma once

#include <string>
#include <string_view>

namespace common {

// How a '+' reads: as itself (a URI's parts), or as a blank (a form's fields).
enum class Plus { itself, blank };

// The text with each %XX escape turned into its byte; a broken escape is
// kept as typed.
std::string percentDecoded(std::string_view text, Plus plus = Plus::itself);

}
