#pragma once

#include "core/queryaddress.h"

#include <optional>

// What a pick in the main window's preset chooser writes into the address and
// port boxes. Index 0 is the built-in server, index 1 "Custom" (an empty
// address for the user to fill in); any other index, such as -1 while nothing
// is picked, changes nothing.
std::optional<ServerValues> presetFor(int listIndex, const QString &presetServerIp);
