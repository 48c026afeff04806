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

    Expected<Done> begin(std::string_view operation)
    {
        auto begun = m_connection.exec(Connection::beginTransaction, operation);
        m_open = begun.ok();
        return begun;
    }
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
    Connection &m_connection;
    bool m_open = false;
};

}
