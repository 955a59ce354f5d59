#pragma once

#include "upgrade/upgrade_run.h"

namespace sysdata {

// The system data phase of the upgrade: brings the rows of the target's system tables in
// line with the rows captured into tbDados (and their large fields, tbDados_Gigantic), in
// three passes:
//  1. the delete-first pass: each distinct key marked delete_first deleted from the target
//     (menu and search tables only when their option is ticked), ask-on-error, logged;
//  2. menu cleaning, when "Limpar Menus" is ticked and visible;
//  3. the row pass over tbDados in stored order, by table runs (consecutive rows of one
//     table): at the start of each run the window is kept alive and a cancel press honoured,
//     and whether the run's rows are applied is decided once; each applied row goes by its
//     rule (row_dispatch.h). Every statement a row sends is logged, but for the menu rule's
//     deletion and user-group update and the large-field writes.
// Returns true when every row was processed (also for an empty tbDados). Returns false
// after the phase's error exit: a No to a question, or any failure outside ask-on-error
// and ignore-errors execution; when the store cursor stands on a tbDados row with a
// command, the failure's description is shown with that command as stored
// (description + LF CR LF CR + comando, an information box). The connections stay open then.
// A cancel press ends the run through upgrade::cancelRun (the button restored, the
// upgrading mark released like every other phase's cancel, both connections closed; throws
// upgrade::RunCancelled).
bool UpdateSystemData(upgrade::UpgradeRun& run);

// The phase as it stands in the upgrade's sequence: only when FXDadosUpdate ("Actualizar
// tabelas de sistema") is ticked; false ends the run.
upgrade::UpgradePhase systemDataPhase();

}  // namespace sysdata
