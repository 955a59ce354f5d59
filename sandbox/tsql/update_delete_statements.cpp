#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/constraint_checks.h"
#include "tsql/data_change.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// UPDATE t SET c = expr, ... [WHERE ...]. The new values are computed by
// SQLite, then converted and checked as SQL Server would (515, 8152, 245) before any row
// changes; the whole statement is atomic.
class UpdateStatement : public Statement {
public:
    ObjectName target;
    std::vector<std::pair<std::string, ExprPtr>> assignments;
    ExprPtr where;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        std::string tableName = target.name();
        auto info = db.table(tableName);
        if (!info) raiseInvalidObject(target);
        TranslationContext names = context.translation();
        Translator translator(names);
        std::vector<Constant> constants;
        translator.collectConstants(&constants);
        std::vector<int> columns;
        std::string sql = "SELECT rowid";
        for (const auto& [name, expr] : assignments) {
            int c = info->findColumn(name);
            if (c < 0) throw ServerError(err::kInvalidColumn, 16, "Invalid column name '" + name + "'.", 1, ErrorScope::Batch);
            if (info->columns[static_cast<std::size_t>(c)].identity)
                throw ServerError(8102, 16, "Cannot update identity column '" + info->columns[static_cast<std::size_t>(c)].name + "'.");
            if (info->columns[static_cast<std::size_t>(c)].computed)
                throw ServerError(271, 16, "Column '" + info->columns[static_cast<std::size_t>(c)].name +
                                               "' cannot be modified because it is a computed column.");
            columns.push_back(c);
            sql += ", " + translator.expression(*expr).sql;
        }
        // The rows as they were, for the foreign keys that reference them and the triggers.
        const bool keepOld = info->hasRules() && needsOldRows(*info, TriggerEvent::Update);
        if (keepOld)
            for (const auto& column : info->columns) sql += ", " + sqlite::quoteIdentifier(column.name);
        sql += " FROM " + translator.tableName(target);
        if (where) sql += " WHERE " + translator.expression(*where).sql;

        std::vector<std::pair<std::int64_t, std::vector<StoredValue>>> changes;
        std::vector<std::vector<StoredValue>> oldRows;
        {
            StatementLease query(context.prepare(sql, &translator));
            bindConstants(query.get(), constants);
            while (context.step(query.get(), &translator)) {
                if (keepOld) {
                    std::vector<StoredValue> old;
                    for (std::size_t i = 0; i < info->columns.size(); ++i)
                        old.push_back(fromSqlite(sqlite3_column_value(query.get(), static_cast<int>(columns.size() + 1 + i))));
                    oldRows.push_back(std::move(old));
                }
                std::vector<StoredValue> row;
                for (std::size_t i = 0; i < columns.size(); ++i) {
                    const ColumnInfo& col = info->columns[static_cast<std::size_t>(columns[i])];
                    StoredValue v = fromSqlite(sqlite3_column_value(query.get(), static_cast<int>(i + 1)));
                    try {
                        v = convertTo(col.type, v, ConversionMode::Assign);
                    } catch (ServerError& e) {
                        if (e.number() == err::kTruncation) e.terminated();
                        throw;
                    }
                    if (v.isNull() && !col.nullable) throw nullNotAllowed(context, *info, col, "UPDATE");
                    row.push_back(std::move(v));
                }
                changes.emplace_back(sqlite3_column_int64(query.get(), 0), std::move(row));
            }
        }
        std::string update = "UPDATE " + sqlite::quoteIdentifier(info->name) + " SET ";
        for (std::size_t i = 0; i < columns.size(); ++i)
            update += (i ? ", " : "") + sqlite::quoteIdentifier(info->columns[static_cast<std::size_t>(columns[i])].name) + " = ?";
        update += " WHERE rowid = ?";
        auto apply = [&] {
            StatementLease stmt(context.prepare(update));
            for (const auto& [rowid, row] : changes) {
                sqlite3_reset(stmt.get());
                for (std::size_t i = 0; i < row.size(); ++i) bindStored(stmt.get(), static_cast<int>(i + 1), row[i]);
                sqlite3_bind_int64(stmt.get(), static_cast<int>(row.size() + 1), rowid);
                int rc = sqlite3_step(stmt.get());
                if (rc != SQLITE_DONE) {
                    std::string message = sqlite3_errmsg(db.handle());
                    int code = sqlite3_extended_errcode(db.handle());
                    sqlite3_reset(stmt.get());
                    if (code == SQLITE_CONSTRAINT_UNIQUE) raiseDuplicateKey(context, *info, message);
                    context.raise(sqlite::Failure(code, message));
                }
            }
        };
        if (info->hasRules()) {
            runDataChange(context, *info, TriggerEvent::Update, [&] {
                apply();
                ChangedRows changed;
                for (const auto& change : changes) changed.rowids.push_back(change.first);
                changed.oldRows = std::move(oldRows);
                for (int c : columns) changed.setColids.push_back(info->columns[static_cast<std::size_t>(c)].colid);
                return changed;
            });
        } else {
            atomically(db.handle(), apply);
        }
        context.done(true, static_cast<std::int64_t>(changes.size()));
    }

};

