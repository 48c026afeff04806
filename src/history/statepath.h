#pragma once

#include <filesystem>
#include <optional>

namespace history {

// Where the service keeps its history when not told: under the XDG state
// folder ($XDG_STATE_HOME, when it is an absolute path, else
// ~/.local/state). Nothing when neither is known.
std::optional<std::filesystem::path> defaultDatabasePath(const char *stateHome, const char *home);
// The same, from this process's environment.
std::optional<std::filesystem::path> defaultDatabasePath();

}
