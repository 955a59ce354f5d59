#include <algorithm>
#include "catalog/collation.h"
#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/alter_table.h"
#include "tsql/column_definition.h"
#include "tsql/dml_support.h"
#include "tsql/column_dependents.h"
#include "tsql/table_rules.h"
#include "tsql/parser.h"
#include "tsql/statements.h"
#include "tsql/table_rebuild.h"

namespace sandbox::tsql {
namespace {

bool isVariableLength(const ColumnType& type) {
    auto t = type.base->sqlType;
    return t == SqlType::VarChar || t == SqlType::NVarChar || t == SqlType::VarBinary;
}

bool sameCollation(const ColumnInfo& column, const ColumnType& type, const std::string& collation) {
    if (!column.type.isCharacter() || !type.isCharacter()) return true;
    return iequals(column.collation, collation);
}

// ALTER TABLE t ALTER COLUMN c type [COLLATE x] [NULL | NOT NULL]. The column keeps its
// name, place, default and identity; its type, size, nullability and collation change in
// the catalog, and every existing value is converted as an UPDATE would convert it:
// 8152 when text no longer fits, 245 when it does not convert, 515 when NOT NULL meets a
// NULL. Nothing changes unless every row converts.
class AlterColumnStatement : public Statement {
public:
    ObjectName table;
    std::string column;
    TypeName type;
    std::string collation;
    std::optional<bool> nullable;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        auto info = alteredTable(context, table);
        int at = info->findColumn(column);
        if (at < 0)
            throw ServerError(4924, 16, "ALTER TABLE ALTER COLUMN failed because column '" + column +
                                            "' does not exist in table '" + info->name + "'.");
        const ColumnInfo& old = info->columns[static_cast<std::size_t>(at)];
        if (old.type.isLong() || old.type.base->sqlType == SqlType::Timestamp || old.computed)
            throw ServerError(4928, 16, "Cannot alter column '" + old.name + "' because it is '" +
                                            (old.computed ? std::string("COMPUTED") : std::string(old.type.base->name)) +
                                            "'.");
        NewColumn altered = alteredColumn(context, old);
        checkDependents(db, *info, old, altered);
        std::vector<std::pair<std::int64_t, StoredValue>> values = convertedValues(context, *info, old, altered);
        try {
            atomically(db.handle(), [&] {
                db.catalog().updateColumn(info->id, old.colid, altered);
                rebuildTableStorage(db, info->id, [&] {
                    sqlite::Statement update(db.handle(), "UPDATE " + sqlite::quoteIdentifier(info->name) + " SET " +
                                                              sqlite::quoteIdentifier(old.name) + " = ? WHERE rowid = ?");
                    for (const auto& [rowid, value] : values) {
                        bindStored(update.handle(), 1, value);
                        update.bind(2, rowid).step();
                        update.reset();
                    }
                });
            });
        } catch (...) {
            db.invalidate(info->name);
            throw;
        }
        db.invalidate(info->name);
        context.done(false);
    }

private:
    // The column as the statement describes it. Quirk (SQL Server): ALTER COLUMN applies
    // ANSI_NULL_DFLT_ON whatever the session says, so a column without NULL or NOT NULL
    // becomes nullable; without COLLATE a character column takes the database's default
    // collation.
    NewColumn alteredColumn(ExecContext& context, const ColumnInfo& old) {
        ColumnSpec spec;
        spec.name = old.name;
        spec.type = type;
        spec.collation = collation;
        ColumnType newType = resolveColumnType(context.db(), spec, static_cast<std::size_t>(old.colid));
        if (newType.base->sqlType == SqlType::Timestamp)
            throw ServerError(err::kUnsupported, 16, "The sandbox server does not support ALTER COLUMN to timestamp.");
        if (!collation.empty() && !newType.isCharacter())
            throw ServerError(err::kUnsupported, 16,
                              "The sandbox server does not accept COLLATE for the column '" + old.name + "' of type " +
                                  newType.declaration() + ".");
        NewColumn altered;
        altered.name = old.name;
        altered.type = newType;
        altered.nullable = nullable.value_or(true);
        altered.identity = old.identity;
        altered.cdefault = old.defaultId;
        altered.collation = newType.isCharacter() ? (collation.empty() ? context.db().collation() : collation) : "";
        if (old.identity) {
            bool integral = newType.isInteger() && newType.base->sqlType != SqlType::Bit;
            bool exact = (newType.base->sqlType == SqlType::Decimal || newType.base->sqlType == SqlType::Numeric) &&
                         newType.scale == 0;
            if (!integral && !exact)
                throw ServerError(2749, 16, "Identity column '" + old.name + "' must be of data type int, bigint, smallint, "
                                                "tinyint, or decimal or numeric with a scale of 0, and constrained to be nonnullable.");
            if (altered.nullable)
                throw ServerError(8147, 16, "Could not create IDENTITY attribute on nullable column '" + old.name +
                                                "', table '" + context.db().name() + ".dbo." + table.name() + "'.");
        }
        return altered;
    }

