#include "history/statepath.h"

#include <cstdlib>

namespace history {

std::optional<std::filesystem::path> defaultDatabasePath(const char *stateHome, const char *home)
{
    const std::filesystem::path file = std::filesystem::path("skirvane-queryd") / "history.sqlite3";
    // The XDG rules ignore a relative value: it would depend on the folder
    // the service happens to be started from.
    if (stateHome && std::filesystem::path(stateHome).is_absolute())
        return std::filesystem::path(stateHome) / file;
    if (home && std::filesystem::path(home).is_absolute())
        return std::filesystem::path(home) / ".local" / "state" / file;
    return std::nullopt;
}

std::optional<std::filesystem::path> defaultDatabasePath()
{
    return defaultDatabasePath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
}

}
