#include "db/sqlite/sqlite_connection.h"

#include <climits>
#include <cstdio>

#include "db/error.h"
#include "db/sqlite/column_types.h"
#include "db/sqlite/sqlite_error.h"

namespace db::sqlite {
namespace {

constexpr int kDefaultTimeoutMs = 30000;  // ADO's default command time-out
constexpr std::size_t kMaxShapes = 64;    // prepared INSERT shapes kept at once

// A "file:" URI for `path`, every byte outside the unreserved set percent-encoded, so
// that '?', '#', '%' and blanks in folder names reach the file system unchanged.
// Example: /data/my store?/SQL.mdb -> file:///data/my%20store%3F/SQL.mdb
std::string fileUri(const std::filesystem::path& path) {
    const std::string absolute = std::filesystem::absolute(path).lexically_normal().string();
    std::string uri = "file://";
    for (unsigned char c : absolute) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '/' || c == '.' || c == '_' || c == '-' ||
                           c == '~';
        if (plain) {
            uri += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            uri += escaped;
        }
    }
    return uri;
}

// Jet's CHR(code): the character of a Windows-1252 code, in UTF-8.
void chrFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_error(context, "Invalid use of Null in CHR", -1);
        return;
    }
    const sqlite3_int64 code = sqlite3_value_int64(argv[0]);
    const auto text = jetChr(code);
    if (!text) {
        const std::string message =
            "Invalid procedure call or argument: CHR(" + std::to_string(code) + ")";
        sqlite3_result_error(context, message.c_str(), -1);
        return;
    }
    sqlite3_result_text(context, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
}

// The statement's first word in capitals: "  insert into ..." -> "INSERT".
std::string firstKeyword(const char* sql) {
    std::string word;
    if (!sql) return word;
    const char* p = sql;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '(') ++p;
    while ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z')) {
        word += static_cast<char>(*p >= 'a' ? *p - 'a' + 'A' : *p);
        ++p;
    }
    return word;
}

// True when only blanks, semicolons and comments are left.
bool isBlankTail(std::string_view rest) {
    std::size_t i = 0;
    while (i < rest.size()) {
        const char c = rest[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';') {
            ++i;
        } else if (rest.substr(i, 2) == "--") {
            const std::size_t nl = rest.find('\n', i);
            i = nl == std::string_view::npos ? rest.size() : nl;
        } else if (rest.substr(i, 2) == "/*") {
            const std::size_t close = rest.find("*/", i + 2);
            i = close == std::string_view::npos ? rest.size() : close + 2;
        } else {
            return false;
        }
    }
    return true;
}

// "[tbX]" -> "\"tbX\"", a"b -> "a""b".
std::string quoteName(std::string_view name) {
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    out += '"';
    return out;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

const char* const kTransactionLost =
    "The transaction was rolled back after an earlier error; nothing was committed.";

Error secondStatementError() {
    return Error(errc::kServerError, "Characters found after end of SQL statement.");
}

// The rows of a forward-only record set, stepped from the statement as it moves. Keeps
// the database handle alive while it reads; releases the statement at the end.
class StatementRows final : public RowSource {
public:
    StatementRows(DatabaseHandle db, StatementHandle statement, std::vector<Column> columns,
                  std::optional<std::vector<Value>> firstRow, std::string sql)
        : m_db(std::move(db)),
          m_statement(std::move(statement)),
          m_columns(std::move(columns)),
          m_pending(std::move(firstRow)),
          m_sql(std::move(sql)) {
        if (!m_pending) m_statement.reset();
    }

    bool next(std::vector<Value>& row) override {
        if (m_pending) {
            row = std::move(*m_pending);
            m_pending.reset();
            return true;
        }
        if (!m_statement) return false;
        const int rc = sqlite3_step(m_statement.get());
        if (rc == SQLITE_ROW) {
            readRow(m_statement.get(), m_columns, row);
            return true;
        }
        if (rc != SQLITE_DONE) {
            Error error = sqliteError(m_db.get(), rc, m_sql);
            m_statement.reset();
            throw error;
        }
        m_statement.reset();
        return false;
    }

private:
    DatabaseHandle m_db;
    StatementHandle m_statement;
    std::vector<Column> m_columns;
    std::optional<std::vector<Value>> m_pending;
    std::string m_sql;
};

}  // namespace

