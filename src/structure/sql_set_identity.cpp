#include "structure/sql_set_identity.h"

#include "db/error.h"
#include "store/sql_value.h"
#include "structure/column_clause.h"
#include "structure/target_queries.h"
#include "upgrade/catalog_answer.h"

namespace structure {
namespace {

using store::BracketName;

// "[id], [nome]" from the fields of SELECT TOP 1 * FROM [tbX], in the table's column order.
std::string columnListOf(db::Connection& target, const std::string& table) {
    db::Recordset firstRow = target.open("SELECT TOP 1 * FROM " + BracketName(table));
    std::string list;
    for (const db::Column& field : firstRow.columns()) {
        if (!list.empty()) list += ", ";
        list += BracketName(field.name);
    }
    firstRow.close();
    return list;
}

// CREATE TABLE [Tmp_tbX] ( [id] [int]  IDENTITY (1, 1)  NOT NULL  ,  [nome] [varchar]
// (50)  NULL ) ON [PRIMARY]: the catalog's types and nullability, no COLLATE, no DEFAULT.
// The column is found without regard to letter case, as the server finds it.
std::string rebuildTableStatement(upgrade::UpgradeRun& run, db::Recordset& catalog,
                                  const std::string& table, const std::string& column,
                                  int wantedIdentity) {
    std::string statement = "CREATE TABLE " + BracketName(rebuildTableName(table)) + " (";
    while (true) {
        const ColumnDefinition row = ColumnDefinition::fromRow(catalog);
        statement += nameAndTypePart(row);
        if (wantedIdentity == 1 && db::equalsIgnoreCase(row.campo, column)) {
            statement += " IDENTITY (1, 1) ";
        }
        statement += equalsOne(row.isnullable) ? " NULL " : " NOT NULL ";
        catalog.moveNext();
        run.form.ProgressBar1.advance();
        if (catalog.eof()) break;
        statement += " , ";
    }
    return statement + ") ON [PRIMARY]";
}

// Ends the transaction of a failed rebuild. SQL Server may have rolled it back already
// (some errors do), and a lost connection has ended it: neither is a further error.
void rollBackQuietly(db::Connection& target) {
    try {
        target.execute(kRebuildRollback);
    } catch (const db::Error&) {
    }
}

}  // namespace

std::string rebuildTableName(std::string_view table) { return "Tmp_" + std::string(table); }

std::vector<std::string> rebuildCopyStatements(std::string_view table,
                                               std::string_view columnList, int wantedIdentity) {
    const std::string from = BracketName(table);
    const std::string into = BracketName(rebuildTableName(table));
    const std::string list(columnList);
    const std::string insert =
        "INSERT INTO " + into + "(" + list + ") SELECT " + list + " FROM " + from;
    const std::string copy = "IF EXISTS(SELECT * FROM " + from + ") EXEC(" +
                             store::SQLValueForServer(insert, 3) + ") ";
    if (wantedIdentity != 1) return {copy};
    return {"SET IDENTITY_INSERT dbo." + into + " ON " + copy,
            " SET IDENTITY_INSERT dbo." + into + " OFF "};
}

std::string rebuildRenameStatement(std::string_view table) {
    return "EXECUTE sp_rename " + store::SQLValueForServer(rebuildTableName(table), 3) + ", " +
           store::SQLValueForServer(table, 3);
}

bool SQLSetIdentity(upgrade::UpgradeRun& run, const std::string& table, const std::string& column,
                    int wantedIdentity) {
    db::Connection& target = run.target;
    bool inTransaction = false;
    try {
        target.execute("SET QUOTED_IDENTIFIER ON");
        target.execute("SET TRANSACTION ISOLATION LEVEL SERIALIZABLE");

        db::Recordset catalogRows = upgrade::catalogAnswer(
            run, [&](catalog::Model& model) { return model.tableColumns(table, false); },
            rebuildCatalogQuery(table));
        if (catalogRows.eof()) {
            catalogRows.close();
            run.host.messageBox(kSetIdentityUnknownTable, app::mb::kInformation, std::nullopt);
            return false;
        }
        const std::string columnList = columnListOf(target, table);
        const std::string create = rebuildTableStatement(run, catalogRows, table, column, wantedIdentity);
        catalogRows.close();

        // The rebuild gives the table a new id and everything it owns anew, and creates
        // and renames Tmp_<table> on the way.
        if (run.catalog) {
            run.catalog->apply(catalog::Change::ofTable(table));
            run.catalog->apply(catalog::Change::ofTable(rebuildTableName(table)));
        }
        target.execute(kRebuildBegin);
        inTransaction = true;
        run.currentStatement = create;
        target.execute(create);
        for (const std::string& copy : rebuildCopyStatements(table, columnList, wantedIdentity)) {
            run.currentStatement = copy;
            target.execute(copy);
        }
        target.execute("DROP TABLE " + BracketName(table));
        target.execute(rebuildRenameStatement(table));
        target.execute(kRebuildCommit);
        return true;
    } catch (const db::Error& error) {
        if (inTransaction) rollBackQuietly(target);
        run.host.messageBox(error.description(), app::mb::kInformation, std::nullopt);
        return false;
    }
}

}  // namespace structure
