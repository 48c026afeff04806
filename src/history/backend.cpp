#include "history/backend.h"

namespace history::backend {

Series emptySeries(Seconds now, std::chrono::seconds span, std::chrono::seconds step)
{
    const auto stepCount = std::max<std::int64_t>(1, span / step);
    const Seconds end = Seconds(std::chrono::floor<std::chrono::seconds>(now.time_since_epoch()) / step * step) + step;
    return {end - step * stepCount, step, std::vector<std::optional<Count>>(static_cast<std::size_t>(stepCount))};
}

void putInStep(Series &series, std::int64_t time, Count count)
{
    series.steps[static_cast<std::size_t>((time - seconds(series.start)) / series.step.count())] = count;
}

void SeenRows::add(std::string name, std::int64_t from, std::int64_t to, std::int64_t latest)
{
    auto [found, added] = m_indexOf.try_emplace(std::move(name), m_players.size());
    if (added)
        m_players.push_back({found->first, to == latest && at(latest) >= m_onlineSince, {}});
    m_players[found->second].sessions.push_back({at(from), at(to)});
}

}