SqliteConnection::SqliteConnection(const std::filesystem::path& path, OpenMode mode)
    : m_path(path), m_rewriter([this](std::string_view name) { return isTextColumn(name); }) {
    std::string target;
    int flags = SQLITE_OPEN_NOMUTEX;
    if (path == ":memory:") {
        target = ":memory:";
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    } else {
        flags |= SQLITE_OPEN_URI;
        target = fileUri(path);
        switch (mode) {
            case OpenMode::ReadWrite:
                flags |= SQLITE_OPEN_READWRITE;
                break;
            case OpenMode::Create:
                flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
                break;
            case OpenMode::ReadOnly: {
                // A read-only open of a WAL database would leave new -wal and -shm files
                // beside it; without a -wal file there is nothing to replay, so the file
                // is read as immutable and nothing at all is written.
                std::error_code ec;
                const bool hasWal = std::filesystem::exists(path.string() + "-wal", ec);
                target += hasWal ? "?mode=ro" : "?immutable=1";
                flags |= SQLITE_OPEN_READONLY;
                break;
            }
        }
    }
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(target.c_str(), &raw, flags, nullptr);
    DatabaseHandle db = adoptDatabase(raw);
    if (rc != SQLITE_OK) {
        const std::string reason = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
        throw Error(errc::kStoreError, "Could not open '" + path.string() + "': " + reason + ".",
                    {DiagnosticRecord{"HY000", rc, 0, reason}});
    }
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kDefaultTimeoutMs);
    for (const char* name : {"CHR", "CHR$"}) {
        sqlite3_create_function_v2(raw, name, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   chrFunction, nullptr, nullptr, nullptr);
    }
    m_db = std::move(db);
}

SqliteConnection::~SqliteConnection() {
    if (!m_db) return;
    try {
        close();
    } catch (...) {  // NOLINT(bugprone-empty-catch): a destructor must not throw
    }
}

sqlite3* SqliteConnection::requireOpen() const {
    if (!m_db) throw objectClosedError();
    return m_db.get();
}

sqlite3* SqliteConnection::requireUsable() const {
    sqlite3* db = requireOpen();
    if (transactionLost()) throw storeError(kTransactionLost);
    return db;
}

bool SqliteConnection::isOpen() const { return m_db != nullptr; }

bool SqliteConnection::transactionLost() const {
    return m_inTransaction && m_db && sqlite3_get_autocommit(m_db.get());
}

std::string SqliteConnection::toSqlite(std::string_view jetSql) const {
    return m_rewriter.rewrite(jetSql);
}

StatementHandle SqliteConnection::prepare(std::string_view sqliteSql, std::string_view original,
                                          const char** tail) const {
    sqlite3* db = requireOpen();
    sqlite3_stmt* raw = nullptr;
    const int rc =
        sqlite3_prepare_v2(db, sqliteSql.data(), static_cast<int>(sqliteSql.size()), &raw, tail);
    StatementHandle statement(raw);
    if (rc != SQLITE_OK) throw sqliteError(db, rc, original);
    return statement;
}

Error SqliteConnection::withTransactionNote(Error error) {
    if (m_inTransaction && m_db && sqlite3_get_autocommit(m_db.get())) {
        return Error(error.number(), error.description() + " The open transaction was rolled back.",
                     error.records());
    }
    return error;
}

void SqliteConnection::step(sqlite3_stmt* statement, std::string_view original) {
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) throw withTransactionNote(sqliteError(m_db.get(), rc, original));
}

