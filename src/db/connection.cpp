#include "db/connection.h"

#include "db/error.h"

namespace db {
namespace {
Error noTransactions() {
    return Error(errc::kNotSupported, "Transactions are not supported by this connection.");
}
}  // namespace

void Connection::beginTransaction() { throw noTransactions(); }
void Connection::commitTransaction() { throw noTransactions(); }
void Connection::rollbackTransaction() { throw noTransactions(); }

Transaction::Transaction(Connection& connection) : m_connection(connection) {
    m_connection.beginTransaction();
}

Transaction::~Transaction() {
    if (m_done) return;
    try {
        m_connection.rollbackTransaction();
    } catch (...) {  // NOLINT(bugprone-empty-catch): a destructor must not throw
    }
}

void Transaction::commit() {
    m_connection.commitTransaction();
    m_done = true;
}

}  // namespace db
