#pragma once

#include "db/odbc/diagnostics.h"
#include "db/odbc/handle.h"

namespace db::odbc {

// A forward-only record set that still has rows waiting on the server.
class PendingRows {
public:
    virtual ~PendingRows() = default;
    // Reads the remaining rows into memory so that the connection is free again; an error
    // met on the way is raised later, where the record set reaches it.
    virtual void readAhead() noexcept = 0;
    // The connection is closing: drop the rows; the record set then reports itself closed.
    virtual void abandon() noexcept = 0;
};

// The state of one server connection, shared by the connection object and by the
// statements and record sets still reading from it, so that the handles outlive them all.
// One thread at a time.
class Session {
public:
    Session(Handle environment, Handle connection, SeverityField severityField)
        : m_environment(std::move(environment)),
          m_connection(std::move(connection)),
          m_severityField(severityField) {}
    ~Session() { disconnect(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    SQLHDBC handle() const { return m_connection.get(); }
    SeverityField severityField() const { return m_severityField; }
    bool connected() const { return m_connected; }
    void markConnected() { m_connected = true; }

    int commandTimeoutSeconds() const { return m_commandTimeoutSeconds; }
    void setCommandTimeoutSeconds(int seconds) { m_commandTimeoutSeconds = seconds; }

    // Allocates a statement for a new batch. tdsodbc serves one result stream at a time per
    // connection ("Connection is busy with results for another command"), so a forward-only
    // record set still reading is first made to read its rows ahead, as SQL Server's OLE DB
    // provider would open a second connection for it.
    Handle newStatement();

    // Takes back the statement of a batch whose results were all read, so that the next
    // batch need not allocate one; one is kept at the most.
    void recycle(Handle statement) noexcept;

    // The forward-only record set whose rows are still on the wire, or none.
    void setStreaming(PendingRows* rows) { m_streaming = rows; }
    void releaseStreaming(PendingRows* rows) {
        if (m_streaming == rows) m_streaming = nullptr;
    }

    // Ends the connection: an open record set is abandoned, the server is left.
    void disconnect() noexcept;

private:
    Handle m_environment;
    Handle m_connection;
    SeverityField m_severityField;
    bool m_connected = false;
    int m_commandTimeoutSeconds = 0;
    PendingRows* m_streaming = nullptr;
    Handle m_idleStatement;  // closed, with m_idleTimeoutSeconds as its query time-out
    int m_idleTimeoutSeconds = 0;
};

}  // namespace db::odbc
