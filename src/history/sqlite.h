#pragma once

#include "history/fault.h"
#include "history/transaction.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// Thin owners of SQLite handles, for the store's own use.
namespace history::sqlite {

class Statement final
{
public:
    Statement() = default;
    explicit Statement(sqlite3_stmt *statement) : m_statement(statement) {}

    Statement &bind(int index, std::int64_t value);
    Statement &bind(int index, std::string_view value);
    Statement &bindNull(int index);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    // Ready for new values; the statement is kept for the next use.
    void reset();
    std::int64_t integer(int column) const;
    std::string text(int column) const;
    double real(int column) const;
    bool isNull(int column) const;
    bool isPrepared() const { return m_statement != nullptr; }

private:
    struct Finalize
    {
        void operator()(sqlite3_stmt *statement) const;
    };
    std::unique_ptr<sqlite3_stmt, Finalize> m_statement;
};

class Connection final
{
public:
    // Takes the write lock at once, so that a reader that turns writer
    // cannot deadlock against another process.
    static constexpr const char *beginTransaction = "BEGIN IMMEDIATE";

    Connection() = default;

    // Opens (and with `create`, makes) the file; read-write unless the file
    // may not be written, which `readOnly()` then tells.
    static Expected<Connection> open(const std::filesystem::path &path, bool create);

    sqlite3 *handle() const { return m_db.get(); }
    const std::filesystem::path &path() const { return m_path; }
    bool readOnly() const;

    // The fault for the result code `code` of the latest call, as
    // "<operation> <file>: <reason>".
    Fault fault(int code, std::string_view operation) const;

    // Runs statements that give no rows; the fault when one fails.
    Expected<Done> exec(const char *sql, std::string_view operation);
    Expected<Statement> prepare(const char *sql, std::string_view operation);
    // The single integer a query such as "PRAGMA user_version" gives.
    Expected<std::int64_t> integer(const char *sql, std::string_view operation);
    // Steps a bound statement to its end, handing each row to `take`, and
    // resets it for its next use.
    Expected<Done> eachRow(Statement &query, std::string_view operation, const std::function<void(const Statement &)> &take);
    // Runs a bound statement that gives no rows, and resets it.
    Expected<Done> run(Statement &bound, std::string_view operation);
    // Steps the bound `find`, and the bound `add` when `find` gave no row,
    // handing the row either gave to `take`; resets both.
    Expected<Done> findOrAdd(Statement &find, Statement &add, std::string_view operation,
                             const std::function<void(const Statement &)> &take);

    // A statement kept for the next uses, prepared on first use.
    struct Kept
    {
        Statement &slot;
        const char *sql;
    };
    // Prepares those of the statements not prepared yet.
    Expected<Done> prepare(std::string_view operation, std::initializer_list<Kept> statements);

private:
    Connection(sqlite3 *db, std::filesystem::path path) : m_db(db), m_path(std::move(path)) {}

    struct Close
    {
        void operator()(sqlite3 *db) const;
    };
    std::unique_ptr<sqlite3, Close> m_db;
    std::filesystem::path m_path;
};

using Transaction = history::Transaction<Connection>;

}
