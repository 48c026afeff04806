#pragma once

#include "queryd/liveboard.h"

#include <string>
#include <vector>

namespace queryd {

// The live board and its parts, made from plain data. Every string from a
// game server goes through appendEscaped (html.h).

// The board's page for the rows a filter kept.
std::string boardPage(const std::vector<BoardRow> &rows, const BoardFilter &filter);
// {"servers": [...]} in the rows' order.
std::string boardJson(const std::vector<BoardRow> &rows);
// The start page's "Live now": the busiest servers, from rows in the
// board's order; nothing while nobody plays.
std::string liveNowSection(const std::vector<BoardRow> &rows);

}
