#include "tsql/trigger_runner.h"

#include "catalog/catalog.h"
#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/batch_runner.h"
#include "tsql/column_definition.h"
#include "tsql/parser.h"
#include "tsql/statements.h"
#include "tsql/transaction.h"

namespace sandbox::tsql {
namespace {

using sqlite::quoteIdentifier;

// The inserted and deleted tables of one trigger level, as temporary SQLite tables built
// from the rows in memory (so that they can be built again after a ROLLBACK inside the
// trigger took them away). Dropped when the trigger level ends.
class PseudoTables {
public:
    PseudoTables(Database& db, const TableInfo& table, int level,
                 std::vector<std::vector<StoredValue>> inserted,
                 std::vector<std::vector<StoredValue>> deleted)
        : m_db(db), m_table(table), m_inserted(std::move(inserted)), m_deleted(std::move(deleted)) {
        m_names.inserted = "temp." + quoteIdentifier("~inserted~" + std::to_string(level));
        m_names.deleted = "temp." + quoteIdentifier("~deleted~" + std::to_string(level));
        build();
    }
    ~PseudoTables() {
        const std::string sql = "DROP TABLE IF EXISTS " + m_names.inserted +
                                "; DROP TABLE IF EXISTS " + m_names.deleted;
        sqlite3_exec(m_db.handle(), sql.c_str(), nullptr, nullptr, nullptr);
    }
    PseudoTables(const PseudoTables&) = delete;
    PseudoTables& operator=(const PseudoTables&) = delete;

    TriggerTables& names() { return m_names; }

    // Creates both tables with the table's columns (collations kept, so that comparisons
    // behave as on the table) and fills them.
    void build() {
        std::string columns;
        for (const auto& c : m_table.columns)
            columns +=
                (columns.empty() ? "" : ", ") + sqliteColumnDefinition(c.name, c.type, c.collation);
        fill(m_names.inserted, columns, m_inserted);
        fill(m_names.deleted, columns, m_deleted);
    }

private:
    void fill(const std::string& name, const std::string& columns,
              const std::vector<std::vector<StoredValue>>& rows) {
        sqlite::exec(m_db.handle(), "DROP TABLE IF EXISTS " + name + "; CREATE TABLE " + name +
                                        " (" + columns + ")");
        if (rows.empty()) return;
        std::string sql = "INSERT INTO " + name + " VALUES (";
        for (std::size_t i = 0; i < m_table.columns.size(); ++i) sql += i ? ", ?" : "?";
        sqlite::Statement insert(m_db.handle(), sql + ")");
        for (const auto& row : rows) {
            for (std::size_t i = 0; i < row.size(); ++i)
                bindStored(insert.handle(), static_cast<int>(i + 1), row[i]);
            insert.step();
            insert.reset();
        }
    }

    Database& m_db;
    const TableInfo& m_table;
    std::vector<std::vector<StoredValue>> m_inserted;
    std::vector<std::vector<StoredValue>> m_deleted;
    TriggerTables m_names;
};

// The text of a trigger and whether it was created under QUOTED_IDENTIFIER ON.
std::pair<std::string, bool> triggerSource(Database& db, int id) {
    sqlite::Statement q(
        db.handle(),
        "SELECT c.text, o.status FROM syscomments c JOIN sysobjects o ON o.id = c.id "
        "WHERE c.id = ? ORDER BY c.colid");
    q.bind(1, std::int64_t{id});
    std::string text;
    bool quoted = true;
    while (q.step()) {
        text += q.text(0);
        quoted = (q.integer(1) & kStatusQuotedIdentifier) != 0;
    }
    return {text, quoted};
}

}  // namespace

void fireTriggers(ExecContext& context, const TableInfo& table, TriggerEvent event,
                  const std::vector<TriggerRule>& triggers, const ChangedRows& changed) {
    SessionState& session = context.session();
    if (context.nestLevel() >= kMaxNestLevel)
        throw ServerError(217, 16,
                          "Maximum stored procedure, function, trigger, or view nesting level "
                          "exceeded (limit 32).",
                          1, ErrorScope::Batch);
    Database& db = context.db();
    std::vector<std::vector<StoredValue>> inserted;
    if (event != TriggerEvent::Delete) inserted = readRows(context, table, changed.rowids);
    const std::int64_t rowCount = static_cast<std::int64_t>(
        event == TriggerEvent::Delete ? changed.oldRows.size() : changed.rowids.size());
    PseudoTables tables(db, table, context.nestLevel() + 1, std::move(inserted), changed.oldRows);
    for (const auto& c : table.columns) {
        bool set = event == TriggerEvent::Insert;
        for (int colid : changed.setColids) set = set || colid == c.colid;
        if (set) tables.names().updatedColumns.push_back(lower(c.name));
    }
    for (const auto& trigger : triggers) {
        if (context.isRunning(trigger.id)) continue;
        auto [text, quoted] = triggerSource(db, trigger.id);
        Program body = parseTriggerBody(text, quoted);

        const SessionOptions options = session.options;
        const std::uint64_t rollbacksBefore = session.rollbacks;
        auto hook = context.rollbackHook();
        context.setRollbackHook([&tables] { tables.build(); });
        auto frame = context.enterModule(&tables.names(), trigger.name, trigger.id);
        session.lastRowCount = rowCount;
        bool completed = false;
        try {
            completed = runProgram(context, body);
        } catch (...) {
            context.leaveModule(std::move(frame));
            context.setRollbackHook(std::move(hook));
            session.options = options;
            throw;
        }
        context.leaveModule(std::move(frame));
        context.setRollbackHook(std::move(hook));
        session.options = options;  // SET inside a trigger lasts until its end
        if (session.rollbacks != rollbacksBefore) throw BatchAborted{};
        if (!completed) {
            // An error ended the trigger: its statement and the transaction are undone.
            if (session.transaction.count > 0) rollBackTransaction(context.databases(), session);
            throw BatchAborted{};
        }
    }
}

Program parseTriggerBody(const std::string& text, bool quotedIdentifier) {
    Parser parser(text, quotedIdentifier);
    return parseTriggerDefinition(parser).body;
}

}  // namespace sandbox::tsql
