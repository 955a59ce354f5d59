#pragma once

#include <string_view>

#include "sysdata/stored_row.h"
#include "upgrade/upgrade_run.h"

namespace sysdata {

// How an applied row reaches the target.
enum class RowRule {
    DirectInsert,    // marked delete_first: its command sent without an existence check
    ExistenceCheck,  // an ordinary table: inserted when new, replaced when force_update
    SecurityPolicy,  // tbSecurityPolicies: a new policy added, an existing one left alone
    MenuRow,         // tbMenu_Main, tbMenu_Main_Items, tbMenu_Main_Sub: users_groups kept
    VersionRow,      // tbVersao: the table emptied, the captured row inserted
};

// The first case that matches: delete_first set, then by the table's exact name (letter
// case included), any other table taking the existence check.
RowRule ruleFor(std::string_view table, bool deleteFirst);

// Applies one row of an applied table run by its rule. Failures leave as the rules say
// (db::Error, upgrade::AnsweredNo).
void applyRow(upgrade::UpgradeRun& run, const StoredRow& row);

}  // namespace sysdata
