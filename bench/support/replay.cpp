#include "replay.h"

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <fstream>
#include <stdexcept>

namespace benchsupport {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

void check(SQLRETURN rc, const char* what) {
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA) {
        throw std::runtime_error(std::string("ODBC replay failed: ") + what);
    }
}

}  // namespace

int NullHost::messageBox(const std::string&, int flags, const std::optional<std::string>&) {
    if ((flags & 7) != shell::mb::kYesNo) return shell::mb::kAnswerOk;
    return (flags & shell::mb::kDefaultButton2) ? shell::mb::kAnswerNo : shell::mb::kAnswerYes;
}

long RecordingConnection::execute(std::string_view sql) {
    statements.emplace_back(sql);
    return m_inner.execute(sql);
}

db::Recordset RecordingConnection::open(std::string_view sql, db::CursorType cursor, db::LockType lock) {
    ++queries;
    return m_inner.open(sql, cursor, lock);
}

void RecordingConnection::writeLongValue(std::string_view table, std::string_view keyColumn,
                                         std::string_view keyLiteral, std::string_view field,
                                         const db::Value& value) {
    m_inner.writeLongValue(table, keyColumn, keyLiteral, field, value);
}

TracedBatches readTrace(const std::filesystem::path& file, std::size_t skipLines) {
    TracedBatches traced;
    std::ifstream in(file);
    std::string line;
    std::string connection;
    while (std::getline(in, line)) {
        if (traced.lines++ < skipLines) continue;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        // Only the measured connection: the first one seen after the skipped lines.
        if (connection.empty()) connection = line.substr(0, tab);
        if (line.compare(0, tab, connection) != 0) continue;
        traced.batches.push_back(unescape(std::string_view(line).substr(tab + 1)));
    }
    return traced;
}

double replayOverOdbc(const std::string& connectionString, const std::vector<std::string>& batches) {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), "environment");
    check(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), "version");
    check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), "connection");
    check(SQLDriverConnect(dbc, nullptr,
                           reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())),
                           SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
          "connect");
    check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), "statement");
    std::vector<char> buffer(65536);
    const auto start = Clock::now();
    for (const std::string& batch : batches) {
        SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(batch.c_str())),
                                     static_cast<SQLINTEGER>(batch.size()));
        do {
            SQLSMALLINT columns = 0;
            SQLNumResultCols(stmt, &columns);
            while (columns > 0 && SQL_SUCCEEDED(SQLFetch(stmt))) {
                for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
                    SQLLEN indicator = 0;
                    SQLGetData(stmt, c, SQL_C_CHAR, buffer.data(), static_cast<SQLLEN>(buffer.size()),
                               &indicator);
                }
            }
            rc = SQLMoreResults(stmt);
        } while (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO);
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    const double seconds = secondsSince(start);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return seconds;
}

double replayOnStore(db::Connection& store, const std::vector<std::string>& statements) {
    const auto start = Clock::now();
    db::Transaction transaction(store);
    for (const std::string& sql : statements) store.execute(sql);
    transaction.commit();
    return secondsSince(start);
}

}  // namespace benchsupport
