#include "objects/keys_indexes_defaults.h"

#include "db/error.h"
#include "store/rules_table.h"
#include "store/sql_value.h"
#include "upgrade/catalog_answer.h"
#include "upgrade/phase_row_loop.h"
#include "upgrade/target_catalog.h"

namespace objects {
namespace {

using upgrade::AfterRow;
using upgrade::ExecutionMode;
using upgrade::UpgradeRun;

std::string text(const db::Recordset& rows, std::string_view field) {
    return rows.field(field).value().toText();
}

db::Recordset openStatic(db::Connection& connection, const std::string& query) {
    return connection.open(query, db::CursorType::Static, db::LockType::ReadOnly);
}

// The phase row loop over a store table.
bool walkStore(UpgradeRun& run, const char* progressText, const char* storeQuery,
               AfterRow (*work)(UpgradeRun&, db::Recordset&)) {
    upgrade::runPhaseRowLoop(
        run, {progressText, [storeQuery](UpgradeRun& r) { return openStatic(r.store, storeQuery); },
              work});
    return true;
}

// Sends a statement that changes `change` in ask-on-error execution and logs it.
void sendAndLog(UpgradeRun& run, const std::string& statement, const catalog::Change& change) {
    run.currentStatement = statement;
    run.statements.execute(statement, ExecutionMode::AskOnError, change);
    run.statements.log(statement);
}

// Makes the current row's table the current table. In debug mode, when the table was
// declined in the table structure phase, passes over this row and every directly
// following row of the same table and answers true.
bool passedOverSkippedTable(UpgradeRun& run, db::Recordset& rows) {
    const std::string table = text(rows, "tabela");
    run.currentTable = table;
    if (!run.form.FXDebug.ticked() || !store::TableIsSkiped(table, run.form.SkippedTables))
        return false;
    while (!rows.eof() && text(rows, "tabela") == table) upgrade::consumeRow(run, rows);
    return true;
}

// A key for a table without one: errors collected. Made: logged, a failing log insert let
// go. An integrity failure: its own message unless silenced. Any other failure (a
// nullable key column, say): the question of ask-on-error execution. A key not made is
// never logged, and its failure is recorded among the run's failed statements.
void addMissingKey(UpgradeRun& run, const std::string& table, const std::string& key,
                   const std::vector<std::string>& columns) {
    const std::string statement = addPrimaryKeyStatement(table, key, keyColumnList(columns));
    run.currentStatement = statement;
    const std::optional<db::Error> error =
        run.statements.execute(statement, ExecutionMode::IgnoreErrors, catalog::Change::ofTable(table));
    if (!error) {
        run.statements.log(statement, ExecutionMode::IgnoreErrors);
        return;
    }
    run.statements.recordFailure(statement, *error);
    if (error->number() != db::errc::kIntegrityViolation) {
        run.statements.askToContinue(*error);
    } else if (!run.form.FXSilence.ticked()) {
        run.host.messageBox(keyIntegrityMessage(table), app::mb::kInformation, std::nullopt);
    }
}

// A key whose columns differ from the stored ones: the target's key dropped, the stored
// one added with its columns in small letters.
void replaceDifferingKey(UpgradeRun& run, db::Recordset& targetKey, const std::string& key,
                         const std::vector<std::string>& columns) {
    std::vector<std::string> targetColumns;
    for (; !targetKey.eof(); targetKey.moveNext())
        targetColumns.push_back(store::LowerCase(text(targetKey, "campo")));
    targetKey.moveFirst();
    std::vector<std::string> storedColumns;
    for (const std::string& column : columns) storedColumns.push_back(store::LowerCase(column));
    const std::string storedList = keyColumnList(storedColumns);
    if (keyColumnList(targetColumns) == storedList) return;

    const std::string table = text(targetKey, "tabela");
    const catalog::Change change = catalog::Change::ofTable(table);
    sendAndLog(run, upgrade::dropConstraintStatement(table, text(targetKey, "PK_Name")), change);
    sendAndLog(run, addPrimaryKeyStatement(table, key, storedList), change);
}

// The group of consecutive stored rows of one table: the target's key is looked up first,
// then the group is read (the bar advancing per row); the key added where the table has
// none, replaced where its columns differ.
AfterRow recreatePrimaryKey(UpgradeRun& run, db::Recordset& rows) {
    run.currentObject = text(rows, "nome");
    if (passedOverSkippedTable(run, rows)) return AfterRow::AlreadyMoved;
    const std::string table = run.currentTable;
    db::Recordset targetKey = upgrade::catalogAnswer(
        run, [&](catalog::Model& model) { return model.primaryKey(table); },
        upgrade::primaryKeyQuery(table));
    const std::string firstKey = text(rows, "nome");
    std::string lastKey;
    std::vector<std::string> columns;
    do {
        columns.push_back(text(rows, "campo"));
        lastKey = text(rows, "nome");
        upgrade::consumeRow(run, rows);
    } while (!rows.eof() && text(rows, "tabela") == table);

    if (targetKey.eof()) {
        addMissingKey(run, table, firstKey, columns);
    } else {
        run.currentObject = lastKey;
        replaceDifferingKey(run, targetKey, lastKey, columns);
    }
    targetKey.close();
    return AfterRow::AlreadyMoved;
}

// One stored index column: created unless the column has an IX index, whatever its name.
AfterRow recreateIndex(UpgradeRun& run, db::Recordset& rows) {
    run.currentObject = text(rows, "nome");
    if (passedOverSkippedTable(run, rows)) return AfterRow::AlreadyMoved;
    const std::string column = text(rows, "campo");
    const std::string& table = run.currentTable;
    db::Recordset indexes = upgrade::catalogAnswer(
        run, [&](catalog::Model& model) { return model.ixIndexes(table, column); },
        upgrade::ixIndexQuery(table, column));
    // A new index on one column changes what is known of that column only.
    if (indexes.eof())
        sendAndLog(run, createIndexStatement(text(rows, "nome"), table, column),
                   catalog::Change::ofColumn(table, column));
    indexes.close();
    return AfterRow::MoveNext;
}

// One stored default: created, and its value written into the column's NULLs, unless the
// column has a default, whatever its value.
AfterRow recreateDefault(UpgradeRun& run, db::Recordset& rows) {
    run.currentObject = text(rows, "DF_name");
    if (passedOverSkippedTable(run, rows)) return AfterRow::AlreadyMoved;
    const std::string& table = run.currentTable;
    const std::string column = text(rows, "campo");
    const std::string value = text(rows, "valor");
    db::Recordset defaults = upgrade::catalogAnswer(
        run, [&](catalog::Model& model) { return model.columnDefault(table, column); },
        upgrade::defaultConstraintQuery(table, column));
    if (defaults.eof()) {
        // A default constraint is an object the table owns: it counts in the IX index
        // lookups of every column, so the whole table is read again.
        sendAndLog(run, addDefaultStatement(table, text(rows, "DF_name"), value, column),
                   catalog::Change::ofTable(table));
        const std::string fill = fillNullsStatement(table, column, value);
        run.currentStatement = fill;
        run.statements.execute(fill, ExecutionMode::AbortOnError);
        run.statements.log(fill);
    }
    defaults.close();
    return AfterRow::MoveNext;
}

}  // namespace

std::string keyColumnList(const std::vector<std::string>& columns) {
    std::string list;
    for (const std::string& column : columns) {
        if (!list.empty()) list += " , ";
        // Appended piece by piece: " " + a temporary string makes GCC 12 at -O3 warn of an
        // overlapping copy inside the insertion, which cannot happen.
        list.append(" ").append(store::BracketName(column)).append(" ");
    }
    return list;
}

std::string addPrimaryKeyStatement(std::string_view table, std::string_view key,
                                   std::string_view columnList) {
    return "ALTER TABLE " + store::BracketName(table) + " ADD CONSTRAINT " +
           store::BracketName(key) + " PRIMARY KEY NONCLUSTERED (" + std::string(columnList) +
           ") ON [PRIMARY]";
}

std::string keyIntegrityMessage(std::string_view table) {
    return "Não foi possivel criar a chave primária, falta integridade nos dados da tabela '" +
           std::string(table) + "'." + app::kLfCr + app::kLfCr + "Clique em OK para continuar.";
}

std::string createIndexStatement(std::string_view index, std::string_view table,
                                 std::string_view column) {
    return "CREATE INDEX " + store::NameForStatement(index) + " ON " + store::BracketName(table) +
           " (" + store::BracketName(column) + ") ON [PRIMARY]";
}

std::string addDefaultStatement(std::string_view table, std::string_view name,
                                std::string_view value, std::string_view column) {
    return "ALTER TABLE " + store::BracketName(table) + " ADD CONSTRAINT " +
           store::BracketName(name) + " DEFAULT " + std::string(value) + " FOR " +
           store::BracketName(column) + " ";
}

std::string fillNullsStatement(std::string_view table, std::string_view column,
                               std::string_view value) {
    const std::string bracketed = store::BracketName(column);
    return "UPDATE " + store::BracketName(table) + " SET " + bracketed + " = " +
           std::string(value) + " WHERE " + bracketed + " is null";
}

upgrade::UpgradePhase primaryKeysPhase() {
    return {"primary keys", nullptr, [](UpgradeRun& run) {
                return walkStore(run, kPrimaryKeysProgress,
                                 "SELECT * FROM tbPrimary_Keys ORDER BY pkey_id",
                                 recreatePrimaryKey);
            }};
}

upgrade::UpgradePhase indexesPhase() {
    return {"indexes", nullptr, [](UpgradeRun& run) {
                return walkStore(run, kIndexesProgress, "SELECT * FROM tbIndexes ORDER BY index_id",
                                 recreateIndex);
            }};
}

upgrade::UpgradePhase defaultsPhase() {
    return {"defaults", nullptr, [](UpgradeRun& run) {
                return walkStore(run, kDefaultsProgress,
                                 "SELECT * FROM tbDefaults ORDER BY default_id", recreateDefault);
            }};
}

}  // namespace objects
