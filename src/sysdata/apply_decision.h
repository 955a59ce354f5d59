#pragma once

#include <functional>
#include <optional>
#include <string_view>

namespace sysdata {

// The two options that leave a family of system tables out of the row pass.
struct FamilyOptions {
    bool menus = true;     // FXDadosUpdateMenus ticked
    bool searches = true;  // FXDadosUpdatePesquisas ticked
};

// The target's row count of a table: nullopt when the count query returned no row.
using TargetRowCount = std::function<std::optional<long>()>;

// Whether the rows of a table run are applied, decided once from its first row:
//  1. tbSecurityPolicies, tbVersao, tbMenu_Main, tbMenu_Main_Items, tbMenu_Main_Sub and
//     tbMenu_Main_Fields: yes, whatever only_if_empty says;
//  2. otherwise yes unless only_if_empty is set; then yes only when the target's table is
//     empty (or the count gave no row): `targetRowCount` is asked here and only here;
//  3. then no for tbMenu, tbMenu_Main, tbMenu_Main_Items, tbMenu_Main_Items_Fields,
//     tbMenu_Main_Items_Fields_Order and tbMenu_Main_Sub while Menus is not ticked, and for
//     the ten tables tbPesquisas, tbPesquisas_Conditions, ... tbPesquisas_Tables while
//     Searches is not ticked.
// The lists are exact names, letter case included: tbMenu_Main_Items_Fields_UserDefaults
// is in none of them, so its rows are applied with Menus unticked.
bool runApplies(std::string_view table, bool onlyIfEmpty, const FamilyOptions& options,
                const TargetRowCount& targetRowCount);

}  // namespace sysdata
