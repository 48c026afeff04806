#pragma once

#include <string_view>

namespace queryd {

// The style every page shares, and the script that refreshes a status page
// in place. Served by the service itself, the only origin the pages'
// Content-Security-Policy lets scripts and styles come from.
std::string_view pageStyle();
std::string_view refreshScript();

}
