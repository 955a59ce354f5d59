#pragma once

#include "capture/catalog_phase.h"

namespace capture {

// Phase 5: one tbIndexes row per key column of every index whose name begins with IX on
// a table that has a primary key (the table is reached through its key).
CatalogPhase indexesPhase();

// Phase 6: one tbPrimary_Keys row per key column of every primary key.
CatalogPhase primaryKeysPhase();

// Phase 7: one tbDefaults row per column default, with the default's source text.
CatalogPhase defaultsPhase();

}  // namespace capture
