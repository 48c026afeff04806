#include "history/postgres.h"

#include "common/percent.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <utility>

namespace history::postgres {

namespace {

// libpq's messages run over several lines, indented with tabs, with a line
// break at the end.
std::string oneLine(std::string_view text)
{
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() != ';')
                line += ';';
        } else if (c == '\t' || c == ' ') {
            if (!line.empty() && line.back() != ' ')
                line += ' ';
        } else {
            if (!line.empty() && line.back() == ';')
                line += ' ';
            line += c;
        }
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == ';'))
        line.pop_back();
    return line;
}

FaultKind kindOf(std::string_view state)
{
    if (state == "53100")
        return FaultKind::diskFull;
    if (state == "25006" || state.starts_with("42501"))
        return FaultKind::readOnly;
    if (state == "55P03" || state == "40001" || state == "40P01")
        return FaultKind::locked;
    if (state.starts_with("08") || state.starts_with("57P") || state.starts_with("28") || state == "3D000")
        return FaultKind::cannotOpen;
    return FaultKind::other;
}

struct Redacted
{
    std::string printable;
    // The passwords as typed and as libpq reads them, to be hidden in any
    // message that quotes them.
    std::vector<std::string> secrets;
};

Redacted redacted(std::string_view uri)
{
    Redacted result{std::string(uri), {}};
    std::string &text = result.printable;
    const auto keep = [&](std::string_view secret) {
        if (secret.empty())
            return;
        result.secrets.emplace_back(secret);
        if (const std::string decoded = common::percentDecoded(secret); decoded != secret && !decoded.empty())
            result.secrets.push_back(decoded);
    };
    const std::size_t scheme = text.find("://");
    if (scheme == std::string::npos)
        return result;
    const std::size_t authority = scheme + 3;
    // The user part ends at an '@' before the path. A password typed with
    // an '@' or a '/' unescaped is misread by libpq, but it is still the
    // password: up to the last '@' before the path, or before the
    // parameters when a '/' comes earlier. Hiding too much beats hiding too
    // little.
    std::size_t at = text.rfind('@', text.find('/', authority));
    if (at == std::string::npos || at < authority)
        at = text.rfind('@', text.find('?', authority));
    if (at != std::string::npos && at >= authority) {
        const std::size_t colon = text.find(':', authority);
        if (colon < at) {
            const std::string_view password = std::string_view(text).substr(colon + 1, at - colon - 1);
            keep(password);
            // The pieces libpq may quote as a host or a path when it misreads.
            for (std::size_t from = 0; from < password.size();) {
                const std::size_t end = std::min(password.find_first_of("@/", from), password.size());
                if (end - from < password.size())
                    keep(password.substr(from, end - from));
                from = end + 1;
            }
            text.erase(colon, at - colon);
        }
    }
    const std::size_t question = text.find('?', authority);
    if (question == std::string::npos)
        return result;
    std::string query;
    for (std::size_t from = question + 1; from <= text.size();) {
        const std::size_t end = std::min(text.find('&', from), text.size());
        const std::string_view parameter = std::string_view(text).substr(from, end - from);
        const std::size_t equals = parameter.find('=');
        // password, and sslpassword for the client key, with their names
        // escaped or not.
        if (common::percentDecoded(parameter.substr(0, equals)).ends_with("password"))
            keep(equals == std::string_view::npos ? std::string_view() : parameter.substr(equals + 1));
        else if (!parameter.empty())
            (query += query.empty() ? "" : "&") += parameter;
        from = end + 1;
    }
    text.resize(question);
    if (!query.empty())
        text += "?" + query;
    return result;
}

// Text sent as a parameter ends at a NUL byte; strings from game servers
// may hold one.
std::string withoutNul(std::string_view value)
{
    std::string text(value);
    std::erase(text, '\0');
    return text;
}

}

bool isUri(std::string_view text)
{
    return text.starts_with("postgresql://") || text.starts_with("postgres://");
}

common::Expected<common::Done> checkUri(std::string_view text)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(std::string(text).c_str(), &error);
    PQconninfoFree(options);
    if (!isUri(text)) {
        PQfreemem(error);
        if (text.find('=') == std::string_view::npos)
            return common::Done{};
        // Such a string would be taken for a file's name, and shown as one
        // wherever the file is named, password and all.
        if (options)
            return common::Fault{"key=value connection strings are not read; give a postgresql:// URI"};
        return common::Done{};
    }
    if (options)
        return common::Done{};
    common::Fault problem{"cannot read the database URI " + withoutPassword(text) + ": "
                          + (error ? withoutSecrets(oneLine(error), text) : "out of memory")};
    PQfreemem(error);
    return problem;
}

std::string withoutPassword(std::string_view uri)
{
    return redacted(uri).printable;
}

std::string withoutSecrets(std::string_view message, std::string_view uri)
{
    std::string text(message);
    for (const std::string &secret : redacted(uri).secrets)
        for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
            text.replace(at, secret.size(), "***");
    return text;
}

Parameters &Parameters::add(std::int64_t value)
{
    m_values.emplace_back(std::to_string(value));
    return *this;
}

