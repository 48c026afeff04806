#pragma once

#include <chrono>
#include <cstddef>

namespace cli {

// "queried N of M" on standard error, rewritten in place a few times a
// second, only when standard error is a terminal and there are more than a
// handful of servers.
class Progress final {
public:
    explicit Progress(std::size_t total);
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    void oneDone();
    // Around other output to the same terminal.
    void erase();
    void show();

private:
    std::size_t m_total;
    std::size_t m_done = 0;
    bool m_enabled;
    std::chrono::steady_clock::time_point m_shownAt{};
};

}
