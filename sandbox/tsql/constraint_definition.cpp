#include "tsql/constraint_definition.h"

#include <algorithm>

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/column_definition.h"
#include "tsql/constraint_checks.h"
#include "tsql/parser.h"
#include "tsql/table_rules.h"

namespace sandbox::tsql {
namespace {

using sqlite::quoteIdentifier;

constexpr const char* kCouldNotCreateConstraint =
    "Could not create constraint. See previous errors.";

ServerError refused(std::int32_t number, const std::string& text) {
    ServerError e(number, 16, text);
    e.followedBy(1750, 16, kCouldNotCreateConstraint);
    return e;
}

void refuseTakenName(Catalog& catalog, const std::string& name) {
    if (!name.empty() && catalog.findObject(name))
        throw refused(err::kObjectExists,
                      "There is already an object named '" + name + "' in the database.");
}

// ON DELETE | ON UPDATE { NO ACTION | CASCADE }, SQL Server 2000's two actions.
void parseReferentialActions(Parser& p, ForeignKeySpec& fk) {
    while (p.peek().isWord("ON") && (p.peek(1).isWord("DELETE") || p.peek(1).isWord("UPDATE"))) {
        p.next();
        const bool onDelete = p.next().isWord("DELETE");
        bool cascade = false;
        if (p.acceptWord("CASCADE")) {
            cascade = true;
        } else {
            p.expectWord("NO");
            p.expectWord("ACTION");
        }
        (onDelete ? fk.deleteCascade : fk.updateCascade) = cascade;
    }
}

bool parseNotForReplication(Parser& p) {
    if (p.peek().isWord("NOT") && p.peek(1).isWord("FOR")) {
        p.next();
        p.next();
        p.expectWord("REPLICATION");
        return true;
    }
    return false;
}

// sysreferences keeps up to 16 column ids as 2-byte little-endian numbers.
std::string packedColids(const std::vector<int>& colids) {
    std::string bytes;
    for (int c : colids) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

// The tables from which `table` is reached along the cascading foreign keys of one kind
// (each an edge from the referenced table to the referencing one), `table` included.
std::vector<int> cascadeAncestors(sqlite3* db, int table, int cascadeBit) {
    std::vector<int> found;
    std::vector<int> pending{table};
    sqlite::Statement parents(db,
                              "SELECT DISTINCT r.rkeyid FROM sysreferences r JOIN sysobjects o ON o.id = r.constid "
                              "WHERE r.fkeyid = ? AND (o.status & ?) <> 0");
    while (!pending.empty()) {
        const int next = pending.back();
        pending.pop_back();
        if (std::find(found.begin(), found.end(), next) != found.end()) continue;
        found.push_back(next);
        parents.bind(1, std::int64_t{next}).bind(2, std::int64_t{cascadeBit});
        while (parents.step()) pending.push_back(static_cast<int>(parents.integer(0)));
        parents.reset();
    }
    return found;
}

// Quirk (SQL Server): a cascading foreign key may not close a cycle of cascades (a table
// that references itself included) nor give a table a second cascade path from another:
// 1785, then 1750. The new edge parent -> child closes a cycle when the child cascades
// into the parent already, and opens a second path when a table that cascades into the
// parent (or the parent) cascades into the child already.
void refuseCascadeCycles(Database& db, const std::string& name, const TableInfo& child, int parentId,
                         int cascadeBit) {
    const std::vector<int> intoParent = cascadeAncestors(db.handle(), parentId, cascadeBit);
    const std::vector<int> intoChild = cascadeAncestors(db.handle(), child.id, cascadeBit);
    bool refuse = false;
    for (int table : intoParent)
        refuse = refuse || std::find(intoChild.begin(), intoChild.end(), table) != intoChild.end();
    if (refuse)
        throw refused(1785, "Introducing FOREIGN KEY constraint '" + name + "' on table '" + child.name +
                                "' may cause cycles or multiple cascade paths. Specify ON DELETE NO ACTION or "
                                "ON UPDATE NO ACTION, or modify other FOREIGN KEY constraints.");
}

}  // namespace

ForeignKeySpec parseForeignKey(Parser& p, std::string constraintName,
                               const std::string* columnName) {
    ForeignKeySpec fk;
    fk.constraintName = std::move(constraintName);
    if (p.acceptWord("FOREIGN")) {
        p.expectWord("KEY");
        if (!columnName || p.peek().isSymbol("(")) fk.columns = p.columnList();
    }
    if (fk.columns.empty()) {
        if (!columnName) p.syntaxError();
        fk.columns.push_back(*columnName);
        fk.columnLevel = true;
    }
    p.expectWord("REFERENCES");
    fk.referencedTable = p.objectName();
    if (p.peek().isSymbol("(")) fk.referencedColumns = p.columnList();
    parseReferentialActions(p, fk);
    fk.notForReplication = parseNotForReplication(p);
    return fk;
}

CheckSpec parseCheck(Parser& p, std::string constraintName, const std::string* columnName) {
    CheckSpec check;
    check.constraintName = std::move(constraintName);
    if (columnName) check.column = *columnName;
    p.expectWord("CHECK");
    check.notForReplication = parseNotForReplication(p);
    p.expectSymbol("(");
    const std::size_t start = p.position();
    ExprPtr condition = p.expression();
    check.text = "(" + std::string(p.sourceSince(start)) + ")";
    p.expectSymbol(")");
    return check;
}

std::string createCheckConstraint(ExecContext& context, const TableInfo& table,
                                  const CheckSpec& spec, bool checkExisting) {
    Database& db = context.db();
    Catalog& catalog = db.catalog();
    refuseTakenName(catalog, spec.constraintName);
    std::vector<std::string> columns;
    for (const auto& name : columnsReadBy(spec.text)) {
        const int at = table.findColumn(name);
        if (at < 0)
            throw ServerError(err::kInvalidColumn, 16, "Invalid column name '" + name + "'.", 1,
                              ErrorScope::Batch);
        columns.push_back(table.columns[static_cast<std::size_t>(at)].name);
    }
    std::string condition;
    try {
        condition = storedExpressionSql(spec.text, db.name(), db.collation());
    } catch (const ServerError& e) {
        throw ServerError(err::kUnsupported, 16,
                          "The sandbox server cannot evaluate the CHECK constraint " + spec.text +
                              ": " + e.text());
    }
    const int id = catalog.allocateObjectId();
    const std::string firstColumn = !spec.column.empty()  ? spec.column
                                    : columns.size() == 1 ? columns[0]
                                                          : "";
    const std::string name = spec.constraintName.empty()
                                 ? Catalog::generatedName("CK", table.name, firstColumn, id)
                                 : spec.constraintName;
    CheckRule rule;
    rule.name = name;
    rule.sql = condition;
    if (columns.size() == 1)
        rule.colid = table.columns[static_cast<std::size_t>(table.findColumn(columns[0]))].colid;
    if (checkExisting) checkAllRows(context, table, rule);
    const int status = (spec.column.empty() ? 0 : kStatusConstraintColumnLevel) |
                       (spec.notForReplication ? kStatusConstraintNotForReplication : 0) |
                       (checkExisting && !spec.notForReplication ? 0 : kStatusConstraintNotTrusted);
    catalog.addObject(name, "C", table.id, status, id);
    if (rule.colid != 0) catalog.setObjectInfo(id, rule.colid);
    catalog.addComment(id, spec.text);
    return name;
}

std::string createForeignKey(ExecContext& context, const TableInfo& table,
                             const ForeignKeySpec& spec, bool checkExisting) {
    Database& db = context.db();
    Catalog& catalog = db.catalog();
    refuseTakenName(catalog, spec.constraintName);
    const int id = catalog.allocateObjectId();
    const std::string name = spec.constraintName.empty()
                                 ? Catalog::generatedName("FK", table.name, spec.columns[0], id)
                                 : spec.constraintName;
    db.invalidate(spec.referencedTable.name());
    auto parent = iequals(spec.referencedTable.name(), table.name)
                      ? std::make_shared<const TableInfo>(table)
                      : db.table(spec.referencedTable.name());
    if (!parent || parent->xtype != "U")
        throw refused(1767, "Foreign key '" + name + "' references invalid table '" +
                                spec.referencedTable.name() + "'.");
    std::vector<int> childColids, parentColids;
    std::vector<std::string> childColumns, parentColumns;
    for (const auto& column : spec.columns) {
        const int at = table.findColumn(column);
        if (at < 0)
            throw refused(1769, "Foreign key '" + name + "' references invalid column '" + column +
                                    "' in referencing table '" + table.name + "'.");
        childColids.push_back(table.columns[static_cast<std::size_t>(at)].colid);
        childColumns.push_back(table.columns[static_cast<std::size_t>(at)].name);
    }
    // The referenced columns: as written, or the primary key's.
    int keyIndid = 0;
    std::vector<std::pair<int, std::vector<int>>> uniqueKeys;  // (indid, colids) of PK/UQ indexes
    {
        sqlite::Statement keys(db.handle(),
                               "SELECT i.indid, i.status, k.colid FROM sysindexes i JOIN "
                               "sysindexkeys k ON k.id = i.id "
                               "AND k.indid = i.indid WHERE i.id = ? AND (i.status & 2) <> 0 AND "
                               "i.indid BETWEEN 1 AND 250 "
                               "ORDER BY i.indid, k.keyno");
        keys.bind(1, std::int64_t{parent->id});
        int primary = 0;
        while (keys.step()) {
            const int indid = static_cast<int>(keys.integer(0));
            if (uniqueKeys.empty() || uniqueKeys.back().first != indid)
                uniqueKeys.emplace_back(indid, std::vector<int>{});
            uniqueKeys.back().second.push_back(static_cast<int>(keys.integer(2)));
            if (keys.integer(1) & indexstatus::kPrimaryKey) primary = indid;
        }
        if (spec.referencedColumns.empty()) {
            for (const auto& [indid, colids] : uniqueKeys)
                if (indid == primary) parentColids = colids;
            for (int colid : parentColids)
                for (const auto& c : parent->columns)
                    if (c.colid == colid) parentColumns.push_back(c.name);
        }
    }
    for (const auto& column : spec.referencedColumns) {
        const int at = parent->findColumn(column);
        if (at < 0)
            throw refused(1770, "Foreign key '" + name + "' references invalid column '" + column +
                                    "' in referenced table '" + parent->name + "'.");
        parentColids.push_back(parent->columns[static_cast<std::size_t>(at)].colid);
        parentColumns.push_back(parent->columns[static_cast<std::size_t>(at)].name);
    }
    if (parentColids.size() != childColids.size())
        throw refused(8139,
                      "Number of referencing columns in foreign key differs from number of "
                      "referenced columns, "
                      "table '" +
                          table.name + "'.");
    for (const auto& [indid, colids] : uniqueKeys) {
        std::vector<int> a = colids, b = parentColids;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        if (a == b) keyIndid = indid;
    }
    if (keyIndid == 0)
        throw refused(1776, "There are no primary or candidate keys in the referenced table '" +
                                parent->name +
                                "' that match the referencing column list in the foreign key '" +
                                name + "'.");
    for (std::size_t i = 0; i < childColids.size(); ++i) {
        const ColumnInfo& child =
            table.columns[static_cast<std::size_t>(table.findColumn(childColumns[i]))];
        const ColumnInfo& key =
            parent->columns[static_cast<std::size_t>(parent->findColumn(parentColumns[i]))];
        if (child.type.base->xtype != key.type.base->xtype)
            throw refused(1778, "Column '" + parent->name + "." + key.name +
                                    "' is not the same data type as referencing column '" +
                                    table.name + "." + child.name + "' in foreign key '" + name +
                                    "'.");
    }
    if (spec.deleteCascade) refuseCascadeCycles(db, name, table, parent->id, kStatusDeleteCascade);
    if (spec.updateCascade) refuseCascadeCycles(db, name, table, parent->id, kStatusUpdateCascade);
    const int status = (spec.notForReplication ? kStatusConstraintNotForReplication : 0) |
                       (spec.deleteCascade ? kStatusDeleteCascade : 0) |
                       (spec.updateCascade ? kStatusUpdateCascade : 0) |
                       (checkExisting && !spec.notForReplication ? 0 : kStatusConstraintNotTrusted);
    catalog.addObject(name, "F", table.id, status, id);
    if (childColids.size() == 1) catalog.setObjectInfo(id, childColids[0]);
    {
        sqlite::Statement row(db.handle(),
                              "INSERT INTO sysforeignkeys (constid, fkeyid, rkeyid, fkey, rkey, "
                              "keyno) VALUES (?, ?, ?, ?, ?, ?)");
        for (std::size_t i = 0; i < childColids.size(); ++i) {
            row.bind(1, std::int64_t{id})
                .bind(2, std::int64_t{table.id})
                .bind(3, std::int64_t{parent->id});
            row.bind(4, std::int64_t{childColids[i]}).bind(5, std::int64_t{parentColids[i]});
            row.bind(6, static_cast<std::int64_t>(i + 1)).step();
            row.reset();
        }
    }
    {
        std::string sql =
            "INSERT INTO sysreferences (constid, fkeyid, rkeyid, rkeyindid, keycnt, forkeys, "
            "refkeys, "
            "fkeydbid, rkeydbid";
        for (int i = 1; i <= 16; ++i) sql += ", fkey" + std::to_string(i);
        for (int i = 1; i <= 16; ++i) sql += ", rkey" + std::to_string(i);
        sql += ") VALUES (?, ?, ?, ?, ?, ?, ?, 0, 0";
        for (int i = 0; i < 32; ++i) sql += ", ?";
        sql += ")";
        sqlite::Statement row(db.handle(), sql);
        row.bind(1, std::int64_t{id})
            .bind(2, std::int64_t{table.id})
            .bind(3, std::int64_t{parent->id});
        row.bind(4, std::int64_t{keyIndid}).bind(5, static_cast<std::int64_t>(childColids.size()));
        const std::string forkeys = packedColids(childColids), refkeys = packedColids(parentColids);
        row.bindBlob(6, forkeys.data(), static_cast<int>(forkeys.size()));
        row.bindBlob(7, refkeys.data(), static_cast<int>(refkeys.size()));
        for (std::size_t i = 0; i < 16; ++i) {
            row.bind(static_cast<int>(8 + i),
                     std::int64_t{i < childColids.size() ? childColids[i] : 0});
            row.bind(static_cast<int>(24 + i),
                     std::int64_t{i < parentColids.size() ? parentColids[i] : 0});
        }
        row.step();
    }
    if (checkExisting) checkAllRows(context, table, loadForeignKey(db.handle(), id));
    db.invalidate(parent->name);
    return name;
}

}  // namespace sandbox::tsql
