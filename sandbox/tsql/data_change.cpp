#include "tsql/data_change.h"

#include <algorithm>

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "tsql/constraint_checks.h"
#include "tsql/dml_support.h"
#include "tsql/referential_actions.h"
#include "tsql/transaction.h"
#include "tsql/trigger_runner.h"

namespace sandbox::tsql {
namespace {

bool firesOn(const TriggerRule& t, TriggerEvent event) {
    switch (event) {
        case TriggerEvent::Insert:
            return t.onInsert;
        case TriggerEvent::Update:
            return t.onUpdate;
        case TriggerEvent::Delete:
            return t.onDelete;
    }
    return false;
}

const char* statementName(TriggerEvent event) {
    switch (event) {
        case TriggerEvent::Insert:
            return "INSERT";
        case TriggerEvent::Update:
            return "UPDATE";
        case TriggerEvent::Delete:
            return "DELETE";
    }
    return "";
}

}  // namespace

bool needsOldRows(const TableInfo& table, TriggerEvent event) {
    if (event == TriggerEvent::Insert) return false;
    if (!table.referencedBy.empty()) return true;
    for (const auto& t : table.triggers)
        if (!t.disabled && firesOn(t, event)) return true;
    return false;
}

std::vector<TriggerRule> triggersFor(const TableInfo& table, TriggerEvent event) {
    std::vector<TriggerRule> triggers;
    for (const auto& t : table.triggers) {
        if (t.disabled || !firesOn(t, event)) continue;
        if (t.insteadOf)
            throw ServerError(
                err::kUnsupported, 16,
                "The sandbox server does not run INSTEAD OF triggers ('" + t.name + "').");
        triggers.push_back(t);
    }
    // sp_settriggerorder's first and last; the others in the order they were created.
    const char* name = statementName(event);
    std::stable_sort(triggers.begin(), triggers.end(), [&](const TriggerRule& a, const TriggerRule& b) {
        return a.placeFor(name) < b.placeFor(name);
    });
    return triggers;
}

std::vector<std::vector<StoredValue>> readRows(ExecContext& context, const TableInfo& table,
                                               const std::vector<std::int64_t>& rowids) {
    std::vector<std::vector<StoredValue>> rows;
    if (rowids.empty()) return rows;
    std::int64_t single = 0;
    const std::string filter = rowidFilter(context.db(), rowids, single);
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        sql += (i ? ", " : "") + sqlite::quoteIdentifier(table.columns[i].name);
    sql += " FROM " + sqlite::quoteIdentifier(table.name) + " WHERE " + filter + " ORDER BY rowid";
    StatementLease stmt(context.prepare(sql));
    if (rowids.size() == 1) sqlite3_bind_int64(stmt.get(), 1, single);
    while (context.step(stmt.get())) {
        std::vector<StoredValue> row;
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            row.push_back(fromSqlite(sqlite3_column_value(stmt.get(), static_cast<int>(i))));
        rows.push_back(std::move(row));
    }
    return rows;
}

ChangedRows runDataChange(ExecContext& context, const TableInfo& table, TriggerEvent event,
                          const std::function<ChangedRows()>& change) {
    const std::vector<TriggerRule> triggers = triggersFor(table, event);
    SessionState& session = context.session();
    Database& db = context.db();
    // SQL Server holds a transaction around every statement; a trigger's ROLLBACK ends it.
    // (A cascade may fire the triggers of the tables it reaches.)
    const bool implicit = (!triggers.empty() || hasCascades(table, event)) && session.transaction.count == 0;
    if (implicit) {
        session.transaction.count = 1;
        session.transaction.implicit = true;
        enlistInTransaction(session, db);
    }
    auto endImplicit = [&](bool keep) {
        if (!implicit || !session.transaction.implicit || session.transaction.count == 0) return;
        if (keep)
            commitTransaction(context.databases(), session);
        else
            rollBackTransaction(context.databases(), session);
    };
    ChangedRows changed;
    std::vector<CascadedChange> cascaded;
    const char* statement = statementName(event);
    try {
        atomically(db.handle(), [&] {
            changed = change();
            const std::vector<int>* setColids =
                event == TriggerEvent::Update ? &changed.setColids : nullptr;
            if (event != TriggerEvent::Delete)
                checkWrittenRows(context, table, changed.rowids, statement, setColids);
            if (event != TriggerEvent::Insert) {
                // Cascades first: the keys they carry away no longer stop the statement.
                cascadeReferences(context, table, event, changed, statement, cascaded);
                checkRemovedKeys(context, table, changed.oldRows, statement, setColids);
            }
        });
    } catch (...) {
        endImplicit(false);
        throw;
    }
    try {
        if (!triggers.empty()) fireTriggers(context, table, event, triggers, changed);
        for (const auto& c : cascaded) {
            const std::vector<TriggerRule> fired = triggersFor(*c.table, c.event);
            if (!fired.empty()) fireTriggers(context, *c.table, c.event, fired, c.changed);
        }
    } catch (...) {
        endImplicit(false);
        throw;
    }
    endImplicit(true);
    return changed;
}

}  // namespace sandbox::tsql
