#include <set>

#include "catalog/collation.h"
#include "catalog/server_error.h"
#include "catalog/system_tables.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

struct DefaultSpec {
    std::string constraintName;  // empty: generated DF__ name
    std::string text;            // as SQL Server 2000 stores it: "(0)", "('')", "(getdate())"
};

struct ColumnSpec {
    std::string name;
    TypeName type;
    std::string collation;
    std::optional<bool> nullable;
    bool identity = false;
    std::int64_t seed = 1;
    std::int64_t increment = 1;
    std::optional<DefaultSpec> defaultValue;
};

struct KeySpec {
    std::string constraintName;
    bool primary = true;     // PRIMARY KEY or UNIQUE
    std::optional<bool> clustered;
    std::vector<std::string> columns;
};

// The stored text of a default: outer parentheses reduced to one pair, and niladic
// functions in lower case as SQL Server 2000 writes them back.
// Examples: "0" -> "(0)", "((0))" -> "(0)", "GETDATE()" -> "(getdate())", "''" -> "('')".
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

// CREATE TABLE: the catalog rows (sysobjects, syscolumns, defaults with their text,
// the key with its index rows) and the SQLite table with its unique index, all at once.
class CreateTableStatement : public Statement {
public:
    ObjectName table;
    std::vector<ColumnSpec> columns;
    std::vector<KeySpec> keys;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        Catalog& catalog = db.catalog();
        const std::string& name = table.name();
        if (name.empty() || name[0] == '#')
            throw ServerError(err::kUnsupported, 16, "The sandbox server does not support temporary tables.");
        if (catalog.findObject(name))
            throw ServerError(err::kObjectExists, 16, "There is already an object named '" + name + "' in the database.");
        validate(context);
        atomically(db.handle(), [&] { create(context); });
        db.invalidate(name);
        context.done(false);
    }

private:
    std::vector<ColumnType> m_types;

    void validate(ExecContext& context) {
        std::set<std::string> seen;
        int identities = 0;
        m_types.clear();
        for (const auto& c : columns) {
            if (!seen.insert(lower(c.name)).second)
                throw ServerError(2705, 16, "Column names in each table must be unique. Column name '" + c.name +
                                                "' in table '" + table.name() + "' is specified more than once.");
            auto type = makeColumnType(c.type.name, c.type.first, c.type.second);
            if (!type)
                throw ServerError(2715, 16, "Column or parameter #" + std::to_string(seen.size()) +
                                                ": Cannot find data type " + c.type.name + ".");
            if (c.identity) {
                ++identities;
                bool integral = type->isInteger() && type->base->sqlType != SqlType::Bit;
                bool exact = (type->base->sqlType == SqlType::Decimal || type->base->sqlType == SqlType::Numeric) && type->scale == 0;
                if ((!integral && !exact) || (c.nullable && *c.nullable))
                    throw ServerError(2749, 16, "Identity column '" + c.name + "' must be of data type int, bigint, smallint, "
                                                    "tinyint, or decimal or numeric with a scale of 0, and constrained to be nonnullable.");
            }
            if (!c.collation.empty()) {
                CollationRules rules;
                if (!parseCollation(c.collation, rules))
                    throw ServerError(448, 16, "Invalid collation '" + c.collation + "'.");
            }
            m_types.push_back(*type);
        }
        if (identities > 1)
            throw ServerError(2744, 16, "Multiple identity columns specified for table '" + table.name() +
                                            "'. Only one identity column per table is allowed.");
        int primaries = 0;
        for (const auto& k : keys) {
            if (k.primary && ++primaries > 1)
                throw ServerError(8110, 16, "Cannot add multiple PRIMARY KEY constraints to table '" + table.name() + "'.");
            for (const auto& col : k.columns)
                if (!seen.count(lower(col)))
                    throw ServerError(1911, 16, "Column name '" + col + "' does not exist in the target table.");
            if (!k.constraintName.empty() && context.db().catalog().findObject(k.constraintName))
                throw ServerError(err::kObjectExists, 16, "There is already an object named '" + k.constraintName +
                                                              "' in the database.");
        }
        (void)context;
    }

    void create(ExecContext& context) {
        Database& db = context.db();
        Catalog& catalog = db.catalog();
        const std::string& name = table.name();
        std::set<std::string> keyColumns;
        for (const auto& k : keys)
            if (k.primary)
                for (const auto& c : k.columns) keyColumns.insert(lower(c));
        int tableId = catalog.addObject(name, "U", 0, 0);
        std::string ddl = "CREATE TABLE " + sqlite::quoteIdentifier(name) + " (";
        bool hasLong = false;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const ColumnSpec& spec = columns[i];
            const ColumnType& type = m_types[i];
            NewColumn col;
            col.name = spec.name;
            col.type = type;
            col.identity = spec.identity;
            bool inKey = keyColumns.count(lower(spec.name)) > 0;
            if (spec.nullable) {
                if (*spec.nullable && inKey)
                    throw ServerError(8111, 16, "Cannot define PRIMARY KEY constraint on nullable column in table '" + name + "'.");
                col.nullable = *spec.nullable;
            } else {
                col.nullable = !spec.identity && !inKey && type.base->sqlType != SqlType::Timestamp &&
                               context.session().options.ansiNullDefault;
            }
            col.collation = type.isCharacter() ? (spec.collation.empty() ? db.collation() : spec.collation) : "";
            int colid = static_cast<int>(i + 1);
            catalog.addColumn(tableId, colid, col);
            if (spec.defaultValue) {
                int defaultId = catalog.allocateObjectId();
                std::string dfName = spec.defaultValue->constraintName.empty()
                                         ? Catalog::generatedName("DF", name, spec.name, defaultId)
                                         : spec.defaultValue->constraintName;
                if (catalog.findObject(dfName))
                    throw ServerError(err::kObjectExists, 16, "There is already an object named '" + dfName + "' in the database.");
                catalog.addObject(dfName, "D", tableId, 0, defaultId);
                catalog.addComment(defaultId, spec.defaultValue->text);
                catalog.setColumnDefault(tableId, colid, defaultId);
            }
            if (spec.identity) {
                sqlite::Statement ident(db.handle(),
                                        "INSERT INTO \"~identity\" (id, colid, seed, increment, current) VALUES (?, ?, ?, ?, NULL)");
                ident.bind(1, std::int64_t{tableId}).bind(2, std::int64_t{colid}).bind(3, spec.seed).bind(4, spec.increment).step();
            }
            hasLong = hasLong || type.isLong();
            ddl += (i ? ", " : "") + sqlite::quoteIdentifier(spec.name) + " " + std::string(storageAffinity(type));
            if (type.isCharacter()) ddl += " COLLATE " + sqlite::quoteIdentifier(col.collation);
        }
        ddl += ")";
        sqlite::exec(db.handle(), ddl);
        bool clusteredTaken = false;
        for (const auto& k : keys)
            if (k.clustered && *k.clustered) clusteredTaken = true;
        bool haveClustered = false;
        for (const auto& k : keys) {
            bool clustered = k.clustered ? *k.clustered : (k.primary && !clusteredTaken && !haveClustered);
            if (clustered && haveClustered)
                throw ServerError(8112, 16, "Cannot add more than one clustered index for constraints on table '" + name + "'.");
            haveClustered = haveClustered || clustered;
            int keyId = catalog.allocateObjectId();
            std::string keyName = k.constraintName.empty()
                                      ? Catalog::generatedName(k.primary ? "PK" : "UQ", name, {}, keyId)
                                      : k.constraintName;
            catalog.addObject(keyName, k.primary ? "PK" : "UQ", tableId, 0, keyId);
            NewIndex index;
            index.name = keyName;
            index.indid = clustered ? 1 : catalog.nextIndexId(tableId);
            index.status = indexstatus::kUnique | (clustered ? indexstatus::kClustered : 0) |
                           (k.primary ? indexstatus::kPrimaryKey : indexstatus::kUniqueConstraint);
            std::string columnsSql;
            for (const auto& c : k.columns) {
                std::size_t at = 0;
                while (!iequals(columns[at].name, c)) ++at;
                index.colids.push_back(static_cast<int>(at + 1));
                columnsSql += (columnsSql.empty() ? "" : ", ") + sqlite::quoteIdentifier(columns[at].name);
            }
            catalog.addIndex(tableId, index);
            sqlite::exec(db.handle(), "CREATE UNIQUE INDEX " +
                                          sqlite::quoteIdentifier("~ix~" + std::to_string(tableId) + "~" + std::to_string(index.indid)) +
                                          " ON " + sqlite::quoteIdentifier(name) + " (" + columnsSql + ")");
        }
        if (!haveClustered) catalog.addIndex(tableId, NewIndex{name, 0, 0, {}});
        if (hasLong) catalog.addIndex(tableId, NewIndex{"t" + name, 255, 0, {}});
    }
};

