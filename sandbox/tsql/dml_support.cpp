#include "tsql/dml_support.h"

#include <algorithm>
#include <map>
#include <set>

#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/parser.h"

namespace sandbox::tsql {

void raiseInvalidObject(const ObjectName& name) {
    std::string written;
    for (std::size_t i = 0; i < name.parts.size(); ++i) written += (i ? "." : "") + name.parts[i];
    throw ServerError(err::kInvalidObject, 16, "Invalid object name '" + written + "'.", 1, ErrorScope::Batch);
}

std::vector<StoredValue> evaluateConstants(ExecContext& context, const std::vector<const Expr*>& exprs) {
    std::vector<StoredValue> values;
    if (exprs.empty()) return values;
    TranslationContext names = context.translation();
    Translator translator(names);
    std::vector<Constant> constants;  // literals as parameters: a long one is never parsed twice
    translator.collectConstants(&constants);
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < exprs.size(); ++i) {
        if (i) sql += ", ";
        sql += translator.expression(*exprs[i]).sql;
    }
    StatementLease stmt(context.prepare(sql, &translator));
    bindConstants(stmt.get(), constants);
    if (context.step(stmt.get(), &translator))
        for (std::size_t i = 0; i < exprs.size(); ++i)
            values.push_back(fromSqlite(sqlite3_column_value(stmt.get(), static_cast<int>(i))));
    return values;
}

StoredValue evaluateDefault(ExecContext& context, const ColumnInfo& column) {
    if (column.defaultText.empty()) return StoredValue::null();
    Parser parser(column.defaultText, true);
    ExprPtr expr = parser.expression();
    auto values = evaluateConstants(context, {expr.get()});
    return values.empty() ? StoredValue::null() : values[0];
}

std::int64_t nextIdentityValue(const ColumnType& type, std::optional<std::int64_t> current, std::int64_t seed,
                               std::int64_t increment) {
    std::int64_t next = seed;
    bool overflows = current && __builtin_add_overflow(*current, increment, &next);
    if (!overflows) {
        try {
            convertTo(type, StoredValue::ofInteger(next), ConversionMode::Assign);
        } catch (const ServerError& e) {
            if (e.number() != 8115) throw;
            overflows = true;
        }
    }
    if (overflows)
        throw ServerError(8115, 16,
                          "Arithmetic overflow error converting IDENTITY to data type " + std::string(type.base->name) + ".");
    return next;
}

std::string nextRowVersion(Database& db) {
    sqlite::exec(db.handle(), "INSERT OR IGNORE INTO \"~sandbox\" (key, value) VALUES ('dbts', 2000)");
    sqlite::Statement q(db.handle(), "UPDATE \"~sandbox\" SET value = value + 1 WHERE key = 'dbts' RETURNING value");
    q.step();
    std::int64_t v = q.integer(0);
    std::string bytes(8, '\0');
    for (int i = 7; i >= 0; --i, v >>= 8) bytes[static_cast<std::size_t>(i)] = static_cast<char>(v & 0xFF);
    return bytes;
}

ServerError nullNotAllowed(ExecContext& context, const TableInfo& table, const ColumnInfo& column,
                           const std::string& statement) {
    ServerError e(err::kNullNotAllowed, 16,
                  "Cannot insert the value NULL into column '" + column.name + "', table '" + context.db().name() +
                      ".dbo." + table.name + "'; column does not allow nulls. " + statement + " fails.",
                  2);
    e.terminated();
    return e;
}

void raiseDuplicateKey(ExecContext& context, const TableInfo& table, const std::string& message) {
    // "UNIQUE constraint failed: tbX.a, tbX.b" -> {a, b}
    std::set<std::string> failed;
    std::size_t colon = message.find(':');
    std::string list = colon == std::string::npos ? std::string() : message.substr(colon + 1);
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t comma = list.find(',', pos);
        if (comma == std::string::npos) comma = list.size();
        std::string item = list.substr(pos, comma - pos);
        std::size_t dot = item.rfind('.');
        if (dot != std::string::npos) item = item.substr(dot + 1);
        failed.insert(lower(item));
        pos = comma + 1;
    }
    Database& db = context.db();
    sqlite::Statement indexes(db.handle(),
                              "SELECT i.indid, i.name, i.status, lower(c.name) FROM sysindexes i "
                              "JOIN sysindexkeys k ON k.id = i.id AND k.indid = i.indid "
                              "JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid "
                              "WHERE i.id = ? AND (i.status & 2) <> 0 ORDER BY i.indid, k.keyno");
    indexes.bind(1, std::int64_t{table.id});
    struct Found { std::string name; int status = 0; std::set<std::string> columns; };
    std::map<std::int64_t, Found> byIndex;
    while (indexes.step()) {
        Found& f = byIndex[indexes.integer(0)];
        f.name = indexes.text(1);
        f.status = static_cast<int>(indexes.integer(2));
        f.columns.insert(indexes.text(3));
    }
    const Found* match = nullptr;
    for (const auto& [indid, f] : byIndex)
        if (f.columns == failed) match = &f;
    if (!match && !byIndex.empty()) match = &byIndex.begin()->second;
    std::string name = match ? match->name : std::string("?");
    ServerError e = match && (match->status & (indexstatus::kPrimaryKey | indexstatus::kUniqueConstraint))
                        ? ServerError(err::kDuplicateKey, 14,
                                      std::string("Violation of ") +
                                          ((match->status & indexstatus::kPrimaryKey) ? "PRIMARY KEY" : "UNIQUE KEY") +
                                          " constraint '" + name + "'. Cannot insert duplicate key in object '" +
                                          table.name + "'.")
                        : ServerError(err::kDuplicateIndexRow, 14,
                                      "Cannot insert duplicate key row in object '" + table.name +
                                          "' with unique index '" + name + "'.", 3);
    e.terminated();
    throw e;
}

}  // namespace sandbox::tsql
