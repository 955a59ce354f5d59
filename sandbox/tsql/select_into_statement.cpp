// SELECT ... INTO new_table FROM ...: the classic way to copy a table. The query runs,
// and a new table gets its columns (names, types, nullability and collations of the
// columns selected; expressions typed as SQL Server types them) and its rows. An identity
// column selected as it is, from one table without joins, grouping, aggregates or UNION,
// stays an identity column (seed and increment kept, current value the highest copied);
// otherwise none of the new columns is one. Keys, indexes, defaults, constraints and
// triggers are not copied: the new table is a heap. As on SQL Server:
//   SELECT * INTO tbCopy FROM tbX          -> tbCopy with tbX's columns and rows
//   SELECT a + 1 INTO tbY FROM tbX         -> 8155 No column was specified for column 1 of 'tbY'.
//   SELECT * INTO tbX FROM tbX             -> 2714 There is already an object named 'tbX' in the database.
#include <set>

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/column_definition.h"
#include "tsql/dml_support.h"
#include "tsql/exec_context.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

bool isAggregate(const Expr& e) {
    if (e.kind == ExprKind::Function) {
        const std::string name = lower(e.text);
        if (name == "count" || name == "count_big" || name == "sum" || name == "avg" || name == "min" ||
            name == "max")
            return true;
    }
    for (const auto& arg : e.args)
        if (arg && isAggregate(*arg)) return true;
    return false;
}

class SelectIntoStatement : public Statement {
public:
    explicit SelectIntoStatement(std::shared_ptr<Select> select) : m_select(std::move(select)) {}

    void execute(ExecContext& context) override {
        Database& db = context.db();
        const std::string name = m_select->into->name();
        if (name.empty() || name[0] == '#')
            throw ServerError(err::kUnsupported, 16, "The sandbox server does not support temporary tables.");
        if (db.catalog().findObject(name))
            throw ServerError(err::kObjectExists, 16, "There is already an object named '" + name + "' in the database.");

        TranslationContext names = context.translation();
        Translator translator(names);
        std::vector<Constant> constants;
        translator.collectConstants(&constants);
        std::vector<std::optional<ColumnType>> itemTypes;
        const std::string sql = translator.select(*m_select, &itemTypes);
        bool align = true;
        for (const auto& item : m_select->items)
            if (item.expr->kind == ExprKind::Star) align = false;
        StoredRowSet result;
        {
            StatementLease stmt(context.prepare(sql, &translator));
            bindConstants(stmt.get(), constants);
            result = readStoredRows(context, stmt.get(), translator, itemTypes, align);
        }
        checkNames(result, name);
        const int identityAt = inheritedIdentity(result);
        atomically(db.handle(), [&] { create(context, name, result, identityAt); });
        db.invalidate(name);
        context.done(true, static_cast<std::int64_t>(result.rows.size()));
    }

private:
    // 8155 for an expression without a name, 2705 for a name given twice.
    static void checkNames(const StoredRowSet& result, const std::string& table) {
        std::set<std::string> seen;
        for (std::size_t i = 0; i < result.columns.size(); ++i) {
            const std::string& column = result.columns[i].name;
            if (column.empty())
                throw ServerError(8155, 16, "No column was specified for column " + std::to_string(i + 1) + " of '" +
                                                table + "'.");
            if (!seen.insert(lower(column)).second)
                throw ServerError(2705, 16, "Column names in each table must be unique. Column name '" + column +
                                                "' in table '" + table + "' is specified more than once.");
        }
    }

    // The result column that stays an identity column, or -1. Quirk (SQL Server): when
    // the query joins, groups, aggregates or unions, or selects its identity column more
    // than once, none does, and a selected identity column becomes a plain NOT NULL one.
    int inheritedIdentity(StoredRowSet& result) const {
        int found = -1;
        int identities = 0;
        for (std::size_t i = 0; i < result.columns.size(); ++i)
            if (result.columns[i].identity) {
                ++identities;
                found = static_cast<int>(i);
            }
        bool simple = identities == 1 && m_select->from.size() == 1 && m_select->from[0].joins.empty() &&
                      !m_select->from[0].table.derived && m_select->groupBy.empty() && m_select->unions.empty();
        for (const auto& item : m_select->items) simple = simple && !isAggregate(*item.expr);
        if (found >= 0) {
            const auto& source = result.columns[static_cast<std::size_t>(found)].sourceTable;
            simple = simple && source && source->identity;
        }
        if (simple) return found;
        for (auto& column : result.columns)
            if (column.identity) {
                column.identity = false;
                column.nullable = false;
            }
        return -1;
    }

    static void create(ExecContext& context, const std::string& name, const StoredRowSet& result, int identityAt) {
        Database& db = context.db();
        Catalog& catalog = db.catalog();
        const int tableId = catalog.addObject(name, "U", 0, 0);
        std::string ddl;
        std::string columns;
        std::string values;
        bool hasLong = false;
        for (std::size_t i = 0; i < result.columns.size(); ++i) {
            const ResultColumn& c = result.columns[i];
            NewColumn column;
            column.name = c.name;
            column.type = c.type;
            column.nullable = c.nullable && static_cast<int>(i) != identityAt;
            column.identity = static_cast<int>(i) == identityAt;
            column.collation = c.type.isCharacter() ? (c.collation.empty() ? db.collation() : c.collation) : "";
            catalog.addColumn(tableId, static_cast<int>(i + 1), column);
            hasLong = hasLong || c.type.isLong();
            ddl += (i ? ", " : "") + sqliteColumnDefinition(c.name, c.type, column.collation);
            columns += (i ? ", " : "") + sqlite::quoteIdentifier(c.name);
            values += i ? ", ?" : "?";
        }
        catalog.addIndex(tableId, NewIndex{name, 0, 0, {}});
        if (hasLong) catalog.addIndex(tableId, NewIndex{"t" + name, 255, 0, {}});
        sqlite::exec(db.handle(), "CREATE TABLE " + sqlite::quoteIdentifier(name) + " (" + ddl + ")");
        sqlite::Statement insert(db.handle(), "INSERT INTO " + sqlite::quoteIdentifier(name) + " (" + columns +
                                                  ") VALUES (" + values + ")");
        std::optional<std::int64_t> highest;
        for (const auto& row : result.rows) {
            for (std::size_t i = 0; i < row.size(); ++i) bindStored(insert.handle(), static_cast<int>(i + 1), row[i]);
            insert.step();
            insert.reset();
            if (identityAt >= 0) {
                const StoredValue& v = row[static_cast<std::size_t>(identityAt)];
                if (v.kind == StoredValue::Kind::Integer && (!highest || v.integer > *highest)) highest = v.integer;
            }
        }
        if (identityAt < 0) return;
        const IdentityInfo& source = *result.columns[static_cast<std::size_t>(identityAt)].sourceTable->identity;
        sqlite::Statement ident(db.handle(),
                                "INSERT INTO \"~identity\" (id, colid, seed, increment, current) VALUES (?, ?, ?, ?, ?)");
        ident.bind(1, std::int64_t{tableId}).bind(2, std::int64_t{identityAt + 1}).bind(3, source.seed);
        ident.bind(4, source.increment);
        if (highest) ident.bind(5, *highest);
        else ident.bindNull(5);
        ident.step();
    }

    std::shared_ptr<Select> m_select;
};

}  // namespace

std::unique_ptr<Statement> makeSelectInto(std::shared_ptr<Select> query) {
    return std::make_unique<SelectIntoStatement>(std::move(query));
}

}  // namespace sandbox::tsql