void skipIndexOptions(Parser& p) {
    // WITH FILLFACTOR = n, ON [PRIMARY]
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

KeySpec parseKey(Parser& p, std::string constraintName, const std::string* columnName) {
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

[[noreturn]] void unsupportedConstraint(const std::string& what) {
    throw ServerError(err::kUnsupported, 16, "The sandbox server does not support " + what + " constraints.");
}

}  // namespace

std::unique_ptr<Statement> parseCreateTable(Parser& p) {
    p.expectWord("CREATE");
    p.expectWord("TABLE");
    auto s = std::make_unique<CreateTableStatement>();
    s->table = p.objectName();
    p.expectSymbol("(");
    do {
        if (p.peek().isSymbol(")")) break;  // a trailing comma is accepted by SQL Server 2000
        std::string constraintName;
        if (p.acceptWord("CONSTRAINT")) constraintName = p.identifier();
        const Token& t = p.peek();
        if (t.isWord("PRIMARY") || t.isWord("UNIQUE")) {
            s->keys.push_back(parseKey(p, constraintName, nullptr));
            continue;
        }
        if (t.isWord("FOREIGN") || t.isWord("CHECK")) unsupportedConstraint(upperName(t.text));
        if (!constraintName.empty()) p.syntaxError();
        ColumnSpec col;
        col.name = p.identifier();
        col.type = p.typeName();
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
                        if (p.peek().kind != TokenKind::Integer) p.syntaxError();
                        std::int64_t v = std::stoll(p.next().text);
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
                s->keys.push_back(parseKey(p, name, &col.name));
            } else if (o.isWord("REFERENCES") || o.isWord("FOREIGN") || o.isWord("CHECK")) {
                unsupportedConstraint(upperName(o.text));
            } else {
                if (!name.empty()) p.syntaxError();
                break;
            }
        }
        s->columns.push_back(std::move(col));
    } while (p.acceptSymbol(","));
    p.expectSymbol(")");
    for (int i = 0; i < 2; ++i) {
        if (p.acceptWord("ON") || p.acceptWord("TEXTIMAGE_ON")) {
            if (p.peek().kind == TokenKind::String) p.next();
            else p.identifier();
        }
    }
    return s;
}

}  // namespace sandbox::tsql
