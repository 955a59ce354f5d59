#include "sysdata/apply_decision.h"

#include <gtest/gtest.h>

#include <string>

namespace sysdata {
namespace {

// One apply decision: the run's first row, the options, what the target's count gives, and
// whether the run is applied and the target was counted.
struct DecisionCase {
    const char* name;
    const char* table;
    bool onlyIfEmpty;
    bool menus;
    bool searches;
    std::optional<long> count;
    bool applies;
    bool counted;
};

class ApplyDecision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(ApplyDecision, DecidesFromTheRunsFirstRow) {
    const DecisionCase& c = GetParam();
    int counts = 0;
    const bool applies = runApplies(c.table, c.onlyIfEmpty, {c.menus, c.searches}, [&] {
        ++counts;
        return c.count;
    });
    EXPECT_EQ(applies, c.applies);
    EXPECT_EQ(counts, c.counted ? 1 : 0);
}

constexpr std::optional<long> kNoRow = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Cases, ApplyDecision,
    ::testing::Values(
        DecisionCase{"OrdinaryTable", "tbTipos", false, true, true, 5, true, false},
        DecisionCase{"OnlyIfEmptyOnAnEmptyTarget", "tbTipos", true, true, true, 0, true, true},
        DecisionCase{"OnlyIfEmptyOnATargetWithRows", "tbTipos", true, true, true, 1, false, true},
        DecisionCase{"OnlyIfEmptyCountWithoutARow", "tbTipos", true, true, true, kNoRow, true,
                     true},
        DecisionCase{"PoliciesIgnoreOnlyIfEmpty", "tbSecurityPolicies", true, true, true, 3, true,
                     false},
        DecisionCase{"VersionIgnoresOnlyIfEmpty", "tbVersao", true, true, true, 1, true, false},
        DecisionCase{"MenuSubIgnoresOnlyIfEmpty", "tbMenu_Main_Sub", true, true, true, 1, true,
                     false},
        DecisionCase{"MenuFieldsIgnoreOnlyIfEmptyAndMenus", "tbMenu_Main_Fields", true, false, true,
                     1, true, false},
        DecisionCase{"MenuMainWithoutMenus", "tbMenu_Main", false, false, true, 0, false, false},
        DecisionCase{"MenuItemsFieldsOrderWithoutMenus", "tbMenu_Main_Items_Fields_Order", false,
                     false, true, 0, false, false},
        // Counted first, then left out: the count is asked before the option is looked at.
        DecisionCase{"MenuCountedThenLeftOut", "tbMenu", true, false, true, 0, false, true},
        DecisionCase{"UserDefaultsAppliedWithoutMenus", "tbMenu_Main_Items_Fields_UserDefaults",
                     false, false, false, 0, true, false},
        DecisionCase{"MenuMainWithMenusWithoutSearches", "tbMenu_Main", false, true, false, 0, true,
                     false},
        DecisionCase{"SearchTablesWithoutSearches", "tbPesquisas_Tables", false, true, false, 0,
                     false, false},
        DecisionCase{"SearchListedExactlyWithoutSearches", "tbPesquisas_Print_Order", false, true,
                     false, 0, false, false},
        DecisionCase{"OtherSearchTableWithoutSearches", "tbPesquisas_Extra", false, true, false, 0,
                     true, false},
        DecisionCase{"SearchesWithoutMenus", "tbPesquisas", false, false, true, 0, true, false},
        // Names are compared exactly: another letter case is an ordinary table.
        DecisionCase{"OtherLetterCaseWithoutMenus", "TBMENU_MAIN", false, false, true, 0, true,
                     false},
        DecisionCase{"OtherLetterCaseCounted", "tbversao", true, true, true, 2, false, true}),
    [](const ::testing::TestParamInfo<DecisionCase>& info) {
        return std::string(info.param.name);
    });

}  // namespace
}  // namespace sysdata