// DELETE [FROM] t [WHERE ...]: run by SQLite directly, as nothing needs converting.
class DeleteStatement : public Statement {
public:
    ObjectName target;
    ExprPtr where;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        auto info = db.table(target.name());
        if (!info) raiseInvalidObject(target);
        TranslationContext names = context.translation();
        Translator translator(names);
        std::vector<Constant> constants;
        translator.collectConstants(&constants);
        const std::string condition = where ? " WHERE " + translator.expression(*where).sql : std::string();
        if (info->hasRules()) {
            deleteWithRules(context, *info, translator, constants, condition);
            return;
        }
        StatementLease stmt(context.prepare("DELETE FROM " + translator.tableName(target) + condition, &translator));
        bindConstants(stmt.get(), constants);
        context.step(stmt.get(), &translator);
        context.done(true, sqlite3_changes(db.handle()));
    }

private:
    // The rows to delete are read first (all their columns when a foreign key references
    // the table or a trigger fires), then deleted by rowid.
    void deleteWithRules(ExecContext& context, const TableInfo& info, Translator& translator,
                         const std::vector<Constant>& constants, const std::string& condition) {
        const bool keepOld = needsOldRows(info, TriggerEvent::Delete);
        std::string sql = "SELECT rowid";
        if (keepOld)
            for (const auto& column : info.columns) sql += ", " + sqlite::quoteIdentifier(column.name);
        sql += " FROM " + translator.tableName(target) + condition;
        std::vector<std::int64_t> rowids;
        ChangedRows old;
        {
            StatementLease query(context.prepare(sql, &translator));
            bindConstants(query.get(), constants);
            while (context.step(query.get(), &translator)) {
                rowids.push_back(sqlite3_column_int64(query.get(), 0));
                if (!keepOld) continue;
                std::vector<StoredValue> row;
                for (std::size_t i = 0; i < info.columns.size(); ++i)
                    row.push_back(fromSqlite(sqlite3_column_value(query.get(), static_cast<int>(i + 1))));
                old.oldRows.push_back(std::move(row));
            }
        }
        runDataChange(context, info, TriggerEvent::Delete, [&] {
            if (!rowids.empty()) {
                std::int64_t single = 0;
                const std::string filter = rowidFilter(context.db(), rowids, single);
                StatementLease stmt(context.prepare("DELETE FROM " + sqlite::quoteIdentifier(info.name) + " WHERE " + filter));
                if (rowids.size() == 1) sqlite3_bind_int64(stmt.get(), 1, single);
                context.step(stmt.get());
            }
            return std::move(old);
        });
        context.done(true, static_cast<std::int64_t>(rowids.size()));
    }
};

}  // namespace

std::unique_ptr<Statement> parseUpdate(Parser& p) {
    p.expectWord("UPDATE");
    auto s = std::make_unique<UpdateStatement>();
    s->target = p.objectName();
    p.expectWord("SET");
    do {
        std::string column = p.identifier();
        // t.column = ...
        if (p.acceptSymbol(".")) column = p.identifier();
        p.expectSymbol("=");
        s->assignments.emplace_back(column, p.expression());
    } while (p.acceptSymbol(","));
    if (p.peek().isWord("FROM")) return skipUnsupported(p, "UPDATE ... FROM");
    if (p.acceptWord("WHERE")) s->where = p.expression();
    return s;
}

std::unique_ptr<Statement> parseDelete(Parser& p) {
    p.expectWord("DELETE");
    p.acceptWord("FROM");
    auto s = std::make_unique<DeleteStatement>();
    s->target = p.objectName();
    if (p.peek().isWord("FROM")) return skipUnsupported(p, "DELETE ... FROM");
    if (p.acceptWord("WHERE")) s->where = p.expression();
    return s;
}

}  // namespace sandbox::tsql
