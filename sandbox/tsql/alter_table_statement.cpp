#include <set>
#include <variant>

#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/alter_table.h"
#include "tsql/column_definition.h"
#include "tsql/column_dependents.h"
#include "tsql/computed_columns.h"
#include "tsql/constraint_definition.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"
#include "tsql/table_rebuild.h"

namespace sandbox::tsql {
namespace {

constexpr const char* kCouldNotCreateConstraint = "Could not create constraint. See previous errors.";

// A refusal of ADD CONSTRAINT: the reason, then 1750.
ServerError constraintRefused(std::int32_t number, const std::string& text) {
    ServerError e(number, 16, text);
    e.followedBy(1750, 16, kCouldNotCreateConstraint);
    return e;
}

// "[CONSTRAINT name] DEFAULT (x) FOR column" of ALTER TABLE ... ADD.
struct DefaultFor {
    DefaultSpec spec;
    std::string column;
};

// "[CONSTRAINT name] PRIMARY KEY | UNIQUE (...)" of ALTER TABLE ... ADD.
struct KeyItem {
    KeySpec key;
};

using AddItem = std::variant<ColumnSpec, KeyItem, DefaultFor, ForeignKeySpec, CheckSpec>;

// ALTER TABLE t ADD column | constraint [, ...]: one statement, all of it or nothing.
// New columns go to the end of the table (colid after the last). Existing rows take the
// default of a NOT NULL column (or of a nullable one under WITH VALUES), numbers from the
// identity seed, or NULL. Keys are checked against the data (1505) before they exist.
class AlterTableAddStatement : public Statement {
public:
    ObjectName table;
    std::vector<AddItem> items;
    bool withValues = false;
    bool checkExisting = true;  // WITH NOCHECK: foreign keys and checks leave existing rows alone

    void execute(ExecContext& context) override {
        Database& db = context.db();
        auto info = alteredTable(context, table);
        std::string name = info->name;
        atomicallyForgettingTables(db, [&] {
            for (const auto& item : items) {
                if (const auto* column = std::get_if<ColumnSpec>(&item)) addColumn(context, *column);
                else if (const auto* key = std::get_if<KeyItem>(&item)) addKey(context, key->key);
                else if (const auto* fk = std::get_if<ForeignKeySpec>(&item))
                    createForeignKey(context, *current(context), *fk, checkExisting);
                else if (const auto* check = std::get_if<CheckSpec>(&item))
                    createCheckConstraint(context, *current(context), *check, checkExisting);
                else addDefault(context, std::get<DefaultFor>(item));
            }
        });
        context.done(false);
    }

private:
    // The table as the catalog has it now (earlier items of this statement included).
    std::shared_ptr<const TableInfo> current(ExecContext& context) {
        context.db().invalidate(table.name());
        return alteredTable(context, table);
    }

