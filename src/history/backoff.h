#pragma once

#include <algorithm>
#include <chrono>

namespace history {

// How long to wait before connecting again to a database that could not be
// reached: twice as long after each failure, up to a limit, so that a
// database down for long is not hammered and one back soon is found soon.
class Backoff final
{
public:
    explicit Backoff(std::chrono::milliseconds first = std::chrono::seconds(1),
                     std::chrono::milliseconds limit = std::chrono::minutes(1))
        : m_first(first), m_limit(limit), m_next(first)
    {
    }

    // The wait after one more failure.
    std::chrono::milliseconds failed()
    {
        const auto wait = m_next;
        m_next = std::min(m_next * 2, m_limit);
        return wait;
    }
    void succeeded() { m_next = m_first; }

private:
    std::chrono::milliseconds m_first, m_limit, m_next;
};

}
