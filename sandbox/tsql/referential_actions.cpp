#include "tsql/referential_actions.h"

#include <algorithm>
#include <map>

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "tsql/constraint_checks.h"
#include "tsql/dml_support.h"

namespace sandbox::tsql {
namespace {

using sqlite::quoteIdentifier;

bool cascades(const ForeignKeyRule& fk, TriggerEvent event) {
    return fk.enabled && (event == TriggerEvent::Delete ? fk.deleteCascade : fk.updateCascade);
}

std::size_t indexOfColid(const TableInfo& table, int colid) {
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        if (table.columns[i].colid == colid) return i;
    return 0;
}

bool sameValue(const StoredValue& a, const StoredValue& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case StoredValue::Kind::Null: return true;
        case StoredValue::Kind::Integer: return a.integer == b.integer;
        case StoredValue::Kind::Real: return a.real == b.real;
        default: return a.bytes == b.bytes;
    }
}

// The key a row holds in the given columns, or none when one of them is NULL (a NULL key
// references nothing).
std::optional<std::vector<StoredValue>> keyOf(const TableInfo& table, const std::vector<StoredValue>& row,
                                              const std::vector<int>& colids) {
    std::vector<StoredValue> key;
    for (int colid : colids) {
        const StoredValue& v = row[indexOfColid(table, colid)];
        if (v.isNull()) return std::nullopt;
        key.push_back(v);
    }
    return key;
}

// The rows of the referencing table that hold `key` in the foreign key's columns: their
// rowids and all their columns (colid order).
void referencingRows(ExecContext& context, const TableInfo& child, const ForeignKeyRule& fk,
                     const std::vector<StoredValue>& key, std::vector<std::int64_t>& rowids,
                     std::vector<std::vector<StoredValue>>& rows) {
    std::string sql = "SELECT rowid";
    for (const auto& c : child.columns) sql += ", " + quoteIdentifier(c.name);
    sql += " FROM " + quoteIdentifier(child.name) + " WHERE ";
    for (std::size_t i = 0; i < fk.childColumns.size(); ++i)
        sql += std::string(i ? " AND " : "") + quoteIdentifier(fk.childColumns[i]) + " = ?" + std::to_string(i + 1);
    StatementLease stmt(context.prepare(sql));
    for (std::size_t i = 0; i < key.size(); ++i) bindStored(stmt.get(), static_cast<int>(i + 1), key[i]);
    while (context.step(stmt.get())) {
        const std::int64_t rowid = sqlite3_column_int64(stmt.get(), 0);
        if (std::find(rowids.begin(), rowids.end(), rowid) != rowids.end()) continue;
        rowids.push_back(rowid);
        std::vector<StoredValue> row;
        for (std::size_t c = 0; c < child.columns.size(); ++c)
            row.push_back(fromSqlite(sqlite3_column_value(stmt.get(), static_cast<int>(c + 1))));
        rows.push_back(std::move(row));
    }
}

// The rows of `table` as they are now, by rowid.
std::map<std::int64_t, std::vector<StoredValue>> currentRows(ExecContext& context, const TableInfo& table,
                                                             const std::vector<std::int64_t>& rowids) {
    std::vector<std::int64_t> sorted = rowids;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::vector<StoredValue>> rows = readRows(context, table, sorted);
    std::map<std::int64_t, std::vector<StoredValue>> byRowid;
    for (std::size_t i = 0; i < rows.size() && i < sorted.size(); ++i) byRowid[sorted[i]] = std::move(rows[i]);
    return byRowid;
}

// After a referencing table changed by a cascade: its own rules, as for a statement of its own.
void keepRules(ExecContext& context, const std::shared_ptr<const TableInfo>& child, TriggerEvent event,
               ChangedRows changed, std::string_view statement, std::vector<CascadedChange>& cascaded);

void cascadeInto(ExecContext& context, const TableInfo& table, const ForeignKeyRule& fk, TriggerEvent event,
                 const ChangedRows& changed, std::string_view statement, std::vector<CascadedChange>& cascaded) {
    Database& db = context.db();
    auto child = db.table(fk.childTable);
    if (!child) return;
    ChangedRows childChanged;
    if (event == TriggerEvent::Delete) {
        for (const auto& row : changed.oldRows)
            if (auto key = keyOf(table, row, fk.parentColids))
                referencingRows(context, *child, fk, *key, childChanged.rowids, childChanged.oldRows);
        if (childChanged.rowids.empty()) return;
        std::int64_t single = 0;
        const std::string filter = rowidFilter(db, childChanged.rowids, single);
        StatementLease del(context.prepare("DELETE FROM " + quoteIdentifier(child->name) + " WHERE " + filter));
        if (childChanged.rowids.size() == 1) sqlite3_bind_int64(del.get(), 1, single);
        context.step(del.get());
        childChanged.rowids.clear();  // deleted rows are known by their old values only
    } else {
        // Every referencing row is found before any is written, so that keys that trade
        // places (1 -> 2, 2 -> 1) move each row once.
        const auto now = currentRows(context, table, changed.rowids);
        std::vector<std::pair<std::vector<std::int64_t>, std::vector<StoredValue>>> moves;  // rows, new key
        for (std::size_t i = 0; i < changed.rowids.size() && i < changed.oldRows.size(); ++i) {
            auto oldKey = keyOf(table, changed.oldRows[i], fk.parentColids);
            auto found = now.find(changed.rowids[i]);
            if (!oldKey || found == now.end()) continue;
            std::vector<StoredValue> newKey;
            bool same = true;
            for (std::size_t k = 0; k < fk.parentColids.size(); ++k) {
                newKey.push_back(found->second[indexOfColid(table, fk.parentColids[k])]);
                same = same && sameValue(newKey.back(), (*oldKey)[k]);
            }
            if (same) continue;
            std::vector<std::int64_t> rowids;
            std::vector<std::vector<StoredValue>> rows;
            referencingRows(context, *child, fk, *oldKey, rowids, rows);
            for (std::size_t r = 0; r < rowids.size(); ++r) {
                if (std::find(childChanged.rowids.begin(), childChanged.rowids.end(), rowids[r]) !=
                    childChanged.rowids.end())
                    continue;
                childChanged.rowids.push_back(rowids[r]);
                childChanged.oldRows.push_back(std::move(rows[r]));
            }
            moves.emplace_back(std::move(rowids), std::move(newKey));
        }
        if (childChanged.rowids.empty()) return;
        std::string sql = "UPDATE " + quoteIdentifier(child->name) + " SET ";
        for (std::size_t k = 0; k < fk.childColumns.size(); ++k)
            sql += std::string(k ? ", " : "") + quoteIdentifier(fk.childColumns[k]) + " = ?" + std::to_string(k + 1);
        sql += " WHERE rowid = ?" + std::to_string(fk.childColumns.size() + 1);
        StatementLease update(context.prepare(sql));
        for (const auto& [rowids, key] : moves)
            for (std::int64_t rowid : rowids) {
                sqlite3_reset(update.get());
                for (std::size_t k = 0; k < key.size(); ++k) bindStored(update.get(), static_cast<int>(k + 1), key[k]);
                sqlite3_bind_int64(update.get(), static_cast<int>(key.size() + 1), rowid);
                context.step(update.get());
            }
        childChanged.setColids = fk.childColids;
    }
    keepRules(context, child, event, std::move(childChanged), statement, cascaded);
}

void keepRules(ExecContext& context, const std::shared_ptr<const TableInfo>& child, TriggerEvent event,
               ChangedRows changed, std::string_view statement, std::vector<CascadedChange>& cascaded) {
    const std::vector<int>* setColids = event == TriggerEvent::Update ? &changed.setColids : nullptr;
    if (event == TriggerEvent::Update) checkWrittenRows(context, *child, changed.rowids, statement, setColids);
    for (const auto& fk : child->referencedBy)
        if (cascades(fk, event) && (!setColids || std::any_of(fk.parentColids.begin(), fk.parentColids.end(), [&](int c) {
                                        return std::find(setColids->begin(), setColids->end(), c) != setColids->end();
                                    })))
            cascadeInto(context, *child, fk, event, changed, statement, cascaded);
    checkRemovedKeys(context, *child, changed.oldRows, statement, setColids);
    cascaded.push_back(CascadedChange{child, event, std::move(changed)});
}

}  // namespace

bool hasCascades(const TableInfo& table, TriggerEvent event) {
    if (event == TriggerEvent::Insert) return false;
    return std::any_of(table.referencedBy.begin(), table.referencedBy.end(),
                       [&](const ForeignKeyRule& fk) { return cascades(fk, event); });
}

void cascadeReferences(ExecContext& context, const TableInfo& table, TriggerEvent event,
                       const ChangedRows& changed, std::string_view statement,
                       std::vector<CascadedChange>& cascaded) {
    if (!hasCascades(table, event)) return;
    for (const auto& fk : table.referencedBy) {
        if (!cascades(fk, event)) continue;
        if (event == TriggerEvent::Update &&
            std::none_of(fk.parentColids.begin(), fk.parentColids.end(), [&](int c) {
                return std::find(changed.setColids.begin(), changed.setColids.end(), c) != changed.setColids.end();
            }))
            continue;
        cascadeInto(context, table, fk, event, changed, statement, cascaded);
    }
}

}  // namespace sandbox::tsql
