#pragma once

#include "progress.h"

#include "ut3/result.h"

#include <cstddef>
#include <map>
#include <vector>

namespace cli {

// Prints results in the order the servers were given, each as soon as it
// and every one before it are in, so that only results waiting for an
// earlier one are kept: the table or JSON on standard output, one line per
// server that did not answer on standard error, around the progress line.
class Report final {
public:
    Report(std::size_t count, bool json, bool verbose);

    void add(std::size_t index, ut3::QueryResult result);
    // Ends the output; the exit status: 0 when every server answered.
    int finish();

private:
    void print(const ut3::QueryResult &result);

    std::size_t m_count;
    // Results in before an earlier one, by the index of their server.
    std::map<std::size_t, ut3::QueryResult> m_waiting;
    std::size_t m_next = 0;
    bool m_json, m_verbose;
    bool m_headerShown = false;
    bool m_allAnswered = true;
    Progress m_progress;
};

}
