#include "progress.h"

#include <cstdio>
#include <unistd.h>

namespace cli {

namespace {
constexpr std::size_t handful = 5;
constexpr auto refresh = std::chrono::milliseconds(100);
}

void Progress::setTotal(std::size_t total)
{
    m_total = total;
    if (!m_enabled && total > handful && isatty(STDERR_FILENO)) {
        m_enabled = true;
        show();
    }
}

void Progress::erase()
{
    if (m_enabled)
        std::fputs("\r\033[K", stderr);
}

void Progress::oneDone()
{
    ++m_done;
    if (std::chrono::steady_clock::now() - m_shownAt >= refresh || m_done == m_total)
        show();
}

void Progress::show()
{
    if (!m_enabled)
        return;
    m_shownAt = std::chrono::steady_clock::now();
    std::fprintf(stderr, "\rqueried %zu of %zu servers", m_done, m_total);
    std::fflush(stderr);
}

}
