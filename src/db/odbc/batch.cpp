#include "db/odbc/batch.h"

#include <algorithm>
#include <utility>

#include "db/odbc/field_values.h"
#include "db/odbc/wide_text.h"

namespace db::odbc {

Batch::Batch(std::shared_ptr<Session> session, std::string_view sql)
    : m_session(std::move(session)) {
    m_statement = m_session->newStatement();
    // Plain ASCII reads the same in every character set a driver may assume for the narrow
    // entry point, and spares the conversion to UTF-16 and back; anything else goes wide.
    const bool ascii = std::all_of(sql.begin(), sql.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        // Passed as it is: the driver only reads the text (the API's pointer is not const),
        // and a batch carrying a long value is not copied once more.
        const char* text = sql.empty() ? "" : sql.data();
        m_rc = SQLExecDirect(m_statement.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)),
                             static_cast<SQLINTEGER>(sql.size()));
        return;
    }
    WideText text = toWide(sql);
    text.push_back(0);
    m_rc = SQLExecDirectW(m_statement.get(), text.data(), static_cast<SQLINTEGER>(text.size() - 1));
}

void Batch::keepDiagnostics(bool isFailure) {
    // Messages before the first error (5701 after a USE, PRINT output) are not part of it.
    if (!isFailure && !m_failed) return;
    m_failed = true;
    auto records = readDiagnostics(SQL_HANDLE_STMT, m_statement.get(), m_session->severityField());
    m_records.insert(m_records.end(), std::make_move_iterator(records.begin()),
                     std::make_move_iterator(records.end()));
}

Error Batch::error() const {
    return errorFrom(m_records, Phase::Running, "The statement failed without a message.");
}

bool Batch::nextRowSet() {
    if (!m_statement) return false;
    if (m_onRowSet) {
        m_onRowSet = false;
        m_rc = SQLMoreResults(m_statement.get());
    }
    for (;;) {
        if (m_rc == SQL_NO_DATA) {
            // tdsodbc answers SQL_NO_DATA at once for a batch that yields no row set, no
            // count and no message (a lone CREATE TABLE: its DONE carries no count).
            // Every result has been read: the statement can serve the next batch.
            m_onRowSet = false;
            m_session->recycle(std::move(m_statement));
            return false;
        }
        if (m_rc == SQL_ERROR || m_rc == SQL_INVALID_HANDLE) {
            const std::size_t before = m_records.size();
            keepDiagnostics(true);
            const bool fromServer = std::any_of(
                m_records.begin() + static_cast<std::ptrdiff_t>(before), m_records.end(),
                [](const DiagnosticRecord& r) { return r.nativeError != 0; });
            // A server error ends one statement and the batch goes on; an error of the
            // driver or the link leaves nothing more to read.
            if (!fromServer || m_rc == SQL_INVALID_HANDLE) {
                release();
                return false;
            }
            m_rc = SQLMoreResults(m_statement.get());
            continue;
        }
        if (m_rc == SQL_SUCCESS_WITH_INFO) keepDiagnostics(false);
        SQLSMALLINT columnCount = 0;
        SQLNumResultCols(m_statement.get(), &columnCount);
        if (columnCount > 0) {
            if (!describeColumns()) {
                release();
                return false;
            }
            m_onRowSet = true;
            return true;
        }
        SQLLEN rowCount = -1;
        if (SQL_SUCCEEDED(SQLRowCount(m_statement.get(), &rowCount)) && rowCount >= 0) {
            m_lastRowCount = static_cast<long>(rowCount);
        }
        m_rc = SQLMoreResults(m_statement.get());
    }
}

bool Batch::describeColumns() {
    SQLSMALLINT count = 0;
    SQLNumResultCols(m_statement.get(), &count);
    m_columns.assign(static_cast<std::size_t>(count), Column{});
    m_fetchAs.assign(static_cast<std::size_t>(count), FetchAs::Text);
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT sqlType = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
        if (!SQL_SUCCEEDED(SQLDescribeColW(m_statement.get(), i, name, 256, &nameLength, &sqlType,
                                           &size, &digits, &nullable))) {
            keepDiagnostics(true);
            return false;
        }
        SQLWCHAR typeName[64] = {};
        SQLSMALLINT typeNameBytes = 0;
        SQLColAttributeW(m_statement.get(), i, SQL_DESC_TYPE_NAME, typeName, sizeof(typeName),
                         &typeNameBytes, nullptr);
        const std::size_t typeNameLength = std::min<std::size_t>(
            static_cast<std::size_t>(std::max<SQLSMALLINT>(typeNameBytes, 0)) / sizeof(SQLWCHAR),
            63);
        const ColumnKind kind = classifyColumn(fromWide(typeName, typeNameLength), sqlType);

        Column& column = m_columns[i - 1];
        column.name =
            fromWide(name, std::min<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0), 255));
        column.type = kind.adoType;
        column.nullable = nullable != SQL_NO_NULLS;
        if (const long longSize = longTypeDefinedSize(kind.adoType); longSize != 0) {
            column.definedSize = longSize;
        } else if (kind.fetchAs == FetchAs::Text || kind.fetchAs == FetchAs::Bytes) {
            column.definedSize = static_cast<long>(size);
        } else {
            SQLLEN octets = 0;
            SQLColAttributeW(m_statement.get(), i, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr,
                             &octets);
            column.definedSize = static_cast<long>(octets);
        }
        if (kind.fetchAs == FetchAs::Decimal) {
            column.precision = static_cast<int>(size);
            column.numericScale = digits;
        }
        m_fetchAs[i - 1] = kind.fetchAs;
    }
    return true;
}

