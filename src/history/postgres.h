#pragma once

#include "history/fault.h"
#include "history/transaction.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

// Thin owners of libpq handles, for the stores' own use. Every statement
// takes its values as parameters: no text from outside is ever part of SQL.
namespace history::postgres {

// Whether the text names a PostgreSQL database (a libpq connection URI)
// rather than a history file.
bool isUri(std::string_view text);
// Whether libpq can read the URI; if not, what is wrong with it, naming it
// without its password (whether it leads anywhere is not asked). Text that
// is no URI passes, unless it is a libpq key=value connection string.
common::Expected<common::Done> checkUri(std::string_view text);
// The URI without its passwords (in the user part, as the password or
// sslpassword parameter, their names escaped or not), fit for logs and
// messages.
std::string withoutPassword(std::string_view uri);
// The message with every password the URI holds, as typed or unescaped,
// replaced by "***": for messages of libpq's that may quote the URI.
std::string withoutSecrets(std::string_view message, std::string_view uri);

// Values for a statement's $1, $2, ... in text form; nullopt is NULL.
class Parameters final
{
public:
    Parameters &add(std::int64_t value);
    Parameters &add(std::string_view value);
    Parameters &addNull();
    // A PostgreSQL array literal of the values, for unnest($n::type[]):
    // a whole batch in one statement.
    Parameters &addArray(const std::vector<std::int64_t> &values);
    Parameters &addArray(const std::vector<std::string> &values);

    int count() const { return static_cast<int>(m_values.size()); }
    std::vector<const char *> pointers() const;

private:
    std::vector<std::optional<std::string>> m_values;
};

class Result final
{
public:
    explicit Result(pg_result *result);

    int rows() const;
    std::int64_t integer(int row, int column) const;
    double real(int row, int column) const;
    std::string text(int row, int column) const;
    bool isNull(int row, int column) const;

private:
    std::shared_ptr<pg_result> m_result;
};

class Connection final
{
public:
    static constexpr const char *beginTransaction = "BEGIN";

    Connection() = default;

    // Connects, waiting at most a few seconds for the server.
    static Expected<Connection> open(const std::string &uri);

    const std::string &printableUri() const { return m_printable; }
    // The connection is gone (the server ended, the network failed); a new
    // one has to be opened.
    bool broken() const;

    // Runs one statement; its rows, or the fault as "<operation> <uri>:
    // <reason>".
    Expected<Result> query(const char *sql, std::string_view operation, const Parameters &parameters = {});
    // A statement that gives no rows.
    Expected<Done> exec(const char *sql, std::string_view operation, const Parameters &parameters = {});
    // Several statements without parameters, such as a layout's tables.
    Expected<Done> script(const char *sql, std::string_view operation);

private:
    Connection(pg_conn *connection, std::string printable) : m_connection(connection), m_printable(std::move(printable)) {}
    Fault fault(std::string_view operation, pg_result *result) const;

    struct Finish
    {
        void operator()(pg_conn *connection) const;
    };
    std::unique_ptr<pg_conn, Finish> m_connection;
    std::string m_printable;
};

using Transaction = history::Transaction<Connection>;
}
