#pragma once

#include <chrono>
#include <cstddef>

namespace cli {

// "queried N of M" on standard error, rewritten in place a few times a
// second, only when standard error is a terminal and more than a handful
// of servers are asked.
class Progress final {
public:
    Progress() = default;
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // The servers asked so far: the total grows while a list is read.
    void setTotal(std::size_t total);
    void oneDone();
    // Around other output to the same terminal.
    void erase();
    void show();

private:
    std::size_t m_total = 0;
    std::size_t m_done = 0;
    bool m_enabled = false;
    std::chrono::steady_clock::time_point m_shownAt{};
};

}
