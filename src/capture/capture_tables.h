#pragma once

#include "capture/catalog_phase.h"

namespace capture {

// Phase 1: one tbObjects row per column of every user table of the reference (tables by
// name, columns by position), unless tbSQLUpdate excludes the table.
CatalogPhase tablesPhase();

// The catalog query of phase 1, as sent.
extern const char* const kTablesCatalogQuery;

}  // namespace capture
