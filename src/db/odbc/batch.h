#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "db/error.h"
#include "db/odbc/column_types.h"
#include "db/odbc/session.h"
#include "db/odbc/wide_text.h"
#include "db/recordset.h"

namespace db::odbc {

// How reading one value ended.
enum class ValueRead { Value, Null, Failed };

// One SQL batch sent with SQLExecDirect (no parameters, no prepared statement, no server
// cursor, so tdsodbc sends it as a plain SQL batch) and the walk through its results: row
// sets, row counts and messages, in the server's order. An error does not stop the walk:
// the server goes on with the next statement of the batch, and every result after it is
// still consumed; the first error is kept, with every diagnostic record from then on.
class Batch {
public:
    // Sends the batch. Nothing is thrown here: a failure is kept for failed()/error().
    Batch(std::shared_ptr<Session> session, std::string_view sql);

    // Moves to the next result that has columns, passing over counts and messages (and the
    // unread rows of the current row set). False once the batch has no result left; the
    // statement is then released.
    bool nextRowSet();

    // The current row set's columns.
    const std::vector<Column>& columns() const { return m_columns; }

    // Reads the next row of the current row set into `row`; false at its end (or when
    // reading failed, which is then kept as the batch's error).
    bool fetch(std::vector<Value>& row);

    // Consumes every remaining result and releases the statement.
    void finish();

    // Releases the statement without reading further; tdsodbc cancels what is unread.
    void cancel() { release(); }

    // Rows affected by the last counted statement without columns, or -1.
    long lastRowCount() const { return m_lastRowCount; }

    bool failed() const { return m_failed; }
    Error error() const;

    Session& session() const { return *m_session; }

private:
    void keepDiagnostics(bool isFailure);
    bool describeColumns();
    bool readValue(SQLUSMALLINT column, FetchAs fetchAs, Value& value);
    bool settle(ValueRead read, bool& isNull);
    void release();

    std::shared_ptr<Session> m_session;
    Handle m_statement;
    SQLRETURN m_rc = SQL_NO_DATA;
    bool m_onRowSet = false;
    std::vector<Column> m_columns;
    std::vector<FetchAs> m_fetchAs;
    long m_lastRowCount = -1;
    bool m_failed = false;
    std::vector<DiagnosticRecord> m_records;
    WideText m_text;  // reused buffers for character and binary values, copied out at
    Bytes m_bytes;    // each value's own size (a long one is handed over, see readValue)
};

}  // namespace db::odbc