sqlite3_stmt* SqliteConnection::shapedStatement(const std::string& shape,
                                                std::string_view original) {
    if (auto found = m_shapes.find(shape); found != m_shapes.end()) return found->second.get();
    if (m_shapes.size() >= kMaxShapes) m_shapes.clear();
    sqlite3* db = requireOpen();
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v3(db, shape.data(), static_cast<int>(shape.size()),
                                      SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    StatementHandle statement(raw);
    if (rc != SQLITE_OK) throw sqliteError(db, rc, original);
    return m_shapes.emplace(shape, std::move(statement)).first->second.get();
}

long SqliteConnection::executeShaped(const ParameterizedSql& shaped, std::string_view original) {
    sqlite3* db = requireOpen();
    sqlite3_stmt* statement = shapedStatement(shaped.shape, original);
    // Leaves the kept statement ready for its next use, whatever happens here.
    struct Reset {
        sqlite3_stmt* statement;
        ~Reset() {
            sqlite3_reset(statement);
            sqlite3_clear_bindings(statement);
        }
    } reset{statement};
    int index = 0;
    for (const BoundValue& value : shaped.parameters) {
        ++index;
        int rc = SQLITE_OK;
        switch (value.kind) {
            case BoundValue::Kind::Text:
                rc = sqlite3_bind_text64(statement, index, value.text.data(), value.text.size(),
                                         SQLITE_STATIC, SQLITE_UTF8);
                break;
            case BoundValue::Kind::Integer:
                rc = sqlite3_bind_int64(statement, index, value.integer);
                break;
            case BoundValue::Kind::Real:
                rc = sqlite3_bind_double(statement, index, value.real);
                break;
        }
        if (rc != SQLITE_OK) throw sqliteError(db, rc, original);
    }
    step(statement, original);
    return static_cast<long>(sqlite3_changes64(db));
}

long SqliteConnection::execute(std::string_view sql) {
    sqlite3* db = requireUsable();
    if (auto shaped = m_rewriter.parameterizeInsert(sql)) return executeShaped(*shaped, sql);
    const std::string text = m_rewriter.rewrite(sql);
    long rows = -1;
    const char* tail = text.data();
    const char* const end = text.data() + text.size();
    while (tail < end) {
        const char* next = nullptr;
        StatementHandle statement =
            prepare(std::string_view(tail, static_cast<std::size_t>(end - tail)), sql, &next);
        tail = next;
        if (!statement) continue;  // only blanks or comments were left
        step(statement.get(), sql);
        const std::string keyword = firstKeyword(sqlite3_sql(statement.get()));
        if (keyword == "INSERT" || keyword == "UPDATE" || keyword == "DELETE" ||
            keyword == "REPLACE") {
            rows = static_cast<long>(sqlite3_changes64(db));
        } else if (keyword == "CREATE" || keyword == "ALTER" || keyword == "DROP") {
            m_textColumns.reset();
            m_shapes.clear();
        }
    }
    return rows;
}

Recordset SqliteConnection::open(std::string_view sql, CursorType cursor, LockType) {
    requireUsable();
    const std::string text = m_rewriter.rewrite(sql);
    const char* next = nullptr;
    StatementHandle statement = prepare(text, sql, &next);
    if (!statement) throw Error(errc::kServerError, "The SQL statement is empty.");
    if (!isBlankTail(
            std::string_view(next, static_cast<std::size_t>(text.data() + text.size() - next)))) {
        throw secondStatementError();
    }
    const int count = sqlite3_column_count(statement.get());
    if (count == 0) {
        step(statement.get(), sql);
        return Recordset();
    }
    std::vector<Column> columns;
    columns.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) columns.push_back(describeColumn(statement.get(), i));

    std::vector<std::vector<Value>> rows;
    int rc;
    const bool streaming = cursor == CursorType::ForwardOnly;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        readRow(statement.get(), columns, rows.emplace_back());
        if (streaming) break;
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw withTransactionNote(sqliteError(m_db.get(), rc, sql));
    typeFromValues(columns, rows);
    if (!streaming) return Recordset(std::move(columns), std::move(rows));

    std::optional<std::vector<Value>> first;
    if (!rows.empty()) first = std::move(rows.front());
    auto source = std::make_unique<StatementRows>(m_db, std::move(statement), columns,
                                                  std::move(first), std::string(sql));
    return Recordset(std::move(columns), std::move(source));
}

void SqliteConnection::close() {
    sqlite3* db = requireOpen();
    if (m_inTransaction && !sqlite3_get_autocommit(db)) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    m_inTransaction = false;
    // Folds the write-ahead log into the file and empties it; a no-op for a database not
    // in WAL mode. A reader elsewhere may keep part of it: the last connection to close
    // checkpoints again and removes the log.
    m_shapes.clear();
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    m_db.reset();
    m_textColumns.reset();
}

void SqliteConnection::setCommandTimeout(int seconds) {
    sqlite3* db = requireOpen();
    sqlite3_busy_timeout(
        db, seconds <= 0 ? INT_MAX : (seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000));
}

