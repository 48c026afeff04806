#include "report.h"

#include "options.h"
#include "table.h"

#include "ut3/json.h"

#include <cstdio>

namespace cli {

Report::Report(std::size_t count, bool json, bool verbose)
    : m_count(count), m_json(json), m_verbose(verbose), m_progress(count)
{
    // Several servers make a JSON array, one server a lone object.
    if (m_json && count > 1)
        std::fputs("[\n", stdout);
}

void Report::add(std::size_t index, ut3::QueryResult result)
{
    m_waiting.emplace(index, std::move(result));
    m_progress.oneDone();
    if (m_waiting.begin()->first != m_next)
        return;
    m_progress.erase();
    for (auto first = m_waiting.begin(); first != m_waiting.end() && first->first == m_next; first = m_waiting.erase(first), ++m_next)
        print(first->second);
    m_progress.show();
}

void Report::print(const ut3::QueryResult &result)
{
    const bool online = result.state == ut3::QueryState::online;
    if (!online) {
        std::fprintf(stderr, "%s: %s\n", programName, failureLine(result).c_str());
        m_allAnswered = false;
    }
    if (m_json) {
        const std::string text = ut3::toJson(result).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        std::fprintf(stdout, "%s%s", m_next > 0 ? ",\n" : "", text.c_str());
    } else if (online) {
        if (!m_headerShown)
            std::fputs(tableHeader().c_str(), stdout);
        m_headerShown = true;
        std::fputs(tableRow(result, m_verbose).c_str(), stdout);
    }
}

int Report::finish()
{
    m_progress.erase();
    if (m_json)
        std::fputs(m_count > 1 ? "\n]\n" : "\n", stdout);
    std::fflush(stdout);
    return m_allAnswered ? 0 : 1;
}

}
