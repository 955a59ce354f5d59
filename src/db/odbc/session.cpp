#include "db/odbc/session.h"

#include <cstdint>

namespace db::odbc {

namespace {

void setQueryTimeout(SQLHSTMT statement, int seconds) {
    SQLSetStmtAttr(statement, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(seconds)),
                   SQL_IS_UINTEGER);
}

}  // namespace

Handle Session::newStatement() {
    if (PendingRows* rows = std::exchange(m_streaming, nullptr)) rows->readAhead();
    if (m_idleStatement) {
        Handle statement = std::move(m_idleStatement);
        if (m_idleTimeoutSeconds != m_commandTimeoutSeconds)
            setQueryTimeout(statement.get(), m_commandTimeoutSeconds);
        return statement;
    }
    Handle statement(SQL_HANDLE_STMT, m_connection.get());
    if (m_commandTimeoutSeconds > 0) setQueryTimeout(statement.get(), m_commandTimeoutSeconds);
    return statement;
}

void Session::recycle(Handle statement) noexcept {
    if (m_idleStatement || !m_connected) return;  // `statement` is freed on the way out
    if (!SQL_SUCCEEDED(SQLFreeStmt(statement.get(), SQL_CLOSE))) return;
    m_idleStatement = std::move(statement);
    m_idleTimeoutSeconds = m_commandTimeoutSeconds;
}

void Session::disconnect() noexcept {
    if (PendingRows* rows = std::exchange(m_streaming, nullptr)) rows->abandon();
    // Statements go before the connection: the driver manager frees them on disconnect.
    m_idleStatement.reset();
    if (m_connected) {
        SQLDisconnect(m_connection.get());
        m_connected = false;
    }
}

}  // namespace db::odbc
