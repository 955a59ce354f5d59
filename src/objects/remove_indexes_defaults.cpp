#include "objects/remove_indexes_defaults.h"

#include "upgrade/phase_row_loop.h"
#include "upgrade/target_catalog.h"

namespace objects {
namespace {

using upgrade::AfterRow;
using upgrade::UpgradeRun;

std::string text(const db::Recordset& rows, std::string_view field) {
    return rows.field(field).value().toText();
}

// Walks the catalog list `query` and sends, with errors ignored, the drop that `drop`
// builds from each row.
bool removeEach(UpgradeRun& run, const char* progressText, std::string query,
                std::string (*drop)(const db::Recordset&)) {
    upgrade::runPhaseRowLoop(
        run, {progressText,
              [&query](UpgradeRun& r) {
                  return r.target.open(query, db::CursorType::Static, db::LockType::ReadOnly);
              },
              [drop](UpgradeRun& r, db::Recordset& rows) {
                  r.currentStatement = drop(rows);
                  r.statements.execute(r.currentStatement, upgrade::ExecutionMode::IgnoreErrors,
                                       catalog::Change::ofTable(text(rows, "tabela")));
                  return AfterRow::MoveNext;
              }});
    return true;
}

std::string dropListedIndex(const db::Recordset& row) {
    return upgrade::dropIndexStatement(text(row, "tabela"), text(row, "IX_Name"));
}

std::string dropListedDefault(const db::Recordset& row) {
    return upgrade::dropConstraintStatement(text(row, "tabela"), text(row, "DF_Name"));
}

}  // namespace

upgrade::UpgradePhase indexRemovalPhase() {
    return {"index removal", [](const app::MainForm& form) { return form.FXIndexes.ticked(); },
            [](UpgradeRun& run) {
                return removeEach(run, kIndexRemovalProgress, upgrade::ixIndexListQuery(),
                                  dropListedIndex);
            }};
}

upgrade::UpgradePhase defaultRemovalPhase() {
    return {"default removal", [](const app::MainForm& form) { return form.FXDefaults.ticked(); },
            [](UpgradeRun& run) {
                return removeEach(run, kDefaultRemovalProgress, upgrade::defaultListQuery(),
                                  dropListedDefault);
            }};
}

}  // namespace objects
