#include <set>

#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/exec_context.h"
#include "tsql/system_procedures.h"
#include "tsql/table_rebuild.h"

namespace sandbox::tsql {
namespace {

// The parts of a name as sp_rename reads it: 'dbo.[Tmp_tbX]' -> {"dbo", "Tmp_tbX"}.
std::vector<std::string> nameParts(const std::string& text) {
    std::vector<std::string> parts;
    std::string current;
    bool bracketed = false;
    for (char c : text) {
        if (bracketed) {
            if (c == ']') bracketed = false;
            else current += c;
        } else if (c == '[') {
            bracketed = true;
        } else if (c == '.') {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.push_back(current);
    return parts;
}

[[noreturn]] void notFound(ExecContext& context, const std::string& name, const std::optional<std::string>& type) {
    throw ServerError(15225, 11, "No item by the name of '" + name + "' could be found in the current database '" +
                                     context.db().name() + "', given that @itemtype was input as '" +
                                     type.value_or("(null)") + "'.");
}

[[noreturn]] void nameInUse(const std::string& name, const std::string& kind) {
    throw ServerError(15335, 11, "Error: The new name '" + name + "' is already in use as a " + kind +
                                     " name and would cause a duplicate that is not permitted.");
}

void renameObject(ExecContext& context, const std::string& written, const std::string& newName,
                  const std::optional<std::string>& type) {
    Database& db = context.db();
    Catalog& catalog = db.catalog();
    auto object = catalog.findObject(nameParts(written).back());
    static const std::set<std::string> kRenamable = {"U", "P", "FN", "IF", "TF", "D", "PK", "UQ"};
    if (!object) notFound(context, written, type);
    if (object->xtype == "V")
        throw ServerError(err::kUnsupported, 16, "The sandbox server does not rename views ('" + object->name + "').");
    if (!kRenamable.count(object->xtype)) notFound(context, written, type);
    if (catalog.findObject(newName)) nameInUse(newName, "object");
    atomically(db.handle(), [&] {
        catalog.renameObject(object->id, newName);
        if (object->xtype == "U") rebuildTableStorage(db, object->id, [] {}, StoredTable{object->name, {}});
        if (object->xtype == "PK" || object->xtype == "UQ") {
            sqlite::Statement index(db.handle(), "UPDATE sysindexes SET name = ? WHERE id = ? AND name = ?");
            index.bind(1, newName).bind(2, std::int64_t{object->parentObj}).bind(3, object->name).step();
        }
    });
    db.invalidateAll();
    auto& identityInsert = context.session().identityInsert;
    if (identityInsert && identityInsert->tableId == object->id && iequals(identityInsert->database, db.name()))
        identityInsert->tableName = newName;
}

void renameColumn(ExecContext& context, const std::string& written, const std::string& newName,
                  const std::optional<std::string>& type) {
    Database& db = context.db();
    auto parts = nameParts(written);
    if (parts.size() < 2) notFound(context, written, type);
    auto info = db.table(parts[parts.size() - 2]);
    int at = info && info->xtype == "U" ? info->findColumn(parts.back()) : -1;
    if (at < 0) notFound(context, written, type);
    if (info->findColumn(newName) >= 0) nameInUse(newName, "COLUMN");
    const ColumnInfo& column = info->columns[static_cast<std::size_t>(at)];
    atomically(db.handle(), [&] {
        sqlite::Statement update(db.handle(), "UPDATE syscolumns SET name = ? WHERE id = ? AND colid = ?");
        update.bind(1, newName).bind(2, std::int64_t{info->id}).bind(3, std::int64_t{column.colid}).step();
        sqlite::exec(db.handle(), "ALTER TABLE " + sqlite::quoteIdentifier(info->name) + " RENAME COLUMN " +
                                      sqlite::quoteIdentifier(column.name) + " TO " + sqlite::quoteIdentifier(newName));
    });
    db.invalidate(info->name);
}

}  // namespace

// sp_rename @objname, @newname [, @objtype]: tables, procedures, functions and constraints
// (objtype NULL or 'OBJECT'), and columns ('table.column', 'COLUMN'). A table's rows,
// columns, keys, indexes and defaults stay with it under the new name. SQL Server's
// caution follows as an informational message (severity 10), not an error.
void spRename(ExecContext& context, const ProcedureCall& call) {
    std::string objname = call.required(0, "@objname");
    std::string newName = call.required(1, "@newname");
    std::optional<std::string> type = call.argument(2, "@objtype");
    if (!type || iequals(*type, "OBJECT")) renameObject(context, objname, newName, type);
    else if (iequals(*type, "COLUMN")) renameColumn(context, objname, newName, type);
    else throw ServerError(err::kUnsupported, 16, "The sandbox server does not rename objects of type '" + *type + "'.");
    context.response().items.emplace_back(Message{
        15477, 1, 10, "Caution: Changing any part of an object name could break scripts and stored procedures.", "sp_rename",
        call.line});
}

}  // namespace sandbox::tsql
