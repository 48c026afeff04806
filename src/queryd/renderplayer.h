#pragma once

#include "queryd/playerpage.h"

#include <string>

namespace queryd {

// A player's page as HTML and as JSON, made from plain data. Every string
// from a game server goes through appendEscaped (html.h).
std::string playerPageHtml(const PlayerPage &page, std::chrono::days kept);
std::string playerPageJson(const PlayerPage &page);

}