    void addColumn(ExecContext& context, const ColumnSpec& spec) {
        Database& db = context.db();
        Catalog& catalog = db.catalog();
        auto info = current(context);
        if (info->findColumn(spec.name) >= 0)
            throw ServerError(2705, 16, "Column names in each table must be unique. Column name '" + spec.name +
                                            "' in table '" + info->name + "' is specified more than once.");
        int colid = info->columns.empty() ? 1 : info->columns.back().colid + 1;
        if (!spec.computedText.empty()) {
            addComputedColumn(context, *info, spec, colid);
            return;
        }
        std::optional<bool> aliasNullability;
        ColumnType type = resolveColumnType(db, spec, static_cast<std::size_t>(colid), &aliasNullability);
        bool timestamp = type.base->sqlType == SqlType::Timestamp;
        checkDefaultAllowed(spec, type, info->name);
        if (spec.identity && info->identity)
            throw ServerError(2744, 16, "Multiple identity columns specified for table '" + info->name +
                                            "'. Only one identity column per table is allowed.");
        NewColumn column;
        column.name = spec.name;
        column.type = type;
        column.identity = spec.identity;
        column.nullable = spec.nullable      ? *spec.nullable
                          : aliasNullability ? *aliasNullability
                                             : !spec.identity && !timestamp && context.session().options.ansiNullDefault;
        column.collation = type.isCharacter() ? (spec.collation.empty() ? db.collation() : spec.collation) : "";
        // Quirk (SQL Server 2000): a NOT NULL column can be added only with a default (or
        // as an identity or timestamp column, which fill themselves), even to an empty table.
        if (!column.nullable && !spec.defaultValue && !spec.identity && !timestamp)
            throw ServerError(4901, 16,
                              "ALTER TABLE only allows columns to be added that can contain nulls or have a DEFAULT "
                              "definition specified. Column '" + spec.name + "' cannot be added to table '" + info->name +
                                  "' because it does not allow nulls and does not specify a DEFAULT definition.");
        catalog.addColumn(info->id, colid, column);
        if (spec.defaultValue) createDefaultConstraint(catalog, info->id, info->name, colid, spec.name, *spec.defaultValue);
        if (spec.identity) {
            sqlite::Statement ident(db.handle(),
                                    "INSERT INTO \"~identity\" (id, colid, seed, increment, current) VALUES (?, ?, ?, ?, NULL)");
            ident.bind(1, std::int64_t{info->id}).bind(2, std::int64_t{colid}).bind(3, spec.seed).bind(4, spec.increment).step();
        }
        if (type.isLong()) {
            sqlite::Statement chain(db.handle(), "SELECT 1 FROM sysindexes WHERE id = ? AND indid = 255");
            chain.bind(1, std::int64_t{info->id});
            if (!chain.step()) catalog.addIndex(info->id, NewIndex{"t" + info->name, 255, 0, {}});
        }
        rebuildTableStorage(db, info->id, [] {}, StoredTable{{}, spec.name});
        fillExistingRows(context, *info, spec, column);
    }

    // col AS expression: computed by SQLite for every row, old ones included.
    void addComputedColumn(ExecContext& context, const TableInfo& info, const ColumnSpec& spec, int colid) {
        Database& db = context.db();
        NewColumn column;
        column.name = spec.name;
        column.type = computedColumnType(spec.computedText, [&](std::string_view name) -> std::optional<ColumnType> {
            const int at = info.findColumn(name);
            if (at < 0) return std::nullopt;
            return info.columns[static_cast<std::size_t>(at)].type;
        });
        column.computed = true;
        column.nullable = true;
        column.collation = column.type.isCharacter() ? db.collation() : "";
        db.catalog().addColumn(info.id, colid, column);
        db.catalog().addComment(info.id, spec.computedText, colid);
        rebuildTableStorage(db, info.id, [] {});
    }

    // The value each existing row gets in a new column.
    void fillExistingRows(ExecContext& context, const TableInfo& info, const ColumnSpec& spec, const NewColumn& column) {
        Database& db = context.db();
        std::vector<std::int64_t> rowids;
        {
            sqlite::Statement rows(db.handle(), "SELECT rowid FROM " + sqlite::quoteIdentifier(info.name) + " ORDER BY rowid");
            while (rows.step()) rowids.push_back(rows.integer(0));
        }
        if (rowids.empty()) return;
        sqlite::Statement update(db.handle(), "UPDATE " + sqlite::quoteIdentifier(info.name) + " SET " +
                                                  sqlite::quoteIdentifier(spec.name) + " = ? WHERE rowid = ?");
        auto write = [&](std::int64_t rowid, const StoredValue& value) {
            bindStored(update.handle(), 1, value);
            update.bind(2, rowid).step();
            update.reset();
        };
        if (spec.identity) {
            std::optional<std::int64_t> value;
            for (auto rowid : rowids) {
                value = nextIdentityValue(column.type, value, spec.seed, spec.increment);
                write(rowid, StoredValue::ofInteger(*value));
            }
            db.setIdentityCurrent(info.id, *value);
            return;
        }
        if (column.type.base->sqlType == SqlType::Timestamp) {
            for (auto rowid : rowids) write(rowid, StoredValue::ofBlob(nextRowVersion(db)));
            return;
        }
        if (!spec.defaultValue || (column.nullable && !withValues)) return;
        ColumnInfo defaulted;
        defaulted.name = spec.name;
        defaulted.type = column.type;
        defaulted.defaultText = spec.defaultValue->text;
        StoredValue value = convertTo(column.type, evaluateDefault(context, defaulted), ConversionMode::Assign);
        for (auto rowid : rowids) write(rowid, value);
    }

