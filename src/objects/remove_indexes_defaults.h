#pragma once

#include "upgrade/upgrade_run.h"

namespace objects {

// The optional removals before the table structure update, so that the re-creation
// phases rebuild what they removed from the definitions store. Both walk the target's
// own catalog in the phase row loop; the query ends the run when it fails, each drop runs
// with errors ignored (an index met again after its first drop, a constraint in use), and
// nothing is logged.

// Drops every index whose name begins with IX (each row of the list query:
// DROP INDEX [tbX].[IX_tbX_nome]). Only while FXIndexes is ticked.
upgrade::UpgradePhase indexRemovalPhase();

// Drops every column default outside dtproperties (each row of the list query:
// ALTER TABLE [tbX] DROP CONSTRAINT [DF_tbX_qtd]). Only while FXDefaults is ticked.
upgrade::UpgradePhase defaultRemovalPhase();

inline constexpr const char* kIndexRemovalProgress = "A carregar definições: Remover Indexes ...";
inline constexpr const char* kDefaultRemovalProgress =
    "A carregar definições: Remover Defaults ...";

}  // namespace objects
