#include "catalog/server_error.h"
#include "catalog/text_util.h"
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
        std::vector<int> columns;
        std::string sql = "SELECT rowid";
        for (const auto& [name, expr] : assignments) {
            int c = info->findColumn(name);
            if (c < 0) throw ServerError(err::kInvalidColumn, 16, "Invalid column name '" + name + "'.", 1, ErrorScope::Batch);
            if (info->columns[static_cast<std::size_t>(c)].identity)
                throw ServerError(8102, 16, "Cannot update identity column '" + info->columns[static_cast<std::size_t>(c)].name + "'.");
            columns.push_back(c);
            sql += ", " + translator.expression(*expr).sql;
        }
        sql += " FROM " + translator.tableName(target);
        if (where) sql += " WHERE " + translator.expression(*where).sql;

        std::vector<std::pair<std::int64_t, std::vector<StoredValue>>> changes;
        {
            StatementLease query(context.prepare(sql, &translator));
            while (context.step(query.get(), &translator)) {
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
        atomically(db.handle(), [&] {
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
        });
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
        if (!db.table(target.name()))
            raiseInvalidObject(target);
        TranslationContext names = context.translation();
        Translator translator(names);
        std::string sql = "DELETE FROM " + translator.tableName(target);
        if (where) sql += " WHERE " + translator.expression(*where).sql;
        StatementLease stmt(context.prepare(sql, &translator));
        context.step(stmt.get(), &translator);
        context.done(true, sqlite3_changes(db.handle()));
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
