#pragma once

#include "app/main_form.h"
#include "sysdata/stored_row.h"
#include "upgrade/upgrade_run.h"

// The menu tables' own rules: the cleaning before the row pass and the refresh of the
// three main menu tables, which keeps the target's assignment of each entry to user groups.
namespace sysdata {

// Whether the menus are emptied before the row pass: "Limpar Menus" ticked and visible.
bool menuCleaningAsked(const app::MainForm& form);

// Empties, in this order: tbMenu_Main, tbMenu_Main_Items, tbMenu_Main_Items_Fields,
// tbMenu_Main_Items_Fields_Order, tbMenu_Main_Items_Fields_Order_UserDefaults,
// tbMenu_Main_Items_Fields_UserDefaults, tbMenu_Main_Sub ("DELETE FROM tbMenu_Main", ...).
// Abort-on-error, not logged: the first failure throws db::Error and the rest is not sent.
// tbMenu and tbMenu_Main_Fields keep their rows.
void cleanMenus(upgrade::UpgradeRun& run);

// A row of tbMenu_Main, tbMenu_Main_Items or tbMenu_Main_Sub, its key always quoted
// ('7'). A new entry: its command in ask-on-error execution, logged. An existing one: its
// users_groups read, then, each failure kept, the entry deleted, the command sent and
// users_groups set back to the value read (null stays null; the empty text gives null);
// one question at most, about the last failure (No throws upgrade::AnsweredNo); only the
// command is logged. A table the target lacks throws db::Error.
void applyMenuRow(upgrade::UpgradeRun& run, const StoredRow& row);

}  // namespace sysdata
