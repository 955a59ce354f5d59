#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "api/engine.h"
#include "catalog/sqlite_util.h"
#include "tsql/database.h"
#include "tsql/session_state.h"
#include "tsql/translator.h"
#include "tsql/variables.h"

namespace sandbox::tsql {

// The server-wide services a statement may need beyond its current database.
class DatabaseDirectory {
public:
    virtual ~DatabaseDirectory() = default;
    // The open database of that name (case-insensitive), or null when none exists.
    virtual Database* find(const std::string& name) = 0;
    // Creates a new database with that default collation (empty: the server's); throws
    // ServerError 1801 when it exists.
    virtual Database& create(const std::string& name, const std::string& collation = {}) = 0;
    // Every database's name and default collation, in name order.
    virtual std::vector<std::pair<std::string, std::string>> collations() = 0;
    // The folder holding the database files (backups relative to the server land below it).
    virtual std::filesystem::path dataFolder() const = 0;
    // True when the server shows and accepts Windows-style file paths (C:\MSSQL\Data\...).
    virtual bool windowsPaths() const = 0;
};

// Everything a statement executes against: the session, its current database, the server's
// databases, and the response being built.
class ExecContext {
public:
    ExecContext(DatabaseDirectory& databases, SessionState& session, Response& response)
        : m_databases(databases), m_session(session), m_response(response) {}
    ~ExecContext();
    ExecContext(const ExecContext&) = delete;
    ExecContext& operator=(const ExecContext&) = delete;

    SessionState& session() { return m_session; }
    // The variables of the running batch (or trigger); null outside a batch.
    VariableScope* variables() { return m_variables; }
    // Makes `scope` the running one and returns the one it replaces.
    VariableScope* swapVariables(VariableScope* scope) {
        std::swap(scope, m_variables);
        return scope;
    }
    // The running trigger's tables and name (null and empty outside a trigger).
    const TriggerTables* trigger() const { return m_trigger; }
    const std::string& moduleName() const { return m_moduleName; }
    int nestLevel() const { return m_nestLevel; }
    // Enters a trigger (or leaves it, with the saved values): its tables, its name for
    // the messages raised inside it, and one more nesting level.
    struct ModuleFrame {
        const TriggerTables* trigger;
        std::string name;
        int nestLevel;
    };
    ModuleFrame enterModule(const TriggerTables* trigger, std::string name, int id) {
        ModuleFrame saved{m_trigger, std::move(m_moduleName), m_nestLevel};
        m_trigger = trigger;
        m_moduleName = std::move(name);
        ++m_nestLevel;
        m_runningModules.push_back(id);
        return saved;
    }
    void leaveModule(ModuleFrame saved) {
        m_trigger = saved.trigger;
        m_moduleName = std::move(saved.name);
        m_nestLevel = saved.nestLevel;
        m_runningModules.pop_back();
    }
    // True while the module (a trigger) of that id runs, at any level.
    bool isRunning(int id) const {
        for (int running : m_runningModules)
            if (running == id) return true;
        return false;
    }
    // What a ROLLBACK TRANSACTION inside a trigger must restore afterwards (the trigger's
    // inserted and deleted tables, which the rollback took with it); set by the running
    // trigger, called by ROLLBACK.
    void setRollbackHook(std::function<void()> hook) { m_rollbackHook = std::move(hook); }
    const std::function<void()>& rollbackHook() const { return m_rollbackHook; }
    void rolledBack() {
        if (m_rollbackHook) m_rollbackHook();
    }
    // The running procedure's return status, set by RETURN n (0 until then).
    void setReturnStatus(int status) { m_returnStatus = status; }
    int returnStatus() const { return m_returnStatus; }
    DatabaseDirectory& databases() { return m_databases; }
    Response& response() { return m_response; }
    // The session's current database.
    Database& db();

    // The values a translation needs from the session.
    TranslationContext translation();

    // Ends a statement: a Done, counted unless NOCOUNT is on (or the statement is not
    // one whose count a client sees).
    void done(bool counted, std::int64_t rowCount = 0);
    void info(std::int32_t number, const std::string& text, std::uint8_t state = 1);

    // Turns a SQLite failure into the SQL Server error a client expects:
    // "no such table: tbX" -> 208 "Invalid object name 'tbX'." (as written in the query),
    // "no such column: a.b" -> 207 "Invalid column name 'b'.".
    [[noreturn]] void raise(const sqlite::Failure& failure, const Translator* translator = nullptr);

    // Prepares (through the database's statement cache), raising failures as above. A
    // statement longer than kLongStatementBytes holds literals that will hardly come again:
    // it stays out of the cache and is finalized when this context (the batch) ends.
    sqlite3_stmt* prepare(const std::string& sql, const Translator* translator = nullptr);
    static constexpr std::size_t kLongStatementBytes = 64 * 1024;

    // Steps a statement, raising failures as above. True while rows come.
    bool step(sqlite3_stmt* stmt, const Translator* translator = nullptr);

private:
    DatabaseDirectory& m_databases;
    SessionState& m_session;
    Response& m_response;
    std::vector<sqlite3_stmt*> m_longStatements;  // prepared outside the cache
    VariableScope* m_variables = nullptr;
    const TriggerTables* m_trigger = nullptr;
    std::string m_moduleName;
    int m_nestLevel = 0;
    std::vector<int> m_runningModules;
    std::function<void()> m_rollbackHook;
    int m_returnStatus = 0;
};

// Resets a cached statement when the scope ends, so it holds no read lock.
class StatementLease {
public:
    explicit StatementLease(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~StatementLease() { sqlite3_reset(m_stmt); }
    StatementLease(const StatementLease&) = delete;
    StatementLease& operator=(const StatementLease&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt;
};

// Binds the constants a translation collected to the statement's parameters ?1, ?2, ...;
// the values are not copied: they must outlive the statement's use.
void bindConstants(sqlite3_stmt* stmt, const std::vector<Constant>& constants);

// One column of a query's result: its name and SQL Server type, from the catalog when it
// is a table's column as it stands (with the table and the column's colid), otherwise
// inferred from the expression and the data.
struct ResultColumn {
    std::string name;
    ColumnType type;
    bool nullable = true;
    bool identity = false;
    std::string collation;  // character types
    std::shared_ptr<const TableInfo> sourceTable;  // null for an expression
    int sourceColid = 0;
};

// A query's result before it reaches the wire: its columns and rows in storage form.
struct StoredRowSet {
    std::vector<ResultColumn> columns;
    std::vector<std::vector<StoredValue>> rows;
};

// Runs a query and types its result columns: from the catalog, or inferred from the
// expression (itemTypes: the types the translator inferred per select-list item, used
// when the query has no '*') and the data. Honours SET ROWCOUNT and FMTONLY.
StoredRowSet readStoredRows(ExecContext& context, sqlite3_stmt* stmt, const Translator& translator,
                            const std::vector<std::optional<ColumnType>>& itemTypes, bool itemsAlign);

// Runs a query and builds the row set a client sees (readStoredRows, then the rows
// converted to wire values). Honours SET ROWCOUNT, FMTONLY and TEXTSIZE.
RowSet readRowSet(ExecContext& context, sqlite3_stmt* stmt, const Translator& translator,
                  const std::vector<std::optional<ColumnType>>& itemTypes, bool itemsAlign);

}  // namespace sandbox::tsql