    void addKey(ExecContext& context, const KeySpec& key) {
        Database& db = context.db();
        Catalog& catalog = db.catalog();
        auto info = current(context);
        if (!key.constraintName.empty() && catalog.findObject(key.constraintName))
            throw constraintRefused(err::kObjectExists,
                                    "There is already an object named '" + key.constraintName + "' in the database.");
        bool hasClustered = false;
        std::string clusteredName;
        {
            sqlite::Statement indexes(db.handle(),
                                      "SELECT i.indid, i.name, i.status FROM sysindexes i WHERE i.id = ? AND i.indid BETWEEN 1 AND 250");
            indexes.bind(1, std::int64_t{info->id});
            while (indexes.step()) {
                if (key.primary && (indexes.integer(2) & indexstatus::kPrimaryKey))
                    throw constraintRefused(1779, "Table '" + info->name + "' already has a primary key defined on it.");
                if (indexes.integer(0) == 1) {
                    hasClustered = true;
                    clusteredName = indexes.text(1);
                }
            }
        }
        std::vector<KeyColumn> columns;
        for (const auto& name : key.columns) {
            int at = info->findColumn(name);
            if (at < 0) throw constraintRefused(1911, "Column name '" + name + "' does not exist in the target table.");
            const ColumnInfo& c = info->columns[static_cast<std::size_t>(at)];
            if (key.primary && c.nullable)
                throw constraintRefused(8111, "Cannot define PRIMARY KEY constraint on nullable column in table '" +
                                                  info->name + "'.");
            columns.push_back(KeyColumn{c.name, c.colid});
        }
        bool clustered = key.clustered ? *key.clustered : key.primary && !hasClustered;
        if (clustered && hasClustered)
            throw constraintRefused(1902, "Cannot create more than one clustered index on table '" + info->name +
                                              "'. Drop the existing clustered index '" + clusteredName +
                                              "' before creating another.");
        createKeyConstraint(db, info->id, info->name, columns, key, clustered);
    }