bool Batch::fetch(std::vector<Value>& row) {
    if (!m_onRowSet) return false;
    const SQLRETURN rc = SQLFetch(m_statement.get());
    if (rc == SQL_NO_DATA) return false;
    if (!SQL_SUCCEEDED(rc)) {
        keepDiagnostics(true);
        return false;
    }
    row.resize(m_columns.size());
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (!readValue(static_cast<SQLUSMALLINT>(i + 1), m_fetchAs[i], row[i])) return false;
    }
    return true;
}

namespace {

// Reads one column's value with SQLGetData into `out`, whole. The first call takes up to
// `firstUnits`; a longer value reports its whole length, and the buffer grows to take the
// rest in one more call. Character data ends every call with a terminator (`terminated`).
template <typename Unit>
ValueRead readWhole(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT cType,
                    bool terminated, std::size_t firstUnits, std::vector<Unit>& out) {
    const std::size_t terminator = terminated ? 1 : 0;
    std::size_t used = 0;
    out.resize(firstUnits + terminator);
    for (;;) {
        const std::size_t space = out.size() - used;
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(statement, column, cType, out.data() + used,
                                        static_cast<SQLLEN>(space * sizeof(Unit)), &indicator);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) return ValueRead::Failed;
        if (indicator == SQL_NULL_DATA) return ValueRead::Null;
        const std::size_t room = space - terminator;
        const std::size_t units = static_cast<std::size_t>(indicator) / sizeof(Unit);
        if (indicator != SQL_NO_TOTAL && units <= room) {
            used += units;
            break;
        }
        used += room;
        out.resize(used + (indicator == SQL_NO_TOTAL ? out.size() : units - room) + terminator);
    }
    out.resize(used);
    return ValueRead::Value;
}

}  // namespace

// The reused buffers keep up to this many units between values. A longer value (an
// image, a long text) is read into a buffer of its own size that is then handed over
// (bytes) or let go (text), so that it is held once and not kept after it was read.
constexpr std::size_t kKeptBufferUnits = 64 * 1024;

bool Batch::readValue(SQLUSMALLINT column, FetchAs fetchAs, Value& value) {
    const SQLHSTMT statement = m_statement.get();
    // Reads a fixed-size value; false on failure, `isNull` set for NULL.
    bool isNull = false;
    auto fixed = [&](SQLSMALLINT cType, void* target, SQLLEN size) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(statement, column, cType, target, size, &indicator);
        return settle(!SQL_SUCCEEDED(rc)              ? ValueRead::Failed
                      : indicator == SQL_NULL_DATA ? ValueRead::Null
                                                   : ValueRead::Value,
                      isNull);
    };
    switch (fetchAs) {
        case FetchAs::Integer: {
            SQLBIGINT v = 0;
            if (!fixed(SQL_C_SBIGINT, &v, sizeof(v))) return false;
            value = isNull ? Value() : Value::integer(v);
            return true;
        }
        case FetchAs::Boolean: {
            unsigned char v = 0;
            if (!fixed(SQL_C_BIT, &v, sizeof(v))) return false;
            value = isNull ? Value() : Value::boolean(v != 0);
            return true;
        }
        case FetchAs::Single: {
            float v = 0;
            if (!fixed(SQL_C_FLOAT, &v, sizeof(v))) return false;
            value = isNull ? Value() : Value::real(singleToDouble(v));
            return true;
        }
        case FetchAs::Double: {
            double v = 0;
            if (!fixed(SQL_C_DOUBLE, &v, sizeof(v))) return false;
            value = isNull ? Value() : Value::real(v);
            return true;
        }
        case FetchAs::Decimal: {
            char text[128] = {};
            if (!fixed(SQL_C_CHAR, text, sizeof(text))) return false;
            value = isNull ? Value() : Value::decimal(normalizeDecimalText(text));
            return true;
        }
        case FetchAs::DateTime: {
            SQL_TIMESTAMP_STRUCT v{};
            if (!fixed(SQL_C_TYPE_TIMESTAMP, &v, sizeof(v))) return false;
            value = isNull ? Value() : Value::dateTime(dateTimeFrom(v));
            return true;
        }
        case FetchAs::Guid: {
            SQLGUID v{};
            if (!fixed(SQL_C_GUID, &v, sizeof(v))) return false;
            value = isNull ? Value() : Value::text(guidText(v));
            return true;
        }
        case FetchAs::Text: {
            // Most values are names and short texts: a small reused buffer takes them.
            if (!settle(readWhole(statement, column, SQL_C_WCHAR, true, 256, m_text), isNull))
                return false;
            value = isNull ? Value() : Value::text(fromWide(m_text.data(), m_text.size()));
            if (m_text.capacity() > kKeptBufferUnits) WideText().swap(m_text);
            return true;
        }
        case FetchAs::Bytes: {
            if (!settle(readWhole(statement, column, SQL_C_BINARY, false, 256, m_bytes), isNull))
                return false;
            if (isNull) {
                value = Value();
            } else if (m_bytes.size() > kKeptBufferUnits) {
                value = Value::bytes(std::exchange(m_bytes, Bytes()));  // a long value, not copied
            } else {
                value = Value::bytes(Bytes(m_bytes.begin(), m_bytes.end()));
            }
            return true;
        }
    }
    return false;
}


// Turns the outcome of one value's read into fetch's terms, keeping a failure's diagnostics.
bool Batch::settle(ValueRead read, bool& isNull) {
    if (read == ValueRead::Failed) keepDiagnostics(true);
    isNull = read == ValueRead::Null;
    return read != ValueRead::Failed;
}

void Batch::finish() {
    while (nextRowSet()) {
    }
}

void Batch::release() {
    m_onRowSet = false;
    m_statement.reset();
}

}  // namespace db::odbc
