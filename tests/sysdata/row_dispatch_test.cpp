// The row dispatch, through the phase over scripted connections: which statements each
// kind of stored row sends to the target and which of them the statement log receives.
#include "sysdata/row_dispatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sysdata_harness.h"

namespace sysdata {
namespace {

using testing::Dados;
using testing::logInserts;
using testing::SysdataHarness;
using Statements = std::vector<std::string>;

// One stored row; the target's answer to its probe (the query that finds a row, "" when
// the target has none, with the row's users_groups for a menu entry); what is sent and
// what is logged.
struct DispatchCase {
    const char* name;
    Dados row;
    std::string existing;
    const char* usersGroups;  // nullptr: NULL
    Statements sent;
    Statements logged;
};

class RowDispatch : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(RowDispatch, EachRowGoesByItsRule) {
    const DispatchCase& c = GetParam();
    SysdataHarness h;
    h.storeRows({c.row});
    if (!c.existing.empty()) {
        h.targetRow(c.existing, {{"users_groups", db::ado::kVarChar}},
                    {{c.usersGroups ? db::Value::text(c.usersGroups) : db::Value()}});
    }

    EXPECT_TRUE(h.runPhase());

    EXPECT_EQ(h.targetStatements(), c.sent);
    EXPECT_EQ(h.loggedStatements(), logInserts(c.logged));
    EXPECT_TRUE(h.host.messages.empty());
}

const std::string kInsert = "INSERT INTO tbX (id, nome) VALUES (7, 'O!39!Neil')";
const std::string kSent = "INSERT INTO tbX (id, nome) VALUES (7, 'O' + CHAR(39) + 'Neil')";
const std::string kMenuInsert = "INSERT INTO tbMenu_Main (id_menu, descrit) VALUES (7, 'Menu')";
const std::string kVersao = "INSERT INTO tbVersao (versao) VALUES ('4.0.1')";

INSTANTIATE_TEST_SUITE_P(
    Cases, RowDispatch,
    ::testing::Values(
        DispatchCase{
            "NewRowIsInserted", {"tbX", "id", "7", kInsert}, "", nullptr, {kSent}, {kSent}},
        DispatchCase{"ExistingRowIsLeftAlone",
                     {"tbX", "id", "7", kInsert},
                     "SELECT id FROM tbX WHERE id = 7",
                     nullptr,
                     {},
                     {}},
        DispatchCase{"ExistingForcedRowIsDeletedAndInsertedAgain",
                     {"tbX", "id", "7", kInsert, false, true},
                     "SELECT id FROM tbX WHERE id = 7",
                     nullptr,
                     {"DELETE FROM tbX WHERE id = 7", kSent},
                     {"DELETE FROM tbX WHERE id = 7", kSent}},
        DispatchCase{"TextKeyIsQuoted",
                     {"tbX", "codigo", "A'1", "INSERT INTO tbX (codigo) VALUES ('A!39!1')"},
                     "SELECT codigo FROM tbX WHERE codigo = 'A''1'",
                     nullptr,
                     {},
                     {}},
        DispatchCase{"DeleteFirstRowIsInsertedWithoutACheck",
                     {"tbX", "id", "7", kInsert, false, false, true},
                     "SELECT id FROM tbX WHERE id = 7",
                     nullptr,
                     {"DELETE FROM tbX WHERE id = 7", kSent},
                     {"DELETE FROM tbX WHERE id = 7", kSent}},
        DispatchCase{"NewPolicyToHideHasNoGroups",
                     {"tbSecurityPolicies", "code", "12", "Ocultar custos d'obra"},
                     "",
                     nullptr,
                     {"INSERT INTO tbSecurityPolicies (code, descrit, users_groups) VALUES "
                      "('12','Ocultar custos d''obra', '')"},
                     {"INSERT INTO tbSecurityPolicies (code, descrit, users_groups) VALUES "
                      "('12','Ocultar custos d''obra', '')"}},
        DispatchCase{"NewPolicyLeavesItsGroupsToTheTable",
                     {"tbSecurityPolicies", "code", "20", "Ver custos"},
                     "",
                     nullptr,
                     {"INSERT INTO tbSecurityPolicies (code, descrit) VALUES ('20','Ver custos')"},
                     {"INSERT INTO tbSecurityPolicies (code, descrit) VALUES ('20','Ver custos')"}},
        DispatchCase{"ExistingPolicyIsNeverTouched",
                     {"tbSecurityPolicies", "code", "12", "Ocultar custos", false, true},
                     "SELECT * FROM tbSecurityPolicies WHERE code = '12'",
                     "Vendas",
                     {},
                     {}},
        DispatchCase{"NewMenuEntryIsInserted",
                     {"tbMenu_Main", "id_menu", "7", kMenuInsert},
                     "",
                     nullptr,
                     {kMenuInsert},
                     {kMenuInsert}},
        DispatchCase{"ExistingMenuEntryKeepsItsGroups",
                     {"tbMenu_Main", "id_menu", "7", kMenuInsert},
                     "SELECT * FROM tbMenu_Main WHERE id_menu = '7'",
                     "Vendas;Compras",
                     {"DELETE FROM tbMenu_Main WHERE id_menu = '7'", kMenuInsert,
                      "UPDATE tbMenu_Main SET users_groups = 'Vendas;Compras' WHERE id_menu = '7'"},
                     {kMenuInsert}},
        DispatchCase{"ExistingMenuEntryKeepsANullGroup",
                     {"tbMenu_Main_Items", "id_item", "7",
                      "INSERT INTO tbMenu_Main_Items (id_item) VALUES (7)"},
                     "SELECT * FROM tbMenu_Main_Items WHERE id_item = '7'",
                     nullptr,
                     {"DELETE FROM tbMenu_Main_Items WHERE id_item = '7'",
                      "INSERT INTO tbMenu_Main_Items (id_item) VALUES (7)",
                      "UPDATE tbMenu_Main_Items SET users_groups = null WHERE id_item = '7'"},
                     {"INSERT INTO tbMenu_Main_Items (id_item) VALUES (7)"}},
        DispatchCase{
            "DeleteFirstMenuEntryDoesNotKeepGroups",
            {"tbMenu_Main_Sub", "id_item", "7",
             "INSERT INTO tbMenu_Main_Sub (id_item, id_sub) VALUES (7, 1)", false, false, true},
            "SELECT * FROM tbMenu_Main_Sub WHERE id_item = '7'",
            "Vendas",
            {"DELETE FROM tbMenu_Main_Sub WHERE id_item = 7",
             "INSERT INTO tbMenu_Main_Sub (id_item, id_sub) VALUES (7, 1)"},
            {"DELETE FROM tbMenu_Main_Sub WHERE id_item = 7",
             "INSERT INTO tbMenu_Main_Sub (id_item, id_sub) VALUES (7, 1)"}},
        DispatchCase{"MenuFieldsTakeTheExistenceCheck",
                     {"tbMenu_Main_Fields", "id_field", "3",
                      "INSERT INTO tbMenu_Main_Fields (id_field) VALUES (3)"},
                     "SELECT id_field FROM tbMenu_Main_Fields WHERE id_field = 3",
                     nullptr,
                     {},
                     {}},
        DispatchCase{"VersionRowReplacesTheTable",
                     {"tbVersao", "versao", "4.0.1", kVersao},
                     "SELECT versao FROM tbVersao WHERE versao = '4.0.1'",
                     nullptr,
                     {"DELETE FROM tbVersao", kVersao},
                     {"DELETE FROM tbVersao", kVersao}},
        // Table names are compared exactly: another letter case is an ordinary table.
        DispatchCase{"OtherLetterCaseIsAnOrdinaryTable",
                     {"TBVERSAO", "versao", "4.0.1", kVersao},
                     "SELECT versao FROM TBVERSAO WHERE versao = '4.0.1'",
                     nullptr,
                     {},
                     {}}),
    [](const ::testing::TestParamInfo<DispatchCase>& info) {
        return std::string(info.param.name);
    });

}  // namespace
}  // namespace sysdata
