#pragma once

#include "history/fault.h"

#include <optional>
#include <string_view>

namespace history {

// A transaction on one of the backends' connections, undone unless it was
// committed. The connection gives its way to begin one
// (Connection::beginTransaction) and runs statements that give no rows
// (exec, with the fault as a value).
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

    std::optional<Fault> begin(std::string_view operation)
    {
        auto failed = m_connection.exec(Connection::beginTransaction, operation);
        m_open = !failed;
        return failed;
    }
    // A failed COMMIT (busy) leaves the transaction open; the destructor
    // rolls it back.
    std::optional<Fault> commit(std::string_view operation)
    {
        auto failed = m_connection.exec("COMMIT", operation);
        if (!failed)
            m_open = false;
        return failed;
    }

private:
    Connection &m_connection;
    bool m_open = false;
};

}