    void addDefault(ExecContext& context, const DefaultFor& item) {
        Database& db = context.db();
        auto info = current(context);
        int at = info->findColumn(item.column);
        if (at < 0 || info->columns[static_cast<std::size_t>(at)].identity ||
            info->columns[static_cast<std::size_t>(at)].type.base->sqlType == SqlType::Timestamp)
            throw constraintRefused(1752, "Column '" + item.column + "' in table '" + info->name +
                                              "' is invalid for creating a default constraint.");
        const ColumnInfo& column = info->columns[static_cast<std::size_t>(at)];
        if (column.defaultId != 0) throw constraintRefused(1781, "Column already has a DEFAULT bound to it.");
        if (!item.spec.constraintName.empty() && db.catalog().findObject(item.spec.constraintName))
            throw constraintRefused(err::kObjectExists,
                                    "There is already an object named '" + item.spec.constraintName + "' in the database.");
        createDefaultConstraint(db.catalog(), info->id, info->name, column.colid, column.name, item.spec);
    }
};

// One item of ALTER TABLE ... DROP: a constraint, or a column.
struct DropItem {
    bool column = false;
    std::string name;
};

// ALTER TABLE t DROP { [CONSTRAINT] name | COLUMN name } [, ...], all of it or nothing.
// A key takes its index with it (a clustered one gives the table its heap row back); a
// default leaves its column without one. A column goes with its values; the others keep
// their colids, as on SQL Server 2000; one that an index, a key, a default, a CHECK
// constraint, a foreign key or a computed column uses stays (5074 for each, then 4922).
class AlterTableDropStatement : public Statement {
public:
    ObjectName table;
    std::vector<DropItem> items;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        auto info = alteredTable(context, table);
        atomicallyForgettingTables(db, [&] {
            for (const auto& item : items) {
                if (item.column) {
                    dropColumn(db, item.name);
                } else {
                    db.invalidate(info->name);
                    drop(db, *alteredTable(context, table), item.name);
                }
            }
        });
        context.done(false);
    }

private:
    void dropColumn(Database& db, const std::string& name) {
        db.invalidate(table.name());
        auto info = db.table(table.name());
        const int at = info->findColumn(name);
        if (at < 0)
            throw ServerError(4924, 16, "ALTER TABLE DROP COLUMN failed because column '" + name +
                                            "' does not exist in table '" + info->name + "'.");
        const ColumnInfo& column = info->columns[static_cast<std::size_t>(at)];
        if (info->columns.size() == 1)
            throw ServerError(4923, 16, "ALTER TABLE DROP COLUMN failed because '" + column.name +
                                            "' is the only data column in table '" + info->name +
                                            "'. A table must have at least one data column.");
        const std::vector<ColumnDependent> dependents = columnDependents(db, *info, column);
        if (!dependents.empty()) throw dependentsRefusal(dependents, "DROP COLUMN", column.name);
        for (const char* sql : {"DELETE FROM syscolumns WHERE id = ? AND colid = ?",
                                "DELETE FROM syscomments WHERE id = ? AND number = ?",
                                "DELETE FROM \"~identity\" WHERE id = ? AND colid = ?"}) {
            sqlite::Statement remove(db.handle(), sql);
            remove.bind(1, std::int64_t{info->id}).bind(2, std::int64_t{column.colid}).step();
        }
        rebuildTableStorage(db, info->id, [] {});
        db.invalidate(info->name);
    }

    static void drop(Database& db, const TableInfo& info, const std::string& name) {
        Catalog& catalog = db.catalog();
        auto object = catalog.findObject(name);
        static const std::set<std::string> kConstraintTypes = {"PK", "UQ", "D", "F", "C"};
        if (!object || object->parentObj != info.id || !kConstraintTypes.count(object->xtype))
            throw ServerError(3728, 16, "'" + name + "' is not a constraint.")
                .followedBy(3727, 16, "Could not drop constraint. See previous errors.", 0);
        if (object->xtype == "PK" || object->xtype == "UQ") {
            sqlite::Statement index(db.handle(), "SELECT indid FROM sysindexes WHERE id = ? AND name = ? AND indid BETWEEN 1 AND 250");
            index.bind(1, std::int64_t{info.id}).bind(2, object->name);
            if (index.step()) {
                int indid = static_cast<int>(index.integer(0));
                index = sqlite::Statement();
                // A key that a foreign key references stays (3725).
                sqlite::Statement referencing(db.handle(),
                                              "SELECT o.name, t.name FROM sysreferences r JOIN sysobjects o ON o.id = r.constid "
                                              "JOIN sysobjects t ON t.id = r.fkeyid WHERE r.rkeyid = ? AND r.rkeyindid = ?");
                referencing.bind(1, std::int64_t{info.id}).bind(2, std::int64_t{indid});
                if (referencing.step())
                    throw ServerError(3725, 16, "The constraint '" + object->name + "' is being referenced by table '" +
                                                    referencing.text(1) + "', foreign key constraint '" +
                                                    referencing.text(0) + "'.")
                        .followedBy(3727, 16, "Could not drop constraint. See previous errors.", 0);
                catalog.removeIndex(info.id, indid);
                sqlite::exec(db.handle(), "DROP INDEX IF EXISTS " + sqlite::quoteIdentifier(sqliteIndexName(info.id, indid)));
                if (indid == 1) catalog.addIndex(info.id, NewIndex{info.name, 0, 0, {}});
            }
        } else if (object->xtype == "D") {
            for (const auto& column : info.columns)
                if (column.defaultId == object->id) catalog.setColumnDefault(info.id, column.colid, 0);
        }
        catalog.dropObject(object->id);
    }
};

// Parses one item of ADD: a column, or a key or default constraint.
void parseAddItem(Parser& p, std::vector<AddItem>& items) {
    std::string constraintName;
    if (p.acceptWord("CONSTRAINT")) constraintName = p.identifier();
    const Token& t = p.peek();
    if (t.isWord("PRIMARY") || t.isWord("UNIQUE")) {
        items.emplace_back(KeyItem{parseKeyConstraint(p, constraintName, nullptr)});
        return;
    }
    if (t.isWord("DEFAULT")) {
        p.next();
        std::size_t start = p.position();
        ExprPtr expr = p.expression();
        DefaultFor item{DefaultSpec{constraintName, storedDefaultText(*expr, p.sourceSince(start))}, {}};
        p.expectWord("FOR");
        item.column = p.identifier();
        items.emplace_back(std::move(item));
        return;
    }
    if (t.isWord("FOREIGN")) {
        items.emplace_back(parseForeignKey(p, constraintName, nullptr));
        return;
    }
    if (t.isWord("CHECK")) {
        items.emplace_back(parseCheck(p, constraintName, nullptr));
        return;
    }
    if (!constraintName.empty()) p.syntaxError();
    TableConstraints constraints;
    items.emplace_back(parseColumnDefinition(p, constraints));
    for (auto& key : constraints.keys) items.emplace_back(KeyItem{std::move(key)});
    for (auto& fk : constraints.foreignKeys) items.emplace_back(std::move(fk));
    for (auto& check : constraints.checks) items.emplace_back(std::move(check));
}

}  // namespace

