#include "tsql/column_definition.h"

#include "catalog/collation.h"
#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/system_tables.h"
#include "catalog/text_util.h"
#include "tsql/constraint_definition.h"
#include "tsql/parser.h"
#include "tsql/user_types.h"

namespace sandbox::tsql {
namespace {

// WITH FILLFACTOR = n, WITH (options), ON [PRIMARY] after a key or index definition.
void skipIndexOptions(Parser& p) {
    if (p.acceptWord("WITH")) {
        if (p.acceptSymbol("(")) {
            while (!p.peek().isSymbol(")") && p.peek().kind != TokenKind::End) p.next();
            p.expectSymbol(")");
        } else {
            p.acceptWord("FILLFACTOR");
            p.expectSymbol("=");
            p.next();
        }
    }
    if (p.peek().isWord("ON") && !p.peek(1).isSymbol("(")) {
        p.next();
        if (p.peek().kind == TokenKind::String) p.next();
        else p.identifier();
    }
}

}  // namespace

std::string storedDefaultText(const Expr& expr, std::string_view source) {
    std::string inner(source);
    auto strip = [](std::string t) {
        for (;;) {
            while (!t.empty() && t.front() == ' ') t.erase(t.begin());
            while (!t.empty() && t.back() == ' ') t.pop_back();
            if (t.size() < 2 || t.front() != '(' || t.back() != ')') return t;
            // Only strip when the parentheses enclose the whole text.
            int depth = 0;
            bool inString = false;
            for (std::size_t i = 0; i < t.size(); ++i) {
                char c = t[i];
                if (c == '\'') inString = !inString;
                if (inString) continue;
                if (c == '(') ++depth;
                if (c == ')' && --depth == 0 && i != t.size() - 1) return t;
            }
            t = t.substr(1, t.size() - 2);
        }
    };
    inner = strip(inner);
    if (expr.kind == ExprKind::Function && expr.args.empty() && expr.parts.size() <= 1)
        inner = expr.text + (expr.text == "current_timestamp" || expr.text == "user" ? "" : "()");
    return "(" + inner + ")";
}

KeySpec parseKeyConstraint(Parser& p, std::string constraintName, const std::string* columnName) {
    KeySpec key;
    key.constraintName = std::move(constraintName);
    if (p.acceptWord("PRIMARY")) {
        p.expectWord("KEY");
    } else {
        p.expectWord("UNIQUE");
        key.primary = false;
    }
    if (p.acceptWord("CLUSTERED")) key.clustered = true;
    else if (p.acceptWord("NONCLUSTERED")) key.clustered = false;
    if (columnName && !p.peek().isSymbol("(")) {
        key.columns.push_back(*columnName);
    } else {
        p.expectSymbol("(");
        do {
            key.columns.push_back(p.identifier());
            if (!p.acceptWord("ASC")) p.acceptWord("DESC");
        } while (p.acceptSymbol(","));
        p.expectSymbol(")");
    }
    skipIndexOptions(p);
    return key;
}

ColumnSpec parseColumnDefinition(Parser& p, TableConstraints& constraints) {
    ColumnSpec col;
    col.name = p.identifier();
    if (p.acceptWord("AS")) {
        // A computed column: its expression as stored, "(qty * price)".
        const std::size_t start = p.position();
        ExprPtr expr = p.expression();
        col.computedText = storedDefaultText(*expr, p.sourceSince(start));
    } else {
        col.type = p.typeName();
    }
    for (;;) {
        std::string name;
        if (p.acceptWord("CONSTRAINT")) name = p.identifier();
        const Token& o = p.peek();
        if (o.isWord("COLLATE")) {
            p.next();
            col.collation = p.identifier();
        } else if (o.isWord("NULL")) {
            p.next();
            col.nullable = true;
        } else if (o.isWord("NOT") && p.peek(1).isWord("NULL")) {
            p.next();
            p.next();
            col.nullable = false;
        } else if (o.isWord("NOT") && p.peek(1).isWord("FOR")) {
            p.next();
            p.next();
            p.expectWord("REPLICATION");
        } else if (o.isWord("IDENTITY")) {
            p.next();
            col.identity = true;
            if (p.acceptSymbol("(")) {
                auto number = [&]() {
                    bool negative = p.acceptSymbol("-");
                    std::int64_t v = p.integerLiteral();
                    return negative ? -v : v;
                };
                col.seed = number();
                p.expectSymbol(",");
                col.increment = number();
                p.expectSymbol(")");
            }
        } else if (o.isWord("ROWGUIDCOL")) {
            p.next();
        } else if (o.isWord("DEFAULT")) {
            p.next();
            std::size_t start = p.position();
            ExprPtr expr = p.expression();
            col.defaultValue = DefaultSpec{name, storedDefaultText(*expr, p.sourceSince(start))};
        } else if (o.isWord("PRIMARY") || o.isWord("UNIQUE")) {
            constraints.keys.push_back(parseKeyConstraint(p, name, &col.name));
        } else if (o.isWord("REFERENCES") || o.isWord("FOREIGN")) {
            constraints.foreignKeys.push_back(parseForeignKey(p, name, &col.name));
        } else if (o.isWord("CHECK")) {
            constraints.checks.push_back(parseCheck(p, name, &col.name));
        } else {
            if (!name.empty()) p.syntaxError();
            break;
        }
    }
    return col;
}

ColumnType resolveColumnType(Database& db, const ColumnSpec& c, std::size_t ordinal,
                             std::optional<bool>* aliasNullability) {
    auto named = findNamedType(db, c.type, ordinal);
    if (!named)
        throw ServerError(2715, 16, "Column or parameter #" + std::to_string(ordinal) + ": Cannot find data type " +
                                        c.type.name + ".");
    if (aliasNullability) *aliasNullability = named->allowsNulls;
    // An alias type carries its own collation (the database's when sp_addtype ran).
    if (named->allowsNulls && !c.collation.empty())
        throw ServerError(452, 16, "COLLATE clause cannot be used on user-defined data types.");
    std::optional<ColumnType> type = named->type;
    if (c.identity) {
        bool integral = type->isInteger() && type->base->sqlType != SqlType::Bit;
        bool exact = (type->base->sqlType == SqlType::Decimal || type->base->sqlType == SqlType::Numeric) && type->scale == 0;
        if ((!integral && !exact) || (c.nullable && *c.nullable))
            throw ServerError(2749, 16, "Identity column '" + c.name + "' must be of data type int, bigint, smallint, "
                                            "tinyint, or decimal or numeric with a scale of 0, and constrained to be nonnullable.");
    }
    if (!c.collation.empty()) {
        CollationRules rules;
        if (!parseCollation(c.collation, rules)) throw ServerError(448, 16, "Invalid collation '" + c.collation + "'.");
    }
    return *type;
}

void checkDefaultAllowed(const ColumnSpec& spec, const ColumnType& type, const std::string& tableName) {
    if (!spec.defaultValue) return;
    const std::string where = "Table '" + tableName + "', column '" + spec.name + "'.";
    auto refuse = [](std::int32_t number, const std::string& text) {
        ServerError e(number, 16, text);
        e.followedBy(1750, 16, "Could not create constraint. See previous errors.");
        return e;
    };
    if (type.base->sqlType == SqlType::Timestamp)
        throw refuse(1755, "Defaults cannot be created on columns of data type timestamp. " + where);
    if (spec.identity) throw refuse(1754, "Defaults cannot be created on columns with an IDENTITY attribute. " + where);
}

std::string sqliteColumnDefinition(std::string_view name, const ColumnType& type, std::string_view collation) {
    std::string sql = sqlite::quoteIdentifier(name) + " " + std::string(storageAffinity(type));
    if (type.isCharacter()) sql += " COLLATE " + sqlite::quoteIdentifier(collation);
    return sql;
}

std::string sqliteIndexName(int tableId, int indid) {
    return "~ix~" + std::to_string(tableId) + "~" + std::to_string(indid);
}

std::string createKeyConstraint(Database& db, int tableId, const std::string& tableName,
                                const std::vector<KeyColumn>& columns, const KeySpec& key, bool clustered) {
    Catalog& catalog = db.catalog();
    int keyId = catalog.allocateObjectId();
    std::string keyName =
        key.constraintName.empty() ? Catalog::generatedName(key.primary ? "PK" : "UQ", tableName, {}, keyId) : key.constraintName;
    NewIndex index;
    index.name = keyName;
    index.indid = clustered ? 1 : catalog.nextIndexId(tableId);
    index.status = indexstatus::kUnique | (clustered ? indexstatus::kClustered : 0) |
                   (key.primary ? indexstatus::kPrimaryKey : indexstatus::kUniqueConstraint);
    std::string columnsSql;
    for (const auto& c : columns) {
        index.colids.push_back(c.colid);
        columnsSql += (columnsSql.empty() ? "" : ", ") + sqlite::quoteIdentifier(c.name);
    }
    {
        // Duplicates are found under the columns' collations, NULLs counting as equal, as
        // SQL Server's unique index sees them.
        sqlite::Statement duplicates(db.handle(), "SELECT " + columnsSql + " FROM " + sqlite::quoteIdentifier(tableName) +
                                                      " GROUP BY " + columnsSql + " HAVING count(*) > 1 LIMIT 1");
        if (duplicates.step()) {
            std::string value = duplicates.isNull(0) ? std::string("NULL") : duplicates.text(0);
            throw ServerError(1505, 14,
                              "CREATE UNIQUE INDEX terminated because a duplicate key was found for index ID " +
                                  std::to_string(index.indid) + ". Most significant primary key is '" + value + "'.")
                .followedBy(1750, 16, "Could not create constraint. See previous errors.")
                .terminated();
        }
    }
    catalog.addObject(keyName, key.primary ? "PK" : "UQ", tableId, 0, keyId);
    if (columns.size() == 1) catalog.setObjectInfo(keyId, columns[0].colid);  // a column constraint (sysconstraints)
    if (clustered) catalog.removeIndex(tableId, 0);
    catalog.addIndex(tableId, index);
    sqlite::exec(db.handle(), "CREATE UNIQUE INDEX " + sqlite::quoteIdentifier(sqliteIndexName(tableId, index.indid)) +
                                  " ON " + sqlite::quoteIdentifier(tableName) + " (" + columnsSql + ")");
    return keyName;
}

std::string createDefaultConstraint(Catalog& catalog, int tableId, std::string_view tableName, int colid,
                                    std::string_view columnName, const DefaultSpec& spec) {
    int defaultId = catalog.allocateObjectId();
    std::string name =
        spec.constraintName.empty() ? Catalog::generatedName("DF", tableName, columnName, defaultId) : spec.constraintName;
    if (catalog.findObject(name))
        throw ServerError(err::kObjectExists, 16, "There is already an object named '" + name + "' in the database.");
    catalog.addObject(name, "D", tableId, 0, defaultId);
    catalog.setObjectInfo(defaultId, colid);  // a column constraint (sysconstraints)
    catalog.addComment(defaultId, spec.text);
    catalog.setColumnDefault(tableId, colid, defaultId);
    return name;
}

}  // namespace sandbox::tsql
