#pragma once

#include <chrono>
#include <functional>

namespace queryd {

// The time the service's cache periods, client rates and idle exit go by:
// the steady clock, unless a test sets the time instead of sleeping.
using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;

inline SteadyNow orSteadyClock(SteadyNow now)
{
    if (now)
        return now;
    return [] { return std::chrono::steady_clock::now(); };
}

}