void SqliteConnection::writeLongValue(std::string_view table, std::string_view keyColumn,
                                      std::string_view keyLiteral, std::string_view field,
                                      const Value& value) {
    sqlite3* db = requireUsable();
    const std::string sql = "UPDATE " + quoteName(table) + " SET " + quoteName(field) +
                            " = ?1 WHERE " + quoteName(keyColumn) + " = " +
                            m_rewriter.rewrite(keyLiteral);
    const char* next = nullptr;
    StatementHandle statement = prepare(sql, sql, &next);
    if (!statement || !isBlankTail(std::string_view(
                          next, static_cast<std::size_t>(sql.data() + sql.size() - next)))) {
        throw secondStatementError();
    }
    sqlite3_stmt* st = statement.get();
    int rc = SQLITE_OK;
    std::string text;
    switch (value.kind()) {
        case Value::Kind::Null:
            rc = sqlite3_bind_null(st, 1);
            break;
        case Value::Kind::Integer:
        case Value::Kind::Boolean:
            rc = sqlite3_bind_int64(st, 1, value.asInteger());
            break;
        case Value::Kind::Double:
            rc = sqlite3_bind_double(st, 1, value.asDouble());
            break;
        case Value::Kind::Bytes: {
            const Bytes& bytes = value.asBytes();
            rc = bytes.empty()
                     ? sqlite3_bind_zeroblob(st, 1, 0)
                     : sqlite3_bind_blob64(st, 1, bytes.data(), bytes.size(), SQLITE_STATIC);
            break;
        }
        default:
            text = value.toText();
            rc = sqlite3_bind_text64(st, 1, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
            break;
    }
    if (rc != SQLITE_OK) throw sqliteError(db, rc, sql);
    step(st, sql);
}

void SqliteConnection::beginTransaction() {
    requireOpen();
    if (m_inTransaction) throw storeError("A transaction is already open on this connection.");
    // IMMEDIATE takes the write lock now, so that a busy store fails here rather than
    // half-way through the writes.
    StatementHandle statement = prepare("BEGIN IMMEDIATE", "BEGIN IMMEDIATE", nullptr);
    step(statement.get(), "BEGIN IMMEDIATE");
    m_inTransaction = true;
}

void SqliteConnection::commitTransaction() {
    sqlite3* db = requireOpen();
    if (!m_inTransaction) {
        throw storeError(
            "You tried to commit or rollback a transaction without first beginning a transaction.");
    }
    if (sqlite3_get_autocommit(db)) {
        m_inTransaction = false;
        throw storeError(kTransactionLost);
    }
    StatementHandle statement = prepare("COMMIT", "COMMIT", nullptr);
    step(statement.get(), "COMMIT");
    m_inTransaction = false;
}

void SqliteConnection::rollbackTransaction() {
    sqlite3* db = requireOpen();
    if (!m_inTransaction) {
        throw storeError(
            "You tried to commit or rollback a transaction without first beginning a transaction.");
    }
    m_inTransaction = false;
    if (sqlite3_get_autocommit(db)) return;  // SQLite already rolled it back
    StatementHandle statement = prepare("ROLLBACK", "ROLLBACK", nullptr);
    step(statement.get(), "ROLLBACK");
}

void SqliteConnection::attachReadOnly(const std::filesystem::path& path, std::string_view schema) {
    sqlite3* db = requireUsable();
    std::string uri = fileUri(path) + "?mode=ro";
    std::string quotedSchema = "\"";
    for (const char c : schema) quotedSchema += c == '"' ? std::string("\"\"") : std::string(1, c);
    quotedSchema += '"';
    std::string quotedUri = "'";
    for (const char c : uri) quotedUri += c == '\'' ? std::string("''") : std::string(1, c);
    quotedUri += '\'';
    const std::string sql = "ATTACH DATABASE " + quotedUri + " AS " + quotedSchema;
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string reason = message ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    if (rc != SQLITE_OK) {
        throw Error(errc::kStoreError, "Could not open '" + path.string() + "': " + reason + ".",
                    {DiagnosticRecord{"HY000", rc, 0, reason}});
    }
    m_textColumns.reset();
}

bool SqliteConnection::isTextColumn(std::string_view name) const {
    if (!m_textColumns) {
        m_textColumns.emplace();
        if (!m_db) return false;
        // Every database of the connection counts: attached ones hold tables too.
        static constexpr const char* kQuery =
            "SELECT p.name, upper(p.type) FROM pragma_database_list AS d "
            "JOIN pragma_table_list AS m ON m.schema = d.name "
            "JOIN pragma_table_info(m.name, d.name) AS p WHERE m.type = 'table'";
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(m_db.get(), kQuery, -1, &raw, nullptr) == SQLITE_OK) {
            StatementHandle statement(raw);
            while (sqlite3_step(raw) == SQLITE_ROW) {
                const auto* column = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
                const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(raw, 1));
                const std::string_view t = type ? type : "";
                // SQLite's own rule for text affinity.
                const bool text = t.find("CHAR") != std::string_view::npos ||
                                  t.find("CLOB") != std::string_view::npos ||
                                  t.find("TEXT") != std::string_view::npos;
                if (text && column) m_textColumns->insert(lowerAscii(column));
            }
        } else {
            StatementHandle statement(raw);
        }
    }
    return m_textColumns->count(lowerAscii(name)) > 0;
}

}  // namespace db::sqlite
