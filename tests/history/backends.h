#pragma once

#include "history/postgresstore.h"
#include "history/sqlitestore.h"

#include "succeeded.h"
#include "tempfolder.h"
#include "testdatabase.h"

#include <gtest/gtest.h>

#include <optional>

// The store's behaviour, one test for every backend: a test of this
// fixture runs on a fresh SQLite file and on a fresh PostgreSQL database.
class EveryBackend : public ::testing::TestWithParam<std::string>
{
protected:
    void SetUp() override
    {
        if (GetParam() == "postgresql")
            m_database.emplace("store");
    }

    // A new connection to the test's history.
    history::Expected<std::unique_ptr<history::Store>> tryOpen(history::SessionRule sessions = {}) const
    {
        if (m_database)
            return history::PostgresStore::open(m_database->uri(), sessions);
        return history::SqliteStore::open(m_folder / "history.sqlite3", {.sessions = sessions});
    }
    std::unique_ptr<history::Store> open(history::SessionRule sessions = {}) const
    {
        auto store = tryOpen(sessions);
        if (!store)
            throw std::runtime_error(store.fault().message);
        return std::move(*store);
    }

    // The layout's version, as the backend keeps it, set to `version`.
    void setLayoutVersion(int version) const
    {
        if (m_database)
            m_database->sql("UPDATE skirvane_history SET version = " + std::to_string(version));
        else
            sqlExec(m_folder / "history.sqlite3", "PRAGMA user_version = " + std::to_string(version));
    }

    // The test's history in the backend's last layout before the current
    // one: the same rows for both, from the test data.
    void loadOlderLayout() const
    {
        if (!m_database) {
            std::filesystem::copy_file(std::filesystem::path(HISTORY_TEST_DATA) / "history-v5.sqlite3",
                                       m_folder / "history.sqlite3");
            return;
        }
        auto connection = history::postgres::Connection::open(m_database->uri());
        if (!connection || !connection->script(fileBytes(HISTORY_TEST_DATA "/history-v1.postgresql.sql").c_str(), "test").ok())
            throw std::runtime_error("cannot load the older layout");
    }

    // The test's history in the layout before today's: the same rows for
    // both, from the test data.
    void loadPreviousLayout() const
    {
        if (!m_database) {
            std::filesystem::copy_file(std::filesystem::path(HISTORY_TEST_DATA) / "history-v7.sqlite3",
                                       m_folder / "history.sqlite3");
            return;
        }
        auto connection = history::postgres::Connection::open(m_database->uri());
        if (!connection || !connection->script(fileBytes(HISTORY_TEST_DATA "/history-v2.postgresql.sql").c_str(), "test").ok())
            throw std::runtime_error("cannot load the previous layout");
    }

    // The first value of a question put to the history beside the store.
    long long value(const std::string &sql) const
    {
        if (m_database)
            return std::stoll(m_database->sql(sql));
        return sqlValue(m_folder / "history.sqlite3", sql);
    }

private:
    TempFolder m_folder;
    std::optional<TestDatabase> m_database;
};

inline std::string backendName(const ::testing::TestParamInfo<std::string> &info)
{
    return info.param;
}
