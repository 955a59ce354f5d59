#include "db/odbc/session.h"

#include <cstdint>

namespace db::odbc {

Handle Session::newStatement() {
    if (PendingRows* rows = std::exchange(m_streaming, nullptr)) rows->readAhead();
    Handle statement(SQL_HANDLE_STMT, m_connection.get());
    if (m_commandTimeoutSeconds > 0) {
        SQLSetStmtAttr(
            statement.get(), SQL_ATTR_QUERY_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(m_commandTimeoutSeconds)),
            SQL_IS_UINTEGER);
    }
    return statement;
}

void Session::disconnect() noexcept {
    if (PendingRows* rows = std::exchange(m_streaming, nullptr)) rows->abandon();
    if (m_connected) {
        SQLDisconnect(m_connection.get());
        m_connected = false;
    }
}

}  // namespace db::odbc
