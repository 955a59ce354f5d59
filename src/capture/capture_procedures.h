#pragma once

#include "capture/catalog_phase.h"

namespace capture {

// Phase 4: one tbProcedures row per stored procedure of status 1610612736 (created with
// ANSI_NULLS and QUOTED_IDENTIFIER on), its source text joined from the server's chunks,
// unless tbSQLUpdate excludes the procedure.
CatalogPhase proceduresPhase();

}  // namespace capture
