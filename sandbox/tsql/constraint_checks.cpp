#include "tsql/constraint_checks.h"

#include <algorithm>

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"

namespace sandbox::tsql {
namespace {

using sqlite::quoteIdentifier;

bool touches(const std::vector<int>& colids, const std::vector<int>* setColids) {
    if (!setColids) return true;
    for (int c : colids)
        if (std::find(setColids->begin(), setColids->end(), c) != setColids->end()) return true;
    return false;
}

[[noreturn]] void refuse(std::string text) {
    ServerError e(547, 16, std::move(text));
    e.terminated();
    throw e;
}

// True when the query (with ?1 bound to `single` when it is a one-row filter) finds a row.
bool finds(ExecContext& context, const std::string& sql, bool bindSingle, std::int64_t single) {
    StatementLease stmt(context.prepare(sql));
    if (bindSingle) sqlite3_bind_int64(stmt.get(), 1, single);
    return context.step(stmt.get());
}

std::size_t indexOfColid(const TableInfo& table, int colid) {
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        if (table.columns[i].colid == colid) return i;
    return 0;
}

}  // namespace

std::string conflictText(std::string_view statement, std::string_view kind,
                         const std::string& constraint, const std::string& database,
                         const std::string& table, const std::vector<std::string>& columns) {
    std::string text = std::string(statement) + " statement conflicted with " +
                       (columns.size() == 1 ? "COLUMN " : "TABLE ") + std::string(kind) +
                       " constraint '" + constraint + "'. The conflict occurred in database '" +
                       database + "', table '" + table + "'";
    if (columns.size() == 1) text += ", column '" + columns[0] + "'";
    return text + ".";
}

std::string rowidFilter(Database& db, const std::vector<std::int64_t>& rowids,
                        std::int64_t& single) {
    if (rowids.size() == 1) {
        single = rowids[0];
        return "rowid = ?1";
    }
    sqlite::exec(db.handle(),
                 "CREATE TEMP TABLE IF NOT EXISTS \"~rows\" (rid INTEGER PRIMARY KEY); DELETE FROM "
                 "temp.\"~rows\"");
    sqlite3_stmt* insert = db.prepare("INSERT OR IGNORE INTO temp.\"~rows\" (rid) VALUES (?)");
    for (std::int64_t rowid : rowids) {
        sqlite3_reset(insert);
        sqlite3_bind_int64(insert, 1, rowid);
        sqlite3_step(insert);
    }
    sqlite3_reset(insert);
    return "rowid IN (SELECT rid FROM temp.\"~rows\")";
}

// SELECT 1 FROM child AS c WHERE <filter> AND c.a IS NOT NULL ... AND NOT EXISTS (SELECT 1
// FROM parent AS p WHERE p.x = c.a ...) LIMIT 1: a row whose key has no referenced row.
std::string orphanQuery(const ForeignKeyRule& fk, const std::string& filter) {
    std::string sql = "SELECT 1 FROM " + quoteIdentifier(fk.childTable) + " AS c WHERE " + filter;
    std::string match;
    for (std::size_t i = 0; i < fk.childColumns.size(); ++i) {
        sql += " AND c." + quoteIdentifier(fk.childColumns[i]) + " IS NOT NULL";
        match += std::string(i ? " AND " : "") + "p." + quoteIdentifier(fk.parentColumns[i]) +
                 " = c." + quoteIdentifier(fk.childColumns[i]);
    }
    return sql + " AND NOT EXISTS (SELECT 1 FROM " + quoteIdentifier(fk.parentTable) +
           " AS p WHERE " + match + ") LIMIT 1";
}

std::vector<std::string> checkColumns(const TableInfo& table, const CheckRule& check) {
    std::vector<std::string> columns;
    if (check.colid != 0) columns.push_back(table.columns[indexOfColid(table, check.colid)].name);
    return columns;
}

void checkAllRows(ExecContext& context, const TableInfo& table, const CheckRule& check) {
    if (check.sql.empty()) return;
    if (finds(context,
              "SELECT 1 FROM " + quoteIdentifier(table.name) + " WHERE NOT (" + check.sql +
                  ") LIMIT 1",
              false, 0))
        throw ServerError(547, 16,
                          conflictText("ALTER TABLE", "CHECK", check.name, context.db().name(),
                                       table.name, checkColumns(table, check)));
}

void checkAllRows(ExecContext& context, const TableInfo&, const ForeignKeyRule& fk) {
    if (finds(context, orphanQuery(fk, "1"), false, 0))
        throw ServerError(547, 16,
                          conflictText("ALTER TABLE", "FOREIGN KEY", fk.name, context.db().name(),
                                       fk.parentTable, fk.parentColumns));
}

void checkWrittenRows(ExecContext& context, const TableInfo& table,
                      const std::vector<std::int64_t>& rowids, std::string_view statement,
                      const std::vector<int>* setColids) {
    if (rowids.empty() || (table.checks.empty() && table.foreignKeys.empty())) return;
    Database& db = context.db();
    std::int64_t single = 0;
    const std::string filter = rowidFilter(db, rowids, single);
    const bool bindSingle = rowids.size() == 1;
    const std::string from = " FROM " + quoteIdentifier(table.name) + " WHERE " + filter;
    for (const auto& check : table.checks) {
        if (!check.enabled || check.sql.empty() || !touches(check.colids, setColids)) continue;
        // A check holds unless its condition is false: NULL lets the row pass.
        if (finds(context, "SELECT 1" + from + " AND NOT (" + check.sql + ") LIMIT 1", bindSingle,
                  single))
            refuse(conflictText(statement, "CHECK", check.name, db.name(), table.name,
                                checkColumns(table, check)));
    }
    for (const auto& fk : table.foreignKeys) {
        if (!fk.enabled || !touches(fk.childColids, setColids)) continue;
        if (finds(context, orphanQuery(fk, filter), bindSingle, single))
            refuse(conflictText(statement, "FOREIGN KEY", fk.name, db.name(), fk.parentTable,
                                fk.parentColumns));
    }
}

void checkRemovedKeys(ExecContext& context, const TableInfo& table,
                      const std::vector<std::vector<StoredValue>>& oldRows,
                      std::string_view statement, const std::vector<int>* setColids) {
    if (oldRows.empty()) return;
    Database& db = context.db();
    for (const auto& fk : table.referencedBy) {
        if (!fk.enabled || !touches(fk.parentColids, setColids)) continue;
        // Is a row still pointing at an old key that no row of the table holds any more?
        std::string sql = "SELECT 1 FROM " + quoteIdentifier(fk.childTable) + " WHERE ";
        std::string parentMatch;
        for (std::size_t i = 0; i < fk.childColumns.size(); ++i) {
            const std::string param = "?" + std::to_string(i + 1);
            sql +=
                std::string(i ? " AND " : "") + quoteIdentifier(fk.childColumns[i]) + " = " + param;
            parentMatch += std::string(i ? " AND " : "") + quoteIdentifier(fk.parentColumns[i]) +
                           " = " + param;
        }
        sql += " AND NOT EXISTS (SELECT 1 FROM " + quoteIdentifier(table.name) + " WHERE " +
               parentMatch + ") LIMIT 1";
        std::vector<std::size_t> keyIndexes;
        for (int colid : fk.parentColids) keyIndexes.push_back(indexOfColid(table, colid));
        for (const auto& row : oldRows) {
            std::vector<const StoredValue*> key;
            bool hasNull = false;
            for (std::size_t k : keyIndexes) {
                key.push_back(&row[k]);
                hasNull = hasNull || row[k].isNull();
            }
            if (hasNull) continue;
            StatementLease stmt(context.prepare(sql));
            for (std::size_t i = 0; i < key.size(); ++i)
                bindStored(stmt.get(), static_cast<int>(i + 1), *key[i]);
            if (context.step(stmt.get()))
                refuse(conflictText(statement, "REFERENCE", fk.name, db.name(), fk.childTable,
                                    fk.childColumns));
        }
    }
}

}  // namespace sandbox::tsql
