#include <set>

#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/column_definition.h"
#include "tsql/computed_columns.h"
#include "tsql/constraint_definition.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// CREATE TABLE: the catalog rows (sysobjects, syscolumns, defaults with their text,
// the keys with their index rows, foreign keys, checks, computed columns' text) and the
// SQLite table with its unique indexes, all at once.
class CreateTableStatement : public Statement {
public:
    ObjectName table;
    std::vector<ColumnSpec> columns;
    TableConstraints constraints;

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
    std::vector<std::optional<bool>> m_aliasNullability;  // per column: its alias type's, if any

    void validate(ExecContext& context) {
        std::set<std::string> seen;
        int identities = 0;
        m_types.clear();
        m_aliasNullability.clear();
        for (const auto& c : columns) {
            if (!seen.insert(lower(c.name)).second)
                throw ServerError(2705, 16, "Column names in each table must be unique. Column name '" + c.name +
                                                "' in table '" + table.name() + "' is specified more than once.");
            if (c.identity) ++identities;
            std::optional<bool> aliasNullability;
            if (c.computedText.empty()) m_types.push_back(resolveColumnType(context.db(), c, seen.size(), &aliasNullability));
            else m_types.push_back(*makeColumnType("int", std::nullopt, std::nullopt));  // decided below
            m_aliasNullability.push_back(aliasNullability);
        }
        // A computed column takes its expression's type over the other columns.
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].computedText.empty()) continue;
            m_types[i] = computedColumnType(columns[i].computedText, [&](std::string_view name) -> std::optional<ColumnType> {
                for (std::size_t k = 0; k < columns.size(); ++k)
                    if (iequals(columns[k].name, name) && columns[k].computedText.empty()) return m_types[k];
                return std::nullopt;
            });
        }
        if (identities > 1)
            throw ServerError(2744, 16, "Multiple identity columns specified for table '" + table.name() +
                                            "'. Only one identity column per table is allowed.");
        int primaries = 0;
        for (const auto& k : constraints.keys) {
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
        for (const auto& k : constraints.keys)
            if (k.primary)
                for (const auto& c : k.columns) keyColumns.insert(lower(c));
        int tableId = catalog.addObject(name, "U", 0, 0);
        std::string ddl = "CREATE TABLE " + sqlite::quoteIdentifier(name) + " (";
        bool hasLong = false;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const ColumnSpec& spec = columns[i];
            const ColumnType& type = m_types[i];
            checkDefaultAllowed(spec, type, name);
            NewColumn col;
            col.name = spec.name;
            col.type = type;
            col.identity = spec.identity;
            bool inKey = keyColumns.count(lower(spec.name)) > 0;
            if (spec.nullable) {
                if (*spec.nullable && inKey)
                    throw ServerError(8111, 16, "Cannot define PRIMARY KEY constraint on nullable column in table '" + name + "'.");
                col.nullable = *spec.nullable;
            } else if (m_aliasNullability[i]) {
                col.nullable = *m_aliasNullability[i] && !inKey && !spec.identity;
            } else {
                col.nullable = !spec.identity && !inKey && type.base->sqlType != SqlType::Timestamp &&
                               context.session().options.ansiNullDefault;
            }
            col.collation = type.isCharacter() ? (spec.collation.empty() ? db.collation() : spec.collation) : "";
            int colid = static_cast<int>(i + 1);
            if (!spec.computedText.empty()) {
                // A computed column allows NULL and is computed by SQLite from the row.
                col.computed = true;
                col.nullable = true;
                catalog.addColumn(tableId, colid, col);
                catalog.addComment(tableId, spec.computedText, colid);
                ddl += (i ? ", " : "") + sqliteComputedColumn(spec.name, spec.computedText, db.name(), db.collation());
                continue;
            }
            catalog.addColumn(tableId, colid, col);
            if (spec.defaultValue) createDefaultConstraint(catalog, tableId, name, colid, spec.name, *spec.defaultValue);
            if (spec.identity) {
                sqlite::Statement ident(db.handle(),
                                        "INSERT INTO \"~identity\" (id, colid, seed, increment, current) VALUES (?, ?, ?, ?, NULL)");
                ident.bind(1, std::int64_t{tableId}).bind(2, std::int64_t{colid}).bind(3, spec.seed).bind(4, spec.increment).step();
            }
            hasLong = hasLong || type.isLong();
            ddl += (i ? ", " : "") + sqliteColumnDefinition(spec.name, type, col.collation);
        }
        ddl += ")";
        sqlite::exec(db.handle(), ddl);
        bool clusteredTaken = false;
        for (const auto& k : constraints.keys)
            if (k.clustered && *k.clustered) clusteredTaken = true;
        bool haveClustered = false;
        for (const auto& k : constraints.keys) {
            bool clustered = k.clustered ? *k.clustered : (k.primary && !clusteredTaken && !haveClustered);
            if (clustered && haveClustered)
                throw ServerError(8112, 16, "Cannot add more than one clustered index for constraints on table '" + name + "'.");
            haveClustered = haveClustered || clustered;
            std::vector<KeyColumn> keyColumns;
            for (const auto& c : k.columns) {
                std::size_t at = 0;
                while (!iequals(columns[at].name, c)) ++at;
                keyColumns.push_back(KeyColumn{columns[at].name, static_cast<int>(at + 1)});
            }
            createKeyConstraint(db, tableId, name, keyColumns, k, clustered);
        }
        if (!haveClustered) catalog.addIndex(tableId, NewIndex{name, 0, 0, {}});
        if (hasLong) catalog.addIndex(tableId, NewIndex{"t" + name, 255, 0, {}});
        if (constraints.foreignKeys.empty() && constraints.checks.empty()) return;
        db.invalidate(name);
        auto info = db.table(name);
        for (const auto& fk : constraints.foreignKeys) createForeignKey(context, *info, fk, true);
        for (const auto& check : constraints.checks) createCheckConstraint(context, *info, check, true);
        db.invalidateAll();
    }
};

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
            s->constraints.keys.push_back(parseKeyConstraint(p, constraintName, nullptr));
            continue;
        }
        if (t.isWord("FOREIGN")) {
            s->constraints.foreignKeys.push_back(parseForeignKey(p, constraintName, nullptr));
            continue;
        }
        if (t.isWord("CHECK")) {
            s->constraints.checks.push_back(parseCheck(p, constraintName, nullptr));
            continue;
        }
        if (!constraintName.empty()) p.syntaxError();
        ColumnSpec col = parseColumnDefinition(p, s->constraints);
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
