#include "sysdata/update_system_data.h"

#include "db/error.h"
#include "store/sql_value.h"
#include "sysdata/apply_decision.h"
#include "sysdata/menu_rules.h"
#include "sysdata/row_dispatch.h"
#include "sysdata/row_execution.h"
#include "sysdata/stored_row.h"
#include "sysdata/system_data_statements.h"
#include "upgrade/phase_row_loop.h"

namespace sysdata {
namespace {

using upgrade::UpgradeRun;

FamilyOptions familyOptions(const app::MainForm& form) {
    return {form.FXDadosUpdateMenus.ticked(), form.FXDadosUpdatePesquisas.ticked()};
}

db::Recordset openStore(UpgradeRun& run, const std::string& query) {
    return run.store.open(query, db::CursorType::Static, db::LockType::ReadOnly);
}

// Each distinct key marked delete_first, deleted from the target by its key literal.
void deleteFirstPass(UpgradeRun& run, db::Recordset& stored) {
    const FamilyOptions options = familyOptions(run.form);
    stored = openStore(run, deleteFirstQuery(options.menus, options.searches));
    for (; !stored.eof(); stored.moveNext()) {
        const std::string table = tableOf(stored);
        runAsking(run, table,
                  deleteRowStatement(table, stored.field("pkey_campo").value().toText(),
                                     keyLiteral(stored.field("pkey_value").value())));
    }
    stored.close();
}

// The target's row count of a table, for the apply decision.
std::optional<long> targetRowCount(UpgradeRun& run, const std::string& table) {
    db::Recordset count =
        run.target.open(rowCountQuery(table), db::CursorType::Static, db::LockType::ReadOnly);
    std::optional<long> rows;
    if (!count.eof()) rows = static_cast<long>(count.field("no").value().asDouble());
    count.close();
    return rows;
}

// One table run from the cursor's current row: the apply decision from that first row,
// then every consecutive row of the same table applied (or passed over), the bar advancing
// per row.
void applyTableRun(UpgradeRun& run, db::Recordset& stored) {
    const StoredRow first = StoredRow::read(stored);
    const std::string table = first.tabela;
    run.currentTable = table;
    run.currentStatement.clear();
    const bool applies = runApplies(table, first.onlyIfEmpty, familyOptions(run.form),
                                    [&run, &table] { return targetRowCount(run, table); });
    do {
        if (applies) applyRow(run, StoredRow::read(stored));
        stored.moveNext();
        run.form.ProgressBar1.advance();
    } while (!stored.eof() && tableOf(stored) == table);
}

// The row pass: tbDados in stored order, a table run at a time; a cancel press is
// honoured at the start of a run.
void rowPass(UpgradeRun& run, db::Recordset& stored) {
    stored = openStore(run, kStoredRowsQuery);
    const long count = db::countRecords(stored);
    if (count < 1) {
        stored.close();
        return;
    }
    app::showPhaseProgress(run.form, run.host, kSystemDataProgress, count);
    while (!stored.eof()) {
        run.host.repaint();
        run.host.pumpEvents();
        if (run.form.CancelRequested) upgrade::cancelRun(run, &stored);
        applyTableRun(run, stored);
    }
    stored.close();
}

// The phase's error exit: the description, with the stored command of the row the store
// cursor stands on, if any; false.
bool errorExit(UpgradeRun& run, const db::Recordset& stored, const std::string& description) {
    const bool onRow = stored.isOpen() && !stored.eof() && !stored.bof();
    if (onRow && store::CheckField(stored, "comando")) {
        const db::Value& comando = stored.field("comando").value();
        if (!comando.isNull()) {
            run.host.messageBox(description + app::kLfCr + app::kLfCr + comando.toText(),
                                app::mb::kInformation, std::nullopt);
        }
    }
    return false;
}

}  // namespace

bool UpdateSystemData(UpgradeRun& run) {
    db::Recordset stored;
    try {
        deleteFirstPass(run, stored);
        if (menuCleaningAsked(run.form)) cleanMenus(run);
        rowPass(run, stored);
        return true;
    } catch (const upgrade::AnsweredNo& no) {
        return errorExit(run, stored, no.error().description());
    } catch (const db::Error& error) {
        return errorExit(run, stored, error.description());
    }
}

upgrade::UpgradePhase systemDataPhase() {
    return {"system data", [](const app::MainForm& form) { return form.FXDadosUpdate.ticked(); },
            UpdateSystemData};
}

}  // namespace sysdata
