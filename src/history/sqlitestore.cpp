#include "history/sqlitestore.h"

#include "history/schema.h"

#include <sqlite3.h>

#include <algorithm>
#include <system_error>

namespace history {

Expected<std::unique_ptr<Store>> SqliteStore::open(const std::filesystem::path &path, SqliteOptions options)
{
    std::error_code error;
    if (path.has_parent_path() && !std::filesystem::exists(path.parent_path(), error)) {
        std::filesystem::create_directories(path.parent_path(), error);
        if (error)
            return Fault{error == std::errc::permission_denied || error == std::errc::read_only_file_system
                             ? FaultKind::readOnly
                             : FaultKind::cannotOpen,
                         "Cannot make the folder " + path.parent_path().string() + " for the history file: " + error.message()};
    }
    auto connection = sqlite::Connection::open(path, true);
    if (!connection)
        return connection.fault();
    sqlite3_busy_timeout(connection->handle(), static_cast<int>(options.busyTimeout.count()));
    if (options.maxBytes > 0) {
        auto pageSize = connection->integer("PRAGMA page_size", "Cannot open the history file");
        if (!pageSize)
            return pageSize.fault();
        const std::string limit = "PRAGMA max_page_count = " + std::to_string(std::max<std::uint64_t>(1, options.maxBytes / *pageSize));
        if (auto done = connection->exec(limit.c_str(), "Cannot open the history file"); !done.ok())
            return done.fault();
    }
    if (auto done = schema::prepare(*connection); !done.ok())
        return done.fault();
    return std::unique_ptr<Store>(std::make_unique<SqliteStore>(std::move(*connection), options.sessions));
}

StoreOpener SqliteStore::opener(std::filesystem::path path, SqliteOptions options)
{
    return [path = std::move(path), options] { return open(path, options); };
}

}
