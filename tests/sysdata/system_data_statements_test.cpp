#include "sysdata/system_data_statements.h"

#include <gtest/gtest.h>

#include "sysdata/policy_version_rules.h"

namespace sysdata {
namespace {

const std::string kSelect =
    "SELECT tbDados.tabela, tbDados.pkey_campo, tbDados.pkey_value FROM tbDados WHERE "
    "(((tbDados.delete_first)<>0))";
const std::string kGrouping =
    " GROUP BY tbDados.tabela, tbDados.pkey_campo, tbDados.pkey_value ORDER BY tbDados.tabela, "
    "tbDados.pkey_campo, tbDados.pkey_value";

TEST(SystemDataStatements, TheDeleteFirstQueryLeavesOutTheFamiliesNotTicked) {
    EXPECT_EQ(deleteFirstQuery(true, true), kSelect + kGrouping);
    EXPECT_EQ(deleteFirstQuery(false, false),
              kSelect +
                  " AND tbDados.tabela NOT LIKE 'tbMenu%' AND tbDados.tabela NOT LIKE "
                  "'tbPesquisas%'" +
                  kGrouping);
    EXPECT_EQ(deleteFirstQuery(true, false),
              kSelect + " AND tbDados.tabela NOT LIKE 'tbPesquisas%'" + kGrouping);
    EXPECT_EQ(deleteFirstQuery(false, true),
              kSelect + " AND tbDados.tabela NOT LIKE 'tbMenu%'" + kGrouping);
}

TEST(SystemDataStatements, TextsAsTheirPiecesGiveThem) {
    EXPECT_EQ(deleteRowStatement("tbMenu_Main_Sub", "id_item", "1"),
              "DELETE FROM tbMenu_Main_Sub WHERE id_item = 1");
    EXPECT_EQ(rowCountQuery("tbPesquisas"), "SELECT COUNT(*) as no FROM tbPesquisas");
    EXPECT_EQ(keyProbeQuery("tbPesquisas", "id_pesquisa", "1"),
              "SELECT id_pesquisa FROM tbPesquisas WHERE id_pesquisa = 1");
    EXPECT_EQ(rowProbeQuery("tbMenu_Main", "id_menu", "'7'"),
              "SELECT * FROM tbMenu_Main WHERE id_menu = '7'");
    EXPECT_EQ(usersGroupsStatement("tbMenu_Main", "id_menu", "null", "'7'"),
              "UPDATE tbMenu_Main SET users_groups = null WHERE id_menu = '7'");
    EXPECT_EQ(securityPolicyStatement("'12'", "'Ocultar custos d''obra'", true),
              "INSERT INTO tbSecurityPolicies (code, descrit, users_groups) VALUES "
              "('12','Ocultar custos d''obra', '')");
    EXPECT_EQ(securityPolicyStatement("'20'", "'Ver custos'", false),
              "INSERT INTO tbSecurityPolicies (code, descrit) VALUES ('20','Ver custos')");
    EXPECT_EQ(largeFieldsQuery("tbParametros", "nome", db::Value::text("Assinatura d'Ouro")),
              "SELECT * FROM tbDados_Gigantic WHERE tabela = 'tbParametros' AND pkey_campo = "
              "'nome' AND pkey_value = 'Assinatura d'+CHR(39)+'Ouro'");
    EXPECT_EQ(clearFieldStatement("tbPesquisas", "sql_text", "id_pesquisa", "1"),
              "UPDATE tbPesquisas SET sql_text = null WHERE id_pesquisa = 1");
    EXPECT_EQ(fieldProbeQuery("tbParametros", "imagem", "nome", "'Logotipo'"),
              "SELECT imagem FROM tbParametros WHERE nome = 'Logotipo'");
    // Names that are no regular identifiers are bracketed, as the kept commands write them.
    EXPECT_EQ(deleteRowStatement("tbO'Neil", "id item", "1"),
              "DELETE FROM [tbO'Neil] WHERE [id item] = 1");
    EXPECT_EQ(fieldProbeQuery("tb]X", "2a", "id", "1"), "SELECT [2a] FROM [tb]]X] WHERE id = 1");
}

TEST(SystemDataStatements, KeyLiteralsForTheTarget) {
    EXPECT_EQ(keyLiteral(db::Value::text("42")), "42");
    EXPECT_EQ(keyLiteral(db::Value::text("-1,5")), "-1.5");
    EXPECT_EQ(keyLiteral(db::Value::text("A1")), "'A1'");
    EXPECT_EQ(keyLiteral(db::Value::text("d'Ouro")), "'d''Ouro'");
    EXPECT_EQ(keyLiteral(db::Value::text("4.0.1")), "'4.0.1'");
    EXPECT_EQ(keyLiteral(db::Value()), "null");
    EXPECT_EQ(textLiteral(db::Value::text("7")), "'7'");
    EXPECT_EQ(textLiteral(db::Value::text("")), "null");
}

TEST(SecurityPolicies, ADescriptionToHideOrForbidHasNoGroups) {
    EXPECT_TRUE(policyWithoutGroups("Ocultar preços de custo"));
    EXPECT_TRUE(policyWithoutGroups("NÃO PERMITIR alterar o preço"));
    EXPECT_TRUE(policyWithoutGroups("Pode ocultar colunas"));
    EXPECT_FALSE(policyWithoutGroups("Colunas a ocultar"));  // no blank after the word
    EXPECT_FALSE(policyWithoutGroups("Ocultar\tcolunas"));
    EXPECT_FALSE(policyWithoutGroups("Permitir exportar listagens"));
}

}  // namespace
}  // namespace sysdata
