#include "structure/sql_set_identity.h"

#include "db/error.h"
#include "structure/column_clause.h"
#include "structure/target_queries.h"

namespace structure {
namespace {

// "id, nome" from the fields of SELECT TOP 1 *, in the table's column order.
std::string columnListOf(db::Connection& target, const std::string& table) {
    db::Recordset firstRow = target.open("SELECT TOP 1 * FROM " + table);
    std::string list;
    for (const db::Column& field : firstRow.columns()) {
        if (!list.empty()) list += ", ";
        list += field.name;
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
    std::string statement = "CREATE TABLE [Tmp_" + table + "] (";
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

}  // namespace

std::vector<std::string> rebuildCopyStatements(std::string_view table,
                                               std::string_view columnList, int wantedIdentity) {
    const std::string t(table);
    const std::string list(columnList);
    const std::string copy = "IF EXISTS(SELECT * FROM " + t + ") EXEC('INSERT INTO Tmp_" + t +
                             "(" + list + ") SELECT " + list + " FROM " + t + "') ";
    if (wantedIdentity != 1) return {copy};
    return {"SET IDENTITY_INSERT dbo.Tmp_" + t + " ON " + copy,
            " SET IDENTITY_INSERT dbo.Tmp_" + t + " OFF "};
}

bool SQLSetIdentity(upgrade::UpgradeRun& run, const std::string& table, const std::string& column,
                    int wantedIdentity) {
    db::Connection& target = run.target;
    try {
        target.execute("SET QUOTED_IDENTIFIER ON");
        target.execute("SET TRANSACTION ISOLATION LEVEL SERIALIZABLE");

        db::Recordset catalog =
            target.open(rebuildCatalogQuery(table), db::CursorType::Static, db::LockType::ReadOnly);
        if (catalog.eof()) {
            catalog.close();
            run.host.messageBox(kSetIdentityUnknownTable, app::mb::kInformation, std::nullopt);
            return false;
        }
        const std::string columnList = columnListOf(target, table);
        const std::string create = rebuildTableStatement(run, catalog, table, column, wantedIdentity);
        catalog.close();
        run.currentStatement = create;
        target.execute(create);

        for (const std::string& copy : rebuildCopyStatements(table, columnList, wantedIdentity)) {
            run.currentStatement = copy;
            target.execute(copy);
        }
        target.execute("DROP TABLE " + table);
        target.execute("EXECUTE sp_rename 'Tmp_" + table + "', '" + table + "'");
        return true;
    } catch (const db::Error& error) {
        run.host.messageBox(error.description(), app::mb::kInformation, std::nullopt);
        return false;
    }
}

}  // namespace structure
