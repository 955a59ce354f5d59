#pragma once

#include "db/recordset.h"
#include "upgrade/upgrade_run.h"

namespace objects {

// The last phase: the maintenance commands kept by hand in tbExecute, in execute_id order,
// each turned back into plain T-SQL with DeTransform and sent in ask-on-error execution.
// Nothing is logged. A missing tbExecute ends the run.
upgrade::UpgradePhase maintenancePhase();

// Whether the current tbExecute row runs: activo neither 0 nor NULL, and a comando that
// is neither NULL nor blanks only. An activo that is no number nor Boolean throws
// db::Error 13 (type mismatch).
bool commandRuns(const db::Recordset& row);

inline constexpr const char* kMaintenanceProgress =
    "A carregar definições: Procedimentos de manutenção ...";

}  // namespace objects
