#pragma once

#include "history/fault.h"
#include "history/sqlite.h"

#include <optional>

namespace history::schema {

// The layout this program writes. Files of older layouts are upgraded when
// opened; files of newer ones are left alone.
inline constexpr int currentVersion = 10;
// Marks the file as player history, so that another program's database
// given by mistake is not written into.
inline constexpr int applicationId = 0x536b7276; // "Skrv"

// Makes a new file's tables or upgrades an older file's in one
// transaction, so an interrupted upgrade leaves the old layout whole. Checks
// the file's version before anything else is written to it.
[[nodiscard]] Expected<Done> prepare(sqlite::Connection &connection);

}
