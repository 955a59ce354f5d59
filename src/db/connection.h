#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "db/recordset.h"
#include "db/value.h"

namespace db {

// The four settings of a server connection, kept apart: they are never joined into
// one string that would have to be split again.
struct ServerSettings {
    std::string server;    // "host", "host,port" or "host\instance"
    std::string database;
    std::string user;
    std::string password;
    int connectTimeoutSeconds = 0;  // 0: the driver's default
    int commandTimeoutSeconds = 0;  // 0: the driver's default
};

// An open connection to a database, reached only through SQL text. Implemented over
// ODBC for SQL Server and over SQLite for the definitions store. Not thread-safe: one
// connection belongs to one operation. Every failure throws db::Error.
class Connection {
public:
    virtual ~Connection() = default;

    // Runs a batch to its end, every result consumed; returns the rows affected by the
    // last counted statement, or -1 when none was counted.
    virtual long execute(std::string_view sql) = 0;

    // Opens a record set on the first result of the batch. A static cursor fetches every
    // row; a forward-only one may stream. Lock types matter only to the store.
    virtual Recordset open(std::string_view sql, CursorType cursor = CursorType::ForwardOnly,
                           LockType lock = LockType::ReadOnly) = 0;

    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // ADO's State: 1 when open, 0 when closed.
    int state() const { return isOpen() ? 1 : 0; }

    // Time-out of each later statement, in seconds; 0 waits indefinitely.
    virtual void setCommandTimeout(int seconds) = 0;

    // Sets one field of the row whose `keyColumn` equals the SQL literal `keyLiteral` to
    // `value`, completely (text or bytes of any size). This is the updatable cursor's
    // append-and-update, done as one statement.
    virtual void writeLongValue(std::string_view table, std::string_view keyColumn,
                                std::string_view keyLiteral, std::string_view field,
                                const Value& value) = 0;

    // True when a transaction begun here was ended by the database itself after an error
    // (a full disk, an I/O error) and not yet closed with commit or rollback: statements
    // now would belong to no transaction. A caller that passes over a failed statement
    // asks this first. A backend that never ends one by itself answers false.
    virtual bool transactionLost() const { return false; }

    // Transactions; a backend without them throws db::Error.
    virtual void beginTransaction();
    virtual void commitTransaction();
    virtual void rollbackTransaction();
};

// Rolls back on destruction unless committed. Destructors never throw: a failing
// rollback is dropped, the connection reports it on its next use.
class Transaction {
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Connection& m_connection;
    bool m_done = false;
};

}  // namespace db
