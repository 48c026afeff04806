#include "report.h"

#include "options.h"
#include "table.h"

#include "ut3/json.h"

#include <cstdio>

namespace cli {

Report::Report(bool json, bool verbose) : m_json(json), m_verbose(verbose) {}

void Report::given()
{
    m_progress.setTotal(++m_given);
    if (m_given == 2)
        printReady();
}

void Report::listEnded()
{
    m_ended = true;
    printReady();
}

std::size_t Report::add(std::size_t index, ut3::QueryResult result)
{
    m_waiting.emplace(index, std::move(result));
    m_progress.oneDone();
    return printReady();
}

std::size_t Report::printReady()
{
    if (m_waiting.empty() || m_waiting.begin()->first != m_next || (m_json && m_given < 2 && !m_ended))
        return 0;
    if (m_next == 0) {
        // Several servers make a JSON array, one server a lone object.
        m_array = m_json && m_given > 1;
        if (m_array)
            std::fputs("[\n", stdout);
    }
    m_progress.erase();
    const std::size_t first = m_next;
    for (auto it = m_waiting.begin(); it != m_waiting.end() && it->first == m_next; it = m_waiting.erase(it), ++m_next)
        print(it->second);
    // While a list is still read, which may take long, rows flow on, also
    // into a pipe.
    if (!m_ended)
        std::fflush(stdout);
    m_progress.show();
    return m_next - first;
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
    if (m_json && m_next > 0)
        std::fputs(m_array ? "\n]\n" : "\n", stdout);
    std::fflush(stdout);
    return m_allAnswered ? 0 : 1;
}

}
