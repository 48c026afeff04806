#pragma once

#include "history/fault.h"
#include "history/postgres.h"

#include <optional>

namespace history::postgres::schema {

// The layout this program writes in a PostgreSQL database. Older layouts
// are upgraded when a store connects; newer ones are left alone.
inline constexpr int currentVersion = 6;

// Makes the tables in an empty database, or upgrades an older layout, in
// one transaction under a lock of its own, so that instances starting
// together do it once and an interrupted upgrade leaves the old layout whole.
[[nodiscard]] Expected<Done> prepare(Connection &connection);

}
