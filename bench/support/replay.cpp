#include "replay.h"

#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "phase_figures.h"
#include "store/definitions_store.h"

namespace benchsupport {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// "a\\nb" -> "a\nb": the trace escapes backslash, line feed, carriage return and tab.
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

}  // namespace

Measurement bestOfThree(const char* name, const std::function<Measurement(int)>& round) {
    Measurement best;
    for (int r = 0; r < 3; ++r) keepBest(best, round(r), name, r);
    return best;
}

int NullHost::messageBox(const std::string& text, int flags, const std::optional<std::string>&) {
    ++messages;
    lastText = text;
    if ((flags & 7) != app::mb::kYesNo) return app::mb::kAnswerOk;
    return (flags & app::mb::kDefaultButton2) ? app::mb::kAnswerNo : app::mb::kAnswerYes;
}

RecordingConnection::RecordingConnection(db::Connection& inner, const std::filesystem::path& spillFile)
    : m_inner(inner), m_spill(std::make_unique<std::ofstream>(spillFile, std::ios::binary)) {}

// Spilled as "E|Q <length>\n<sql>\n" or "L <bytes> <four lengths>\n<four texts>\n".
void RecordingConnection::record(SentStatement statement) {
    ++count;
    if (!m_spill) {
        sent.push_back(std::move(statement));
        return;
    }
    std::ofstream& out = *m_spill;
    if (const auto& v = statement.longValue) {
        out << "L " << v->bytes << ' ' << v->table.size() << ' ' << v->keyColumn.size() << ' '
            << v->keyLiteral.size() << ' ' << v->field.size() << '\n'
            << v->table << v->keyColumn << v->keyLiteral << v->field << '\n';
    } else {
        out << (statement.query ? 'Q' : 'E') << ' ' << statement.sql.size() << '\n' << statement.sql << '\n';
    }
}

long RecordingConnection::execute(std::string_view sql) {
    record({std::string(sql), false, std::nullopt});
    return m_inner.execute(sql);
}

db::Recordset RecordingConnection::open(std::string_view sql, db::CursorType cursor, db::LockType lock) {
    record({std::string(sql), true, std::nullopt});
    return m_inner.open(sql, cursor, lock);
}

void RecordingConnection::writeLongValue(std::string_view table, std::string_view keyColumn,
                                         std::string_view keyLiteral, std::string_view field,
                                         const db::Value& value) {
    const std::size_t bytes = value.kind() == db::Value::Kind::Bytes ? value.asBytes().size()
                                                                      : value.toText().size();
    record({{}, false,
            LongValueWrite{std::string(table), std::string(keyColumn), std::string(keyLiteral),
                           std::string(field), bytes}});
    m_inner.writeLongValue(table, keyColumn, keyLiteral, field, value);
}

std::vector<SentStatement> readSpilled(const std::filesystem::path& spillFile) {
    std::ifstream in(spillFile, std::ios::binary);
    std::vector<SentStatement> statements;
    auto take = [&](std::size_t length) {
        std::string text(length, '\0');
        in.read(text.data(), static_cast<std::streamsize>(length));
        return text;
    };
    for (char kind; in >> kind;) {
        if (kind == 'L') {
            LongValueWrite v;
            std::size_t lengths[4];
            in >> v.bytes >> lengths[0] >> lengths[1] >> lengths[2] >> lengths[3];
            in.get();
            v.table = take(lengths[0]);
            v.keyColumn = take(lengths[1]);
            v.keyLiteral = take(lengths[2]);
            v.field = take(lengths[3]);
            statements.push_back({{}, false, std::move(v)});
        } else {
            std::size_t length = 0;
            in >> length;
            in.get();
            statements.push_back({take(length), kind == 'Q', std::nullopt});
        }
        in.get();
    }
    return statements;
}

std::vector<std::string> readTrace(const std::filesystem::path& file, std::uintmax_t byteOffset) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(byteOffset));
    std::vector<std::string> batches;
    std::string connection;
    for (std::string line; std::getline(in, line);) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        if (connection.empty()) connection = line.substr(0, tab);
        if (line.compare(0, tab, connection) != 0) continue;
        batches.push_back(unescape(std::string_view(line).substr(tab + 1)));
    }
    return batches;
}

BareOdbc::BareOdbc(const std::string& connectionString) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
    SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
    std::string text = connectionString;
    const SQLRETURN rc = SQLDriverConnect(m_dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS,
                                          nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) throw std::runtime_error("bare ODBC connection failed");
    SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &m_stmt);
}

BareOdbc::~BareOdbc() {
    SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
    SQLDisconnect(m_dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, m_env);
}

void BareOdbc::run(const std::string& batch) {
    std::string text = batch;
    SQLRETURN rc = SQLExecDirect(m_stmt, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
    while (rc != SQL_NO_DATA && rc != SQL_INVALID_HANDLE) {
        SQLSMALLINT columns = 0;
        SQLNumResultCols(m_stmt, &columns);
        while (columns > 0 && SQL_SUCCEEDED(SQLFetch(m_stmt))) {
            for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
                SQLLEN indicator = 0;
                SQLGetData(m_stmt, c, SQL_C_CHAR, m_buffer.data(), static_cast<SQLLEN>(m_buffer.size()), &indicator);
            }
        }
        rc = SQLMoreResults(m_stmt);
    }
    SQLFreeStmt(m_stmt, SQL_CLOSE);
}

double replayOverOdbc(const std::string& connectionString, const std::vector<std::string>& batches) {
    BareOdbc bare(connectionString);
    const auto start = Clock::now();
    for (const std::string& batch : batches) bare.run(batch);
    return secondsSince(start);
}

double replayOnStore(db::Connection& store, const std::vector<SentStatement>& sent, bool inTransaction) {
    const auto start = Clock::now();
    std::optional<db::Transaction> transaction;
    if (inTransaction) transaction.emplace(store);
    for (const SentStatement& statement : sent) {
        if (const auto& v = statement.longValue) {
            store.writeLongValue(v->table, v->keyColumn, v->keyLiteral, v->field,
                                 db::Value::bytes(db::Bytes(v->bytes, 0)));
        } else if (statement.query) {
            store.open(statement.sql, db::CursorType::Static, db::LockType::ReadOnly).close();
        } else {
            store.execute(statement.sql);
        }
    }
    if (transaction) transaction->commit();
    return secondsSince(start);
}

double replayWholeRun(const std::string& connectionString, const std::vector<std::string>& batches,
                      const std::filesystem::path& storePath, const std::vector<SentStatement>& sent,
                      bool inTransaction) {
    const auto start = Clock::now();
    replayOverOdbc(connectionString, batches);  // its own figure leaves out the login
    {
        auto store = store::openStore(storePath);
        replayOnStore(*store, sent, inTransaction);
    }
    return secondsSince(start);
}

}  // namespace benchsupport
