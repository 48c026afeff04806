#pragma once

#include "history/sample.h"

#include <chrono>
#include <string>

// Pictures of a series as inline SVG, for pages on a dark background. They
// hold only numbers and times, never a string from a game server, and no
// script or style element, so a strict Content-Security-Policy allows them.
namespace history {

// Players per step as a filled area, bots as a dashed line of their own,
// gaps where no answer came; hour marks every three hours in local time
// (`utcOffset`). 140 px high, as wide as its container (drawn for 550 px).
std::string dayChart(const Series &series, std::chrono::seconds utcOffset);

// The players alone in a line of about 80 × 18 px, for a list of servers.
std::string sparkline(const Series &series);

}
