#pragma once

#include "capture/catalog_phase.h"

namespace capture {

// Phase 8: for every user table whose rule row in tbSQLUpdate has disable = 0, one tbDados
// row per table row holding the T-SQL command that inserts it (for tbSecurityPolicies the
// policy's description instead), with the rule's flags; every large field of a row also
// gets a tbDados_Gigantic row holding its bytes or its text.
//
// A table without a primary key is reported and skipped. A failing tbDados insert is
// reported, its command added to the run's failedCommands, and the phase goes on with
// the next row; every other error leaves to the run's error exit.
//
// The table's rows are read as a stream, one row held at a time. Each binary value is
// fetched again by its key with a query of its own; those queries are sent once the
// table's stream has ended (one connection serves one result stream at a time, and a
// query sent in the middle would make the rest of the table be read into memory), so
// only one binary value is held at a time.
CatalogPhase systemDataPhase();

// The message for a captured table without a primary key, followed by the table's name.
inline constexpr const char* kNoPrimaryKey = "Erro: Não foi possível determinar a primary key.";

}  // namespace capture
