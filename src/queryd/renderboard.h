#pragma once

#include "queryd/liveboard.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace queryd {

// The live board and its parts, made from plain data. Every string from a
// game server goes through appendEscaped (html.h).

// The board's page for the rows a filter kept.
std::string boardPage(const std::vector<BoardRow> &rows, const BoardFilter &filter);
// {"servers": [...]} in the rows' order.
std::string boardJson(const std::vector<BoardRow> &rows);
// The whole board's page and JSON, as boardPage(rows, {}) and
// boardJson(rows) make them, with each row kept rendered between two
// renderings: a poll answer changes a row, and the next request renders
// that row again rather than every one.
class BoardRendering final {
public:
    void render(const std::vector<BoardRow> &rows);
    const std::string &page() const { return m_page; }
    const std::string &json() const { return m_json; }

private:
    struct Kept {
        BoardRow row;
        std::string html, json;
    };
    std::unordered_map<std::string, Kept> m_rows; // by address and query port
    std::string m_page, m_json;
};

// The start page's "Live now": the busiest servers, from rows in the
// board's order; nothing while nobody plays.
std::string liveNowSection(const std::vector<BoardRow> &rows);

}
