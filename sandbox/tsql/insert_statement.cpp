#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// The next row version for a timestamp column (the database's @@DBTS).
std::string nextRowVersion(Database& db) {
    sqlite::exec(db.handle(), "INSERT OR IGNORE INTO \"~sandbox\" (key, value) VALUES ('dbts', 2000)");
    sqlite::Statement q(db.handle(), "UPDATE \"~sandbox\" SET value = value + 1 WHERE key = 'dbts' RETURNING value");
    q.step();
    std::int64_t v = q.integer(0);
    std::string bytes(8, '\0');
    for (int i = 7; i >= 0; --i, v >>= 8) bytes[static_cast<std::size_t>(i)] = static_cast<char>(v & 0xFF);
    return bytes;
}

// INSERT [INTO] t [(columns)] VALUES (...) | DEFAULT VALUES. The engine applies SQL
// Server's rules itself (conversions, padding, truncation, NOT NULL, identity, defaults)
// and hands SQLite one finished row.
class InsertStatement : public Statement {
public:
    ObjectName table;
    std::vector<std::string> columns;  // empty: no column list
    bool hasColumnList = false;
    bool defaultValues = false;
    std::vector<ExprPtr> values;       // null entries: DEFAULT

    void execute(ExecContext& context) override {
        Database& db = context.db();
        auto info = db.table(table.name());
        if (!info) {
            if (auto object = db.catalog().findObject(table.name()); object && object->xtype == "V")
                throw ServerError(err::kUnsupported, 16, "The sandbox server does not support INSERT into a view.");
            throw ServerError(err::kInvalidObject, 16, "Invalid object name '" + writtenName() + "'.", 1, ErrorScope::Batch);
        }
        const auto& cols = info->columns;
        bool identityInsert = context.session().identityInsert && context.session().identityInsert->tableId == info->id &&
                              iequals(context.session().identityInsert->database, db.name());
        // Which table column each value goes to.
        std::vector<int> targets;
        if (hasColumnList) {
            for (const auto& name : columns) {
                int c = info->findColumn(name);
                if (c < 0) throw ServerError(err::kInvalidColumn, 16, "Invalid column name '" + name + "'.", 1, ErrorScope::Batch);
                targets.push_back(c);
            }
            if (!defaultValues && values.size() < targets.size())
                throw ServerError(109, 16, "There are more columns in the INSERT statement than values specified in the "
                                           "VALUES clause. The number of values in the VALUES clause must match the "
                                           "number of columns specified in the INSERT statement.");
            if (!defaultValues && values.size() > targets.size())
                throw ServerError(110, 16, "There are fewer columns in the INSERT statement than values specified in the "
                                           "VALUES clause. The number of values in the VALUES clause must match the "
                                           "number of columns specified in the INSERT statement.");
        } else if (!defaultValues) {
            if (identityInsert || (info->identity && values.size() == cols.size()))
                throw ServerError(err::kIdentityNeedsColumnList, 16,
                                  "An explicit value for the identity column in table '" + info->name +
                                      "' can only be specified when a column list is used and IDENTITY_INSERT is ON.");
            for (std::size_t i = 0; i < cols.size(); ++i)
                if (!cols[i].identity && cols[i].type.base->sqlType != SqlType::Timestamp) targets.push_back(static_cast<int>(i));
            if (values.size() != targets.size())
                throw ServerError(213, 16, "Insert Error: Column name or number of supplied values does not match table definition.");
        }
        bool explicitIdentity = false;
        for (int c : targets) {
            const ColumnInfo& col = cols[static_cast<std::size_t>(c)];
            if (col.identity) {
                if (!identityInsert)
                    throw ServerError(err::kIdentityInsertOff, 16,
                                      "Cannot insert explicit value for identity column in table '" + info->name +
                                          "' when IDENTITY_INSERT is set to OFF.");
                explicitIdentity = true;
            }
            if (col.type.base->sqlType == SqlType::Timestamp)
                throw ServerError(273, 16, "Cannot insert an explicit value into a timestamp column. Use INSERT with a "
                                           "column list to exclude the timestamp column, or insert a DEFAULT into the "
                                           "timestamp column.");
        }
        if (identityInsert && info->identity && !explicitIdentity)
            throw ServerError(545, 16, "Explicit value must be specified for identity column in table '" + info->name +
                                           "' when IDENTITY_INSERT is set to ON.");

        // Values of the listed columns, evaluated together.
        std::vector<const Expr*> exprs;
        for (const auto& v : values)
            if (v) exprs.push_back(v.get());
        std::vector<StoredValue> evaluated = evaluateConstants(context, exprs);
        std::vector<std::optional<StoredValue>> row(cols.size());
        std::size_t next = 0;
        for (std::size_t i = 0; i < targets.size() && !defaultValues; ++i) {
            if (!values[i]) continue;  // DEFAULT
            const ColumnInfo& col = cols[static_cast<std::size_t>(targets[i])];
            try {
                row[static_cast<std::size_t>(targets[i])] = convertTo(col.type, evaluated[next++], ConversionMode::Assign);
            } catch (ServerError& e) {
                if (e.number() == err::kTruncation) e.terminated();
                throw;
            }
        }
        std::optional<std::int64_t> identityValue;
        for (std::size_t i = 0; i < cols.size(); ++i) {
            const ColumnInfo& col = cols[i];
            if (row[i]) {
                if (col.identity && !row[i]->isNull()) identityValue = row[i]->integer;
                continue;
            }
            if (col.identity) {
                const IdentityInfo& id = *info->identity;
                identityValue = id.current ? *id.current + id.increment : id.seed;
                row[i] = StoredValue::ofInteger(*identityValue);
            } else if (col.type.base->sqlType == SqlType::Timestamp) {
                row[i] = StoredValue::ofBlob(nextRowVersion(db));
            } else if (col.defaultId != 0) {
                row[i] = convertTo(col.type, evaluateDefault(context, col), ConversionMode::Assign);
            } else {
                row[i] = StoredValue::null();
            }
        }
        for (std::size_t i = 0; i < cols.size(); ++i)
            if (row[i]->isNull() && !cols[i].nullable) throw nullNotAllowed(context, *info, cols[i], "INSERT");

        std::string sql = "INSERT INTO " + sqlite::quoteIdentifier(info->name) + " (";
        for (std::size_t i = 0; i < cols.size(); ++i) sql += (i ? ", " : "") + sqlite::quoteIdentifier(cols[i].name);
        sql += ") VALUES (";
        for (std::size_t i = 0; i < cols.size(); ++i) sql += i ? ", ?" : "?";
        sql += ")";
        StatementLease stmt(context.prepare(sql));
        for (std::size_t i = 0; i < cols.size(); ++i) bindStored(stmt.get(), static_cast<int>(i + 1), *row[i]);
        int rc = sqlite3_step(stmt.get());
        if (rc != SQLITE_DONE) {
            std::string message = sqlite3_errmsg(db.handle());
            int code = sqlite3_extended_errcode(db.handle());
            sqlite3_reset(stmt.get());
            if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY)
                raiseDuplicateKey(context, *info, message);
            context.raise(sqlite::Failure(code, message));
        }
        if (identityValue && info->identity) {
            const IdentityInfo& id = *info->identity;
            bool advances = !id.current || (id.increment > 0 ? *identityValue > *id.current : *identityValue < *id.current);
            if (advances) db.setIdentityCurrent(info->id, *identityValue);
            context.session().lastIdentity = identityValue;
        }
        context.done(true, 1);
    }

private:
    std::string writtenName() const {
        std::string s;
        for (std::size_t i = 0; i < table.parts.size(); ++i) s += (i ? "." : "") + table.parts[i];
        return s;
    }
};

}  // namespace

std::unique_ptr<Statement> parseInsert(Parser& p) {
    p.expectWord("INSERT");
    p.acceptWord("INTO");
    auto s = std::make_unique<InsertStatement>();
    s->table = p.objectName();
    if (p.peek().isSymbol("(")) {
        s->columns = p.columnList();
        s->hasColumnList = true;
    }
    if (p.acceptWord("DEFAULT")) {
        p.expectWord("VALUES");
        s->defaultValues = true;
        return s;
    }
    if (p.peek().isWord("SELECT") || p.peek().isWord("EXEC") || p.peek().isWord("EXECUTE"))
        return skipUnsupported(p, "INSERT ... " + upperName(p.peek().text));
    p.expectWord("VALUES");
    p.expectSymbol("(");
    do {
        if (p.acceptWord("DEFAULT")) s->values.push_back(nullptr);
        else s->values.push_back(p.expression());
    } while (p.acceptSymbol(","));
    p.expectSymbol(")");
    return s;
}

}  // namespace sandbox::tsql
