#pragma once

#include "sysdata/stored_row.h"
#include "upgrade/upgrade_run.h"

// The rows of the ordinary system tables (and every row marked delete_first): the kept
// command, with its "!39!" markers turned back (store::DeTransform), sent as it is, then
// the row's large fields written whole.
namespace sysdata {

// Existence check and insert. The key is looked up in the target (abort-on-error: a table
// the target lacks throws db::Error). A new row: its command in ignore-errors execution
// (never asked about), its large fields, the command logged. An existing row with
// force_update: deleted by key (ask-on-error, logged), then inserted again as
// applyInsertedRow does. An existing row without force_update: nothing.
void applyOrdinaryRow(upgrade::UpgradeRun& run, const StoredRow& row);

// A row whose key was deleted in the delete-first pass, or whose old row was deleted by a
// forced update: its command sent with the failure kept, its large fields written, then
// the question about a failure (naming the table; No throws upgrade::AnsweredNo) and the
// command logged.
void applyInsertedRow(upgrade::UpgradeRun& run, const StoredRow& row);

}  // namespace sysdata
