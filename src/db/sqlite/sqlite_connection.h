#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "db/connection.h"
#include "db/error.h"
#include "db/sqlite/jet_sql.h"
#include "db/sqlite/sqlite_handles.h"

namespace db::sqlite {

// How a database file is opened.
enum class OpenMode {
    ReadWrite,  // an existing file, read and written; never created
    ReadOnly,   // an existing file, only read and nothing written beside it (no -wal/-shm
                // files appear unless a crashed writer left them)
    Create,     // read and written, created when missing (":memory:" for a private one)
};

// A connection to one SQLite database that speaks the Jet SQL the system sends to its
// definitions store: every SQL text goes through JetSqlRewriter (`+` concatenation,
// CHR(), True/False, "text"), and CHR/CHR$ are also registered as functions. Record sets
// report Jet's ADO type codes (see column_types.h); Booleans are stored as -1/0 and read
// back as Booleans.
//
// One connection belongs to one operation and one thread. Every failure throws
// db::Error (numbers in sqlite_error.h). Closing rolls back an open transaction and
// checkpoints the write-ahead log into the database file and truncates it, so that the
// file is complete on its own once the last connection has closed.
class SqliteConnection final : public Connection {
public:
    // Opens `path` as `mode` says; throws db::Error naming the path when it cannot.
    SqliteConnection(const std::filesystem::path& path, OpenMode mode);
    ~SqliteConnection() override;
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // Runs every statement of the batch; the rows changed by the last INSERT, UPDATE or
    // DELETE, or -1 when there was none. An INSERT ... VALUES runs as a prepared statement
    // kept for its shape, its literals bound: the capture's thousands of inserts then
    // parse once per shape instead of once per row.
    long execute(std::string_view sql) override;

    // Opens the one statement's result. Static cursors hold every row; forward-only ones
    // step the statement as the record set moves. A statement without result columns is
    // run and gives a closed record set. A second statement after the first is refused,
    // as Jet refuses it. The lock type is not used: SQLite locks the whole file.
    Recordset open(std::string_view sql, CursorType cursor = CursorType::ForwardOnly,
                   LockType lock = LockType::ReadOnly) override;

    void close() override;
    bool isOpen() const override;

    // How long a statement waits for another connection's lock; 0 waits indefinitely.
    void setCommandTimeout(int seconds) override;

    // UPDATE <table> SET <field> = <value as a bound parameter> WHERE <keyColumn> = <key
    // literal>: writes a value of any size in one statement. No matching row changes
    // nothing. Example: ("tbDados_Gigantic", "ID", "7", "target_image", 20000 bytes).
    void writeLongValue(std::string_view table, std::string_view keyColumn,
                        std::string_view keyLiteral, std::string_view field,
                        const Value& value) override;

    // A failing statement inside the transaction undoes only itself; when SQLite had to
    // roll the whole transaction back (disk full, I/O error) the statement's error says
    // so, every later statement is refused until rollback (nothing is written outside the
    // transaction), and commit refuses with an error instead of pretending success.
    bool transactionLost() const override;
    void beginTransaction() override;
    void commitTransaction() override;
    void rollbackTransaction() override;
    bool inTransaction() const { return m_inTransaction; }

    // Makes the database at `path` readable on this connection under `schema`, read-only
    // and with SQLite's ordinary locking (so that a writer elsewhere is seen safely). A
    // table name without a schema is looked up here first and in `schema` after, so a
    // table of this database hides the attached one of the same name. Throws db::Error
    // naming the path when it cannot be attached.
    // Example: a private file holding tbLogs, with SQL.mdb attached as "definitions":
    // "INSERT INTO tbLogs ..." writes the private file, "SELECT * FROM tbObjects" reads
    // SQL.mdb.
    void attachReadOnly(const std::filesystem::path& path, std::string_view schema);

    // The Jet SQL text after rewriting into SQLite SQL, as it would be run.
    std::string toSqlite(std::string_view jetSql) const;

    const std::filesystem::path& path() const { return m_path; }

private:
    sqlite3* requireOpen() const;
    sqlite3* requireUsable() const;  // open, and not inside a lost transaction
    StatementHandle prepare(std::string_view sqliteSql, std::string_view original,
                            const char** tail) const;
    void step(sqlite3_stmt* statement, std::string_view original);
    bool isTextColumn(std::string_view name) const;
    Error withTransactionNote(Error error);
    long executeShaped(const ParameterizedSql& shaped, std::string_view original);
    sqlite3_stmt* shapedStatement(const std::string& shape, std::string_view original);

    std::filesystem::path m_path;
    DatabaseHandle m_db;
    bool m_inTransaction = false;
    JetSqlRewriter m_rewriter;
    mutable std::optional<std::unordered_set<std::string>> m_textColumns;  // lower-case names
    std::unordered_map<std::string, StatementHandle> m_shapes;  // prepared INSERTs by shape
};

}  // namespace db::sqlite
