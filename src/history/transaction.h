#pragma once

#include "history/fault.h"

#include <optional>
#include <string_view>

namespace history {

// A transaction on one of the backends' connections, undone unless it was
// committed. The connection gives its way to begin one that writes
// (Connection::beginTransaction) and runs statements that give no rows
// (exec, with the fault as a value). One begun by `beginRead` only lets
// several statements see the database as the first of them saw it, and
// ends with its owner.
template<typename Connection>
class Transaction final
{
public:
    explicit Transaction(Connection &connection) : m_connection(connection) {}
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    ~Transaction()
    {
        if (m_open)
            (void)m_connection.exec("ROLLBACK", "Cannot undo a transaction in");
    }

    Expected<Done> begin(std::string_view operation) { return start(Connection::beginTransaction, operation); }
    Expected<Done> beginRead(std::string_view operation) { return start("BEGIN", operation); }
    // A failed COMMIT (busy) leaves the transaction open; the destructor
    // rolls it back.
    Expected<Done> commit(std::string_view operation)
    {
        auto committed = m_connection.exec("COMMIT", operation);
        if (committed.ok())
            m_open = false;
        return committed;
    }

private:
    Expected<Done> start(const char *sql, std::string_view operation)
    {
        auto begun = m_connection.exec(sql, operation);
        m_open = begun.ok();
        return begun;
    }

    Connection &m_connection;
    bool m_open = false;
};

}