Parameters &Parameters::add(std::string_view value)
{
    m_values.emplace_back(withoutNul(value));
    return *this;
}

Parameters &Parameters::addNull()
{
    m_values.emplace_back(std::nullopt);
    return *this;
}

Parameters &Parameters::addArray(const std::vector<std::int64_t> &values)
{
    std::string array = "{";
    for (const std::int64_t value : values)
        array += (array.size() > 1 ? "," : "") + std::to_string(value);
    m_values.emplace_back(array + "}");
    return *this;
}

Parameters &Parameters::addArray(const std::vector<std::string> &values)
{
    // Each element quoted, with its quotes and backslashes escaped: the
    // array's own syntax, read by the server as data.
    std::string array = "{";
    for (const std::string &value : values) {
        if (array.size() > 1)
            array += ',';
        array += '"';
        for (const char c : value) {
            if (c == '\0')
                continue;
            if (c == '"' || c == '\\')
                array += '\\';
            array += c;
        }
        array += '"';
    }
    m_values.emplace_back(array + "}");
    return *this;
}

std::vector<const char *> Parameters::pointers() const
{
    std::vector<const char *> pointers;
    for (const auto &value : m_values)
        pointers.push_back(value ? value->c_str() : nullptr);
    return pointers;
}

Result::Result(pg_result *result) : m_result(result, PQclear) {}

int Result::rows() const
{
    return PQntuples(m_result.get());
}

std::int64_t Result::integer(int row, int column) const
{
    return std::strtoll(PQgetvalue(m_result.get(), row, column), nullptr, 10);
}

double Result::real(int row, int column) const
{
    return std::strtod(PQgetvalue(m_result.get(), row, column), nullptr);
}

std::string Result::text(int row, int column) const
{
    return {PQgetvalue(m_result.get(), row, column), static_cast<std::size_t>(PQgetlength(m_result.get(), row, column))};
}

bool Result::isNull(int row, int column) const
{
    return PQgetisnull(m_result.get(), row, column) == 1;
}

void Connection::Finish::operator()(pg_conn *connection) const
{
    PQfinish(connection);
}

Expected<Connection> Connection::open(const std::string &uri)
{
    // Ours first: what the URI says overrides them. A server that does not
    // answer is given up after a few seconds, and a connection whose peer
    // vanished without a word is noticed within a minute.
    const char *keywords[] = {"connect_timeout", "application_name", "keepalives_idle", "keepalives_interval",
                              "dbname", nullptr};
    const char *values[] = {"5", "skirvane-queryd", "30", "10", uri.c_str(), nullptr};
    Connection connection(PQconnectdbParams(keywords, values, 1), withoutPassword(uri));
    if (!connection.m_connection)
        return Fault{FaultKind::cannotOpen, "Cannot connect to the history database " + connection.m_printable + ": out of memory"};
    // libpq's reason may quote the part of the URI it could not read.
    if (PQstatus(connection.m_connection.get()) != CONNECTION_OK)
        return Fault{FaultKind::cannotOpen, "Cannot connect to the history database " + connection.m_printable + ": "
                                                + withoutSecrets(oneLine(PQerrorMessage(connection.m_connection.get())), uri)};
    // Times are whole seconds in bigint columns; the session's own
    // settings play no part, but its notices would end up on stderr.
    PQsetNoticeProcessor(connection.m_connection.get(), [](void *, const char *) {}, nullptr);
    // The statements are short, but the planner's estimates for a batch's
    // arrays can pass the bar at which it compiles a statement to machine
    // code first, which takes far longer than running it. A server too old
    // to know the setting does not compile either.
    PQclear(PQexec(connection.m_connection.get(), "SET jit = off"));
    return connection;
}

bool Connection::broken() const
{
    return !m_connection || PQstatus(m_connection.get()) != CONNECTION_OK;
}

Fault Connection::fault(std::string_view operation, pg_result *result) const
{
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char *message = result ? PQresultErrorMessage(result) : nullptr;
    std::string text = oneLine(message && *message ? message : PQerrorMessage(m_connection.get()));
    return {broken() ? FaultKind::cannotOpen : kindOf(state ? state : ""),
            std::string(operation) + ' ' + m_printable + ": " + (text.empty() ? "the connection is lost" : text)};
}

Expected<Result> Connection::query(const char *sql, std::string_view operation, const Parameters &parameters)
{
    const auto pointers = parameters.pointers();
    pg_result *result = PQexecParams(m_connection.get(), sql, parameters.count(), nullptr, pointers.data(), nullptr, nullptr, 0);
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        Fault failed = fault(operation, result);
        PQclear(result);
        return failed;
    }
    return Result(result);
}

Expected<Done> Connection::exec(const char *sql, std::string_view operation, const Parameters &parameters)
{
    auto result = query(sql, operation, parameters);
    if (!result)
        return result.fault();
    return Done{};
}

Expected<Done> Connection::script(const char *sql, std::string_view operation)
{
    pg_result *result = PQexec(m_connection.get(), sql);
    Expected<Done> done = Done{};
    if (!result || PQresultStatus(result) != PGRES_COMMAND_OK)
        done = fault(operation, result);
    PQclear(result);
    return done;
}

}
