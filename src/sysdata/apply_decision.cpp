#include "sysdata/apply_decision.h"

#include <algorithm>
#include <array>

namespace sysdata {
namespace {

constexpr std::array<std::string_view, 6> kAppliedWhateverEmpty = {
    "tbSecurityPolicies", "tbVersao",        "tbMenu_Main",
    "tbMenu_Main_Items",  "tbMenu_Main_Sub", "tbMenu_Main_Fields"};

constexpr std::array<std::string_view, 6> kMenuTables = {"tbMenu",
                                                         "tbMenu_Main",
                                                         "tbMenu_Main_Items",
                                                         "tbMenu_Main_Items_Fields",
                                                         "tbMenu_Main_Items_Fields_Order",
                                                         "tbMenu_Main_Sub"};

constexpr std::array<std::string_view, 10> kSearchTables = {"tbPesquisas",
                                                            "tbPesquisas_Conditions",
                                                            "tbPesquisas_Fields",
                                                            "tbPesquisas_Images",
                                                            "tbPesquisas_List",
                                                            "tbPesquisas_List_Order",
                                                            "tbPesquisas_Parametros",
                                                            "tbPesquisas_Print",
                                                            "tbPesquisas_Print_Order",
                                                            "tbPesquisas_Tables"};

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& names, std::string_view table) {
    return std::find(names.begin(), names.end(), table) != names.end();
}

}  // namespace

bool runApplies(std::string_view table, bool onlyIfEmpty, const FamilyOptions& options,
                const TargetRowCount& targetRowCount) {
    bool applies = true;
    if (!listed(kAppliedWhateverEmpty, table) && onlyIfEmpty) {
        const std::optional<long> count = targetRowCount();
        applies = !count || *count == 0;
    }
    if (!options.menus && listed(kMenuTables, table)) applies = false;
    if (!options.searches && listed(kSearchTables, table)) applies = false;
    return applies;
}

}  // namespace sysdata
