#include "history/sqlite.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace history::sqlite {

namespace {

FaultKind kindOf(int code, int systemErrno)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return FaultKind::locked;
    case SQLITE_READONLY:
        return FaultKind::readOnly;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return FaultKind::corrupt;
    case SQLITE_FULL:
        return FaultKind::diskFull;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
        return systemErrno == EACCES || systemErrno == EROFS ? FaultKind::readOnly : FaultKind::cannotOpen;
    case SQLITE_IOERR:
        if (systemErrno == ENOSPC || systemErrno == EDQUOT)
            return FaultKind::diskFull;
        if (systemErrno == EROFS || systemErrno == EACCES)
            return FaultKind::readOnly;
        return FaultKind::other;
    default:
        return FaultKind::other;
    }
}

// SQLite's own words say what went wrong in database terms; these say what
// the user can do about it.
const char *advice(FaultKind kind)
{
    switch (kind) {
    case FaultKind::locked:
        return " (another program holds the file)";
    case FaultKind::corrupt:
        return " (the file is damaged; it is left as it is: move it away to start a new history)";
    case FaultKind::readOnly:
        return " (the file or its folder may not be written)";
    default:
        return "";
    }
}

}

void Statement::Finalize::operator()(sqlite3_stmt *statement) const
{
    sqlite3_finalize(statement);
}

Statement &Statement::bind(int index, std::int64_t value)
{
    sqlite3_bind_int64(m_statement.get(), index, value);
    return *this;
}

Statement &Statement::bind(int index, std::string_view value)
{
    sqlite3_bind_text(m_statement.get(), index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement &Statement::bindNull(int index)
{
    sqlite3_bind_null(m_statement.get(), index);
    return *this;
}

int Statement::step()
{
    return sqlite3_step(m_statement.get());
}

void Statement::reset()
{
    sqlite3_reset(m_statement.get());
    sqlite3_clear_bindings(m_statement.get());
}

std::int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(m_statement.get(), column);
}

std::string Statement::text(int column) const
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement.get(), column));
    return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(m_statement.get(), column))) : std::string();
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_statement.get(), column);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_statement.get(), column) == SQLITE_NULL;
}

void Connection::Close::operator()(sqlite3 *db) const
{
    sqlite3_close_v2(db);
}

Expected<Connection> Connection::open(const std::filesystem::path &path, bool create)
{
    sqlite3 *db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const int code = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    Connection connection(db, path);
    if (code != SQLITE_OK)
        return connection.fault(code, "Cannot open the history file");
    sqlite3_extended_result_codes(db, 1);
    return connection;
}

bool Connection::readOnly() const
{
    return sqlite3_db_readonly(m_db.get(), "main") == 1;
}

Fault Connection::fault(int code, std::string_view operation) const
{
    const int systemErrno = m_db ? sqlite3_system_errno(m_db.get()) : 0;
    const FaultKind kind = kindOf(code, systemErrno);
    std::string message(operation);
    message += ' ';
    message += m_path.string();
    message += ": ";
    message += m_db && sqlite3_errcode(m_db.get()) == code ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(code);
    if (systemErrno != 0 && (code & 0xff) != SQLITE_BUSY && (code & 0xff) != SQLITE_CORRUPT) {
        message += " (";
        message += std::strerror(systemErrno);
        message += ')';
    }
    message += advice(kind);
    return {kind, std::move(message)};
}

Expected<Done> Connection::exec(const char *sql, std::string_view operation)
{
    const int code = sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        return fault(code, operation);
    return Done{};
}

Expected<Statement> Connection::prepare(const char *sql, std::string_view operation)
{
    sqlite3_stmt *statement = nullptr;
    const int code = sqlite3_prepare_v3(m_db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    if (code != SQLITE_OK)
        return fault(code, operation);
    return Statement(statement);
}

Expected<std::int64_t> Connection::integer(const char *sql, std::string_view operation)
{
    auto statement = prepare(sql, operation);
    if (!statement)
        return statement.fault();
    const int code = statement->step();
    if (code != SQLITE_ROW)
        return fault(code, operation);
    return statement->integer(0);
}

Expected<Done> Connection::eachRow(Statement &query, std::string_view operation, const std::function<void(const Statement &)> &take)
{
    int code;
    while ((code = query.step()) == SQLITE_ROW)
        take(query);
    query.reset();
    if (code != SQLITE_DONE)
        return fault(code, operation);
    return Done{};
}

Expected<Done> Connection::run(Statement &bound, std::string_view operation)
{
    const int code = bound.step();
    bound.reset();
    if (code != SQLITE_DONE)
        return fault(code, operation);
    return Done{};
}

Expected<Done> Connection::findOrAdd(Statement &find, Statement &add, std::string_view operation,
                                     const std::function<void(const Statement &)> &take)
{
    int code = find.step();
    const Statement &row = code == SQLITE_DONE ? add : find;
    if (code == SQLITE_DONE)
        code = add.step();
    if (code == SQLITE_ROW)
        take(row);
    find.reset();
    add.reset();
    if (code != SQLITE_ROW)
        return fault(code, operation);
    return Done{};
}

Expected<Done> Connection::prepare(std::string_view operation, std::initializer_list<Kept> statements)
{
    for (const auto &[slot, sql] : statements)
        if (!slot.isPrepared()) {
            auto prepared = prepare(sql, operation);
            if (!prepared)
                return prepared.fault();
            slot = std::move(*prepared);
        }
    return Done{};
}

}
