#include "objects/maintenance_commands.h"

#include "store/sql_value.h"
#include "upgrade/phase_row_loop.h"

namespace objects {
namespace {

using upgrade::AfterRow;
using upgrade::UpgradeRun;

// One stored command, untrimmed, with its "!39!" markers turned into ' + CHAR(39) + '.
AfterRow runCommand(UpgradeRun& run, db::Recordset& rows) {
    if (!commandRuns(rows)) return AfterRow::MoveNext;
    run.currentStatement = store::DeTransform(rows.field("comando").value());
    // A command kept by hand may change anything.
    run.statements.execute(run.currentStatement, upgrade::ExecutionMode::AskOnError,
                           catalog::Change::anything());
    return AfterRow::MoveNext;
}

}  // namespace

bool commandRuns(const db::Recordset& row) {
    const db::Value activo = row.field("activo").value();
    const db::Value comando = row.field("comando").value();
    if (activo.isNull() || !activo.asBoolean() || comando.isNull()) return false;
    return comando.toText().find_first_not_of(' ') != std::string::npos;
}

upgrade::UpgradePhase maintenancePhase() {
    return {"maintenance commands", nullptr, [](UpgradeRun& run) {
                upgrade::runPhaseRowLoop(
                    run, {kMaintenanceProgress,
                          [](UpgradeRun& r) {
                              return r.store.open("SELECT * FROM tbExecute ORDER BY execute_id",
                                                  db::CursorType::Static, db::LockType::ReadOnly);
                          },
                          runCommand});
                return true;
            }};
}

}  // namespace objects
