#include "store/rules_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/ado_types.h"
#include "db/error.h"
#include "fake_connection.h"

namespace store {
namespace {

const std::vector<db::Column> kRuleColumns = {
    {"descrit", db::ado::kVarChar},       {"exclude", db::ado::kInteger},
    {"disable", db::ado::kInteger},       {"only_if_empty", db::ado::kBoolean},
    {"force_update", db::ado::kInteger},  {"Delete_First", db::ado::kInteger}};

db::Recordset ruleRow(db::Value disable, db::Value onlyIfEmpty, db::Value forceUpdate,
                      db::Value deleteFirst) {
    return db::Recordset(kRuleColumns, {{db::Value::text("tbMenu"), db::Value::integer(0), std::move(disable),
                                         std::move(onlyIfEmpty), std::move(forceUpdate),
                                         std::move(deleteFirst)}});
}

struct FlagsCase {
    const char* name;
    db::Value disable;
    db::Value onlyIfEmpty;
    db::Value forceUpdate;
    db::Value deleteFirst;
    RuleFlags expected;
};

class RuleFlagsOf : public ::testing::TestWithParam<FlagsCase> {};

TEST_P(RuleFlagsOf, ReadsTheRuleRow) {
    const FlagsCase& c = GetParam();
    EXPECT_EQ(c.expected, ruleFlagsOf(ruleRow(c.disable, c.onlyIfEmpty, c.forceUpdate, c.deleteFirst)));
}

using V = db::Value;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, RuleFlagsOf, ::testing::Values(
    FlagsCase{"EnabledWithForceUpdateFive", V::integer(0), V::boolean(false), V::integer(5), V::integer(0),
              {true, false, true, false}},
    FlagsCase{"EnabledOnlyIfEmptyDeleteFirst", V::integer(0), V::boolean(true), V::integer(0), V::integer(-1),
              {true, true, false, true}},
    FlagsCase{"DisabledKeepsOnlyIfEmptyTrue", V::integer(1), V::boolean(false), V::integer(1), V::integer(1),
              {false, true, true, true}},
    FlagsCase{"NullDisableIsNotZero", V(), V::boolean(false), V(), V(),
              {false, true, false, false}},
    FlagsCase{"FlagsAsTextAndBit", V::text("0"), V::text("False"), V::text("2"), V::boolean(true),
              {true, false, true, true}}),
    [](const ::testing::TestParamInfo<FlagsCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST(RuleFlags, NoRuleRowMeansNoDataCapture) {
    testing_support::FakeConnection server;
    EXPECT_EQ(RuleFlags{}, readRuleFlags(server, "tbO'Neil"));
    EXPECT_EQ("SELECT * FROM tbSQLUpdate WHERE descrit = 'tbO''Neil'", server.log.at(0));
}

TEST(RuleFlags, DamagedRuleRowsRaiseErrors) {
    try {
        ruleFlagsOf(ruleRow(V::integer(0), V(), V::integer(0), V::integer(0)));
        FAIL() << "a null only_if_empty has no Boolean value";
    } catch (const db::Error& e) {
        EXPECT_EQ(94, e.number());
        EXPECT_EQ("Invalid use of Null", e.description());
    }
    // A null only_if_empty on a disabled rule is never read as a Boolean.
    EXPECT_FALSE(ruleFlagsOf(ruleRow(V::integer(1), V(), V::integer(0), V::integer(0))).captureData);

    const db::Recordset withoutDeleteFirst({{"descrit", db::ado::kVarChar}, {"disable", db::ado::kInteger},
                                            {"only_if_empty", db::ado::kBoolean}, {"force_update", db::ado::kInteger}},
                                           {{V::text("t"), V::integer(1), V::boolean(true), V::integer(0)}});
    try {
        ruleFlagsOf(withoutDeleteFirst);
        FAIL() << "Delete_First is required";
    } catch (const db::Error& e) {
        EXPECT_EQ(db::errc::kItemNotFound, e.number());
    }
}

TEST(TableIsSkiped, ComparesExactlyAndOnlyOnceTheListExists) {
    std::optional<std::vector<std::string>> skipped;
    EXPECT_FALSE(TableIsSkiped("tbA", skipped));
    addSkippedTable(skipped, "tbA");
    addSkippedTable(skipped, "tbB");
    EXPECT_THAT(*skipped, ::testing::ElementsAre("tbA", "tbB"));
    EXPECT_TRUE(TableIsSkiped("tbB", skipped));
    EXPECT_FALSE(TableIsSkiped("TBB", skipped));
    EXPECT_FALSE(TableIsSkiped("tbB ", skipped));
}

}  // namespace
}  // namespace store