    // Quirk (SQL Server 2000, as its ALTER TABLE documentation states): a column used in
    // an index can be altered only when it is varchar, nvarchar or varbinary, keeps its
    // type and collation and does not shrink; a PRIMARY KEY column cannot be altered at
    // all; a UNIQUE constraint allows a variable-length column to change length only; a
    // default allows any change but one of the data type (length, precision, scale,
    // nullability and collation may change). A column that a foreign key (either side)
    // or a CHECK constraint uses cannot be altered at all, nor one that a computed column
    // reads. Each blocking object gets its own 5074, then 4922 closes the refusal.
    void checkDependents(Database& db, const TableInfo& info, const ColumnInfo& old, const NewColumn& altered) {
        bool typeChanged = old.type.base != altered.type.base;
        bool shrinks = altered.type.length < old.type.length;
        bool collationKept = sameCollation(old, altered.type, altered.collation);
        bool varLength = isVariableLength(old.type);
        std::vector<ColumnDependent> blocking;
        for (auto& d : columnDependents(db, info, old)) {
            bool allowed = false;
            switch (d.kind) {
                case ColumnDependent::Kind::PrimaryKey: allowed = false; break;
                case ColumnDependent::Kind::UniqueConstraint: allowed = varLength && !typeChanged && collationKept; break;
                case ColumnDependent::Kind::Index: allowed = varLength && !typeChanged && !shrinks && collationKept; break;
                case ColumnDependent::Kind::Default: allowed = !typeChanged; break;
                default: allowed = false; break;
            }
            if (!allowed) blocking.push_back(std::move(d));
        }
        if (!blocking.empty()) throw dependentsRefusal(blocking, "ALTER COLUMN", old.name);
    }

    // Every non-null value converted to the new type (rowid, value), or the first refusal.
    std::vector<std::pair<std::int64_t, StoredValue>> convertedValues(ExecContext& context, const TableInfo& info,
                                                                      const ColumnInfo& old, const NewColumn& altered) {
        std::vector<std::pair<std::int64_t, StoredValue>> values;
        sqlite::Statement rows(context.db().handle(), "SELECT rowid, " + sqlite::quoteIdentifier(old.name) + " FROM " +
                                                          sqlite::quoteIdentifier(info.name) + " ORDER BY rowid");
        while (rows.step()) {
            StoredValue value = fromSqlite(sqlite3_column_value(rows.handle(), 1));
            if (value.isNull()) {
                if (!altered.nullable) throw nullNotAllowed(context, info, old, "UPDATE");
                continue;
            }
            try {
                values.emplace_back(rows.integer(0), convertTo(altered.type, value, ConversionMode::Assign));
            } catch (ServerError& e) {
                if (e.number() == err::kTruncation) e.terminated();
                throw;
            }
        }
        return values;
    }
};

}  // namespace

std::unique_ptr<Statement> parseAlterColumn(Parser& p, ObjectName table) {
    auto s = std::make_unique<AlterColumnStatement>();
    s->table = std::move(table);
    s->column = p.identifier();
    if (p.peek().isWord("ADD") || p.peek().isWord("DROP")) return skipUnsupported(p, "ALTER COLUMN ... " + upperName(p.peek().text));
    s->type = p.typeName();
    if (p.acceptWord("COLLATE")) s->collation = p.identifier();
    if (p.acceptWord("NULL")) {
        s->nullable = true;
    } else if (p.peek().isWord("NOT") && p.peek(1).isWord("NULL")) {
        p.next();
        p.next();
        s->nullable = false;
    }
    return s;
}

}  // namespace sandbox::tsql
