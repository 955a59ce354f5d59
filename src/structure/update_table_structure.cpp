#include "structure/update_table_structure.h"

#include "db/error.h"
#include "store/rules_table.h"
#include "store/sql_value.h"
#include "structure/column_alteration.h"
#include "structure/column_clause.h"
#include "structure/target_queries.h"
#include "upgrade/catalog_answer.h"
#include "upgrade/target_catalog.h"
#include "upgrade/phase_row_loop.h"

namespace structure {
namespace {

using upgrade::ExecutionMode;
using upgrade::UpgradeRun;

// Whether the stored record set still stands on a row of `table`.
bool onTable(const db::Recordset& stored, const std::string& table) {
    return !stored.eof() && stored.field("tabela").value().toText() == table;
}

// Moves past the current row and advances the bar.
void nextStoredRow(UpgradeRun& run, db::Recordset& stored) {
    stored.moveNext();
    run.form.ProgressBar1.advance();
}

// The debug question for a table; true when the user answers Yes.
bool userWantsTable(UpgradeRun& run, const std::string& table) {
    const std::string text = std::string(kProcessTableQuestion) + app::kLfCr + app::kLfCr + table;
    return run.host.messageBox(text, app::mb::kYesNo | app::mb::kQuestion, run.form.caption) ==
           app::mb::kAnswerYes;
}

// CREATE TABLE [tbX] ( [id] [int]  IDENTITY (1, 1)  NOT NULL  ,  [nome] [varchar] (50)
// COLLATE Latin1_General_CI_AI  NULL ) ON [PRIMARY], from every stored row of the table;
// ask-on-error, then logged.
void createTable(UpgradeRun& run, db::Recordset& stored, const std::string& table) {
    std::string statement = "CREATE TABLE " + store::BracketName(table) + " (";
    while (true) {
        statement += createColumnClause(ColumnDefinition::fromRow(stored));
        nextStoredRow(run, stored);
        if (!onTable(stored, table)) break;
        statement += " , ";
    }
    statement += ") ON [PRIMARY]";
    run.currentStatement = statement;
    if (!run.statements.execute(statement, ExecutionMode::AskOnError, catalog::Change::ofTable(table))) {
        ++run.statistics.current().tablesCreated;
    }
    run.statements.log(statement, ExecutionMode::IgnoreErrors);
}

// ALTER TABLE [tbX] ADD <clause>; abort-on-error, then logged. A default made up for a
// NOT NULL column is dropped again (ask-on-error, not logged), so that the column ends
// without one, as its stored definition has none.
void addColumn(UpgradeRun& run, const ColumnDefinition& column) {
    const AddClause clause = addColumnClause(column);
    const std::string statement =
        "ALTER TABLE " + store::BracketName(column.tabela) + " ADD " + clause.text;
    run.currentStatement = statement;
    // A NOT NULL column is added with a default, and so with a default constraint, an
    // object the table owns; a nullable one changes that column only.
    const bool withDefault = !equalsOne(column.isnullable);
    run.statements.execute(statement, ExecutionMode::AbortOnError,
                           withDefault ? catalog::Change::ofTable(column.tabela)
                                       : catalog::Change::ofColumn(column.tabela, column.campo));
    run.statements.log(statement, ExecutionMode::IgnoreErrors);
    if (!clause.synthesizedDefault) return;

    db::Recordset defaults = upgrade::catalogAnswer(
        run, [&](catalog::Model& model) { return model.columnDefault(column.tabela, column.campo); },
        upgrade::defaultConstraintQuery(column.tabela, column.campo));
    if (!defaults.eof()) {
        const std::string table = defaults.field("tabela").value().toText();
        const std::string drop =
            upgrade::dropConstraintStatement(table, defaults.field("DF_name").value().toText());
        run.currentStatement = drop;
        run.statements.execute(drop, ExecutionMode::AskOnError, catalog::Change::ofTable(table));
    }
    defaults.close();
}

// Every stored column of a table that exists in the target: added when missing,
// otherwise compared and altered.
void updateColumns(UpgradeRun& run, db::Recordset& stored, const std::string& table) {
    const auto succeeded = [&run] {
        const upgrade::PhaseStatistics& counts = run.statistics.current();
        return counts.statementsSent - counts.statementsFailed - counts.failuresIgnored;
    };
    const long succeededBefore = succeeded();
    do {
        const ColumnDefinition column = ColumnDefinition::fromRow(stored);
        db::Recordset live = upgrade::catalogAnswer(
            run, [&](catalog::Model& model) { return model.column(table, column.campo); },
            targetColumnQuery(table, column.campo));
        if (live.eof()) {
            live.close();
            addColumn(run, column);
        } else {
            const ColumnDefinition target = ColumnDefinition::fromRow(live);
            live.close();
            alterExistingColumn(run, column, target);
        }
        nextStoredRow(run, stored);
    } while (onTable(stored, table));
    if (succeeded() > succeededBefore) ++run.statistics.current().tablesAltered;
}

// Whether the table exists in the target. The query is closed before anything else is
// sent on the connection, which cannot carry a second pending result.
bool tableExists(UpgradeRun& run, const std::string& table) {
    return upgrade::catalogFinds(
        run,
        [&](catalog::Model& model) -> std::optional<bool> {
            std::optional<db::Recordset> columns = model.tableColumns(table, true);
            if (!columns) return std::nullopt;
            return !columns->eof();
        },
        targetColumnQuery(table), db::CursorType::ForwardOnly);
}

// The failure exit: the error's description in an information box with the
// application's title; the caller returns false.
bool failureExit(UpgradeRun& run, const std::string& description) {
    run.host.messageBox(description, app::mb::kInformation, std::nullopt);
    return false;
}

}  // namespace

bool UpdateTableStructure(UpgradeRun& run) {
    try {
        db::Recordset stored = run.store.open("SELECT * FROM tbObjects ORDER BY object_id",
                                              db::CursorType::Static, db::LockType::ReadOnly);
        const long rowCount = db::countRecords(stored);
        if (rowCount < 1) {
            stored.close();
            return true;
        }
        app::showPhaseProgress(run.form, run.host, kTableStructureProgress, rowCount);

        while (!stored.eof()) {
            run.host.repaint();
            run.host.pumpEvents();
            if (run.form.CancelRequested) upgrade::cancelRun(run, &stored);

            const std::string table = stored.field("tabela").value().toText();
            run.currentTable = table;
            if (run.form.FXDebug.ticked() && !userWantsTable(run, table)) {
                store::addSkippedTable(run.form.SkippedTables, table);
                while (onTable(stored, table)) nextStoredRow(run, stored);
                continue;
            }
            if (tableExists(run, table)) {
                updateColumns(run, stored, table);
            } else {
                createTable(run, stored, table);
            }
        }
        stored.close();
        return true;
    } catch (const IdentityChangeFailed&) {
        return false;
    } catch (const upgrade::AnsweredNo& no) {
        return failureExit(run, no.error().description());
    } catch (const db::Error& error) {
        return failureExit(run, error.description());
    }
}

upgrade::UpgradePhase tableStructurePhase() {
    return {"table structure", nullptr, UpdateTableStructure};
}

}  // namespace structure
