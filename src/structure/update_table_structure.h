#pragma once

#include "upgrade/upgrade_run.h"

namespace structure {

// The table structure phase of the upgrade: walks tbObjects table by table (in
// object_id order) and, against the target's live catalog, creates each missing table,
// adds each missing column, alters each differing column and rebuilds a table whose
// identity property differs. Returns true when every stored row was processed (also
// for an empty tbObjects). Returns false after the failure exit's information box (a
// failed query or abort-on-error statement, a No after a failed statement) or after a
// failed identity rebuild (which showed its own box); the connections stay open then.
// A cancel press, noticed at the top of each table, ends the run through
// upgrade::cancelRun (throws upgrade::RunCancelled).
bool UpdateTableStructure(upgrade::UpgradeRun& run);

// The phase as it stands in the upgrade's sequence: always run; false ends the run.
upgrade::UpgradePhase tableStructurePhase();

inline constexpr const char* kTableStructureProgress = "A carregar definições: Tabelas e campos ...";
inline constexpr const char* kProcessTableQuestion = "Deseja processar a Tabela?:";

}  // namespace structure
