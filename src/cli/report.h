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
// The servers are counted as they are given: JSON is one object for one
// server, else an array, so there the first result waits until a second
// server is given or the list has ended.
class Report final {
public:
    Report(bool json, bool verbose);

    // One more server is asked, as the next index.
    void given();
    // No more servers come.
    void listEnded();
    // The result of the server given as `index`; how many results were
    // printed with it.
    std::size_t add(std::size_t index, ut3::QueryResult result);
    std::size_t count() const { return m_given; }
    // Ends the output; the exit status: 0 when every server answered.
    int finish();

private:
    // Prints what is in and next in order, once the shape is known.
    std::size_t printReady();
    void print(const ut3::QueryResult &result);

    std::size_t m_given = 0;
    bool m_ended = false;
    // Results in before an earlier one, or before the shape is known, by
    // the index of their server.
    std::map<std::size_t, ut3::QueryResult> m_waiting;
    std::size_t m_next = 0;
    bool m_json, m_verbose;
    bool m_array = false;
    bool m_headerShown = false;
    bool m_allAnswered = true;
    Progress m_progress;
};

}
