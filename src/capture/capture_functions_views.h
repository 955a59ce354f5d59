#pragma once

#include "capture/catalog_phase.h"

namespace capture {

// Phase 2: one tbFunctions row per scalar function of the reference, its source text
// joined from the server's chunks, unless tbSQLUpdate excludes the function.
CatalogPhase functionsPhase();

// Phase 3: the same for views, into tbViews.
CatalogPhase viewsPhase();

}  // namespace capture