std::shared_ptr<const TableInfo> alteredTable(ExecContext& context, const ObjectName& table) {
    Database& db = context.db();
    auto info = db.table(table.name());
    if (!info || info->xtype != "U")
        throw ServerError(4902, 16, "Cannot alter table '" + table.name() + "' because this table does not exist in database '" +
                                        db.name() + "'.");
    return info;
}

std::unique_ptr<Statement> parseAlterTable(Parser& p) {
    p.expectWord("ALTER");
    p.expectWord("TABLE");
    ObjectName table = p.objectName();
    if (p.peek().isWord("ALTER")) {
        p.next();
        p.expectWord("COLUMN");
        return parseAlterColumn(p, std::move(table));
    }
    bool checkExisting = true;
    bool withCheck = false;
    if (p.peek().isWord("WITH") && (p.peek(1).isWord("CHECK") || p.peek(1).isWord("NOCHECK"))) {
        p.next();
        checkExisting = p.next().isWord("CHECK");
        withCheck = checkExisting;
    }
    if ((p.peek().isWord("CHECK") || p.peek().isWord("NOCHECK")) && p.peek(1).isWord("CONSTRAINT"))
        return parseConstraintChecking(p, std::move(table), withCheck);
    if (p.peek().isWord("ENABLE") || p.peek().isWord("DISABLE")) return parseTriggerSwitch(p, std::move(table));
    if (p.acceptWord("ADD")) {
        auto s = std::make_unique<AlterTableAddStatement>();
        s->table = std::move(table);
        s->checkExisting = checkExisting;
        do {
            parseAddItem(p, s->items);
        } while (p.acceptSymbol(","));
        if (p.peek().isWord("WITH") && p.peek(1).isWord("VALUES")) {
            p.next();
            p.next();
            s->withValues = true;
        }
        return s;
    }
    if (p.acceptWord("DROP")) {
        auto s = std::make_unique<AlterTableDropStatement>();
        s->table = std::move(table);
        bool column = false;  // a name without CONSTRAINT or COLUMN is of the kind before it
        do {
            if (p.acceptWord("COLUMN")) column = true;
            else if (p.acceptWord("CONSTRAINT")) column = false;
            s->items.push_back(DropItem{column, p.identifier()});
        } while (p.acceptSymbol(","));
        return s;
    }
    std::string what = "ALTER TABLE ... " + upperName(p.peek().text);
    if (p.peek(1).kind == TokenKind::Word) what += " " + upperName(p.peek(1).text);
    return skipUnsupported(p, what);
}

}  // namespace sandbox::tsql
