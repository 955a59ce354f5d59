// The catalog queries the capture and the upgrade send, run on the fixtures: the rows must
// be those the fixture scripts imply, so that a wrong column name, join or collation in
// the catalog shows here.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// The pieces the callers concatenate.
const std::string kColumnsSelect =
    "SELECT SOURCE_sysobjects.name as tabela, SOURCE_syscolumns.name as campo, systypes.name as tipo, "
    "SOURCE_syscolumns.length as tamanho, SOURCE_syscolumns.xprec, SOURCE_syscolumns.xscale, "
    "SOURCE_syscolumns.isnullable, SOURCE_syscolumns.colstat as isidentity, SOURCE_syscomments.text as cdefault ";
const std::string kColumnsFrom =
    "FROM syscolumns AS SOURCE_syscolumns JOIN sysobjects AS SOURCE_sysobjects ON (SOURCE_syscolumns.ID = "
    "SOURCE_sysobjects.ID AND SOURCE_sysobjects.xtype = 'U' AND SOURCE_sysobjects.name <> 'dtproperties') JOIN "
    "systypes ON SOURCE_syscolumns.xtype = systypes.xusertype LEFT JOIN  syscomments AS SOURCE_syscomments ON "
    "SOURCE_syscolumns.cdefault = SOURCE_syscomments.id ";
const std::string kTargetColumnsSelect =
    " SELECT SOURCE_sysobjects.name as tabela, SOURCE_syscolumns.name as campo, systypes.name as tipo, "
    "SOURCE_syscolumns.length as tamanho, SOURCE_syscolumns.xprec, SOURCE_syscolumns.xscale, "
    "SOURCE_syscolumns.isnullable, SOURCE_syscolumns.colstat as isidentity, SOURCE_syscomments.text as cdefault, "
    "SOURCE_syscolumns.collation ";
const std::string kTargetColumnsFrom =
    " FROM syscolumns AS SOURCE_syscolumns JOIN sysobjects AS SOURCE_sysobjects ON (SOURCE_syscolumns.ID = "
    "SOURCE_sysobjects.ID AND SOURCE_sysobjects.xtype = 'U' AND SOURCE_sysobjects.name <> 'dtproperties') JOIN "
    "systypes ON SOURCE_syscolumns.xtype = systypes.xusertype LEFT JOIN syscomments AS SOURCE_syscomments ON "
    "SOURCE_syscolumns.cdefault = SOURCE_syscomments.id ";
const std::string kRebuildSelect =
    " SELECT SOURCE_sysobjects.name as tabela, SOURCE_syscolumns.name as campo, systypes.name as tipo, "
    "SOURCE_syscolumns.length as tamanho, SOURCE_syscolumns.xprec, SOURCE_syscolumns.xscale, "
    "SOURCE_syscolumns.isnullable, SOURCE_syscolumns.colstat as isidentity, SOURCE_syscomments.text as cdefault ";
const std::string kCaptureIndexes =
    "SELECT SOURCE_sysindexes.name as IX_Name, SOURCE_sysobjects_2.name as tabela, SOURCE_syscolumns.name as campo, "
    "SOURCE_sysindexkeys.*  "
    "FROM sysindexkeys AS SOURCE_sysindexkeys JOIN sysobjects AS SOURCE_sysobjects ON (SOURCE_sysindexkeys.id = "
    "SOURCE_sysobjects.parent_obj AND SOURCE_sysobjects.xtype = 'PK') JOIN sysindexes AS SOURCE_sysindexes ON "
    "(SOURCE_sysindexkeys.id = SOURCE_sysindexes.id AND SOURCE_sysindexes.name <> SOURCE_sysobjects.name AND "
    "substring(SOURCE_sysindexes.name,1,2)='IX' AND SOURCE_sysindexkeys.indid = SOURCE_sysindexes.indid) JOIN "
    "sysobjects AS SOURCE_sysobjects_2 ON SOURCE_sysobjects.parent_obj = SOURCE_sysobjects_2.id JOIN syscolumns AS "
    "SOURCE_syscolumns ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND SOURCE_sysindexkeys.colid = "
    "SOURCE_syscolumns.colid) "
    "ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name";
const std::string kPrimaryKeysHead =
    "SELECT SOURCE_sysobjects.name as PK_Name, SOURCE_sysobjects_2.name as tabela, SOURCE_syscolumns.name as campo, "
    "SOURCE_sysindexkeys.* FROM sysindexkeys AS SOURCE_sysindexkeys JOIN sysobjects AS SOURCE_sysobjects ON "
    "(SOURCE_sysindexkeys.id = SOURCE_sysobjects.parent_obj AND SOURCE_sysobjects.xtype = 'PK') ";
const std::string kPrimaryKeysJoins =
    "JOIN sysindexes AS SOURCE_sysindexes ON (SOURCE_sysindexkeys.id = SOURCE_sysindexes.id AND "
    "SOURCE_sysindexes.name = SOURCE_sysobjects.name AND SOURCE_sysindexkeys.indid = SOURCE_sysindexes.indid) JOIN "
    "sysobjects AS SOURCE_sysobjects_2 ON SOURCE_sysobjects.parent_obj = SOURCE_sysobjects_2.id JOIN syscolumns AS "
    "SOURCE_syscolumns ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND SOURCE_sysindexkeys.colid = "
    "SOURCE_syscolumns.colid) ";
const std::string kDefaultsHead =
    " SELECT SOURCE_Names.name as DF_name, SOURCE_sysobjects.name as tabela, SOURCE_syscolumns.name as campo, "
    "SOURCE_syscomments.text as valor FROM syscolumns AS SOURCE_syscolumns ";
const std::string kDefaultsJoins =
    " JOIN syscomments AS SOURCE_syscomments ON SOURCE_syscolumns.cdefault = SOURCE_syscomments.id JOIN sysobjects AS "
    "SOURCE_sysobjects ON SOURCE_syscolumns.id = SOURCE_sysobjects.id JOIN sysobjects as SOURCE_Names ON "
    "SOURCE_syscomments.id = SOURCE_Names.id WHERE SOURCE_sysobjects.name <> 'dtproperties' ";
const std::string kRemovalIndexesSelect =
    " SELECT SOURCE_sysindexes.name as IX_Name, SOURCE_sysobjects_2.name as tabela, SOURCE_syscolumns.name as campo, "
    "SOURCE_sysindexkeys.*  ";
const std::string kRemovalIndexesFrom =
    " FROM sysindexkeys AS SOURCE_sysindexkeys JOIN sysindexes AS SOURCE_sysindexes ON (SOURCE_sysindexkeys.id = "
    "SOURCE_sysindexes.id AND substring(SOURCE_sysindexes.name,1,2)='IX' AND SOURCE_sysindexkeys.indid = "
    "SOURCE_sysindexes.indid) JOIN sysobjects AS SOURCE_sysobjects_2 ON (SOURCE_sysindexes.id = "
    "SOURCE_sysobjects_2.id AND SOURCE_sysobjects_2.xtype = 'U') JOIN syscolumns AS SOURCE_syscolumns ON "
    "(SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND SOURCE_sysindexkeys.colid = SOURCE_syscolumns.colid) "
    "WHERE NOT EXISTS (SELECT * FROM sysobjects AS SOURCE_sysobjects WHERE SOURCE_sysobjects.parent_obj = "
    "SOURCE_sysindexes.id AND SOURCE_sysobjects.name = SOURCE_sysindexes.name) ";
const std::string kOrderByTableColumn = " ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name";

struct QueryCase {
    const char* name;
    const char* database;  // "reference" or "target"
    std::string sql;
    Rows expected;         // a cell "*" matches anything, "X*" any text starting with X;
                           // only the first expected.size() rows and each row's first
                           // cells are compared
    int rowCount;          // the whole result's row count
};

std::vector<QueryCase> cases() {
    std::vector<QueryCase> c;
    c.push_back({"CaptureTablesAndColumns", "reference",
                 kColumnsSelect + kColumnsFrom + "ORDER BY SOURCE_sysobjects.name, SOURCE_syscolumns.colorder",
                 {{"tbDocumentos", "numero", "int", "4", "10", "0", "0", "0", "NULL"},
                  {"tbDocumentos", "ano", "smallint", "2", "5", "0", "0", "0", "NULL"},
                  {"tbDocumentos", "cliente", "nvarchar", "160", "0", "0", "1", "0", "NULL"},
                  {"tbDocumentos", "valor", "money", "8", "19", "4", "1", "0", "(0)"},
                  {"tbDocumentos", "data_doc", "datetime", "8", "23", "3", "1", "0", "(getdate())"},
                  {"tbDocumentos", "estado", "char", "1", "0", "0", "0", "0", "('A')"},
                  {"tbDocumentos", "obs", "ntext", "16", "0", "0", "1", "0", "NULL"},
                  {"tbLogs_Aplicacao", "id", "int", "4", "10", "0", "0", "1", "NULL"}},
                 74});
    c.push_back({"ExclusionProbe", "reference", "SELECT TOP 1 * FROM tbSQLUpdate",
                 {{"1", "tbMenu_Main", "0", "0", "0", "1", "0"}}, 1});
    c.push_back({"ExclusionRule", "reference",
                 "SELECT * FROM tbSQLUpdate WHERE exclude <> 0 AND descrit = 'tblogs_aplicacao'",
                 {{"9", "tbLogs_Aplicacao", "1", "1", "0", "0", "0"}}, 1});
    c.push_back({"FunctionsPhaseList", "reference",
                 "SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON sysobjects.id = syscomments.id "
                 "WHERE sysobjects.xtype = 'FN' AND name <> 'sysconstraints'  AND name <> 'syssegments'  "
                 "ORDER BY sysobjects.name",
                 {{"fnFormataData"}, {"fnNomeUtilizador"}}, 2});
    c.push_back({"ViewsPhaseListOneRowPerChunk", "reference",
                 "SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON sysobjects.id = syscomments.id "
                 "WHERE sysobjects.xtype = 'V' AND name <> 'sysconstraints'  AND name <> 'syssegments'  "
                 "ORDER BY sysobjects.name",
                 {{"vwMenuCompleto"}, {"vwMenuCompleto"}, {"vwMenuCompleto"}, {"vwUtilizadores"}}, 4});
    c.push_back({"ViewChunks", "reference",
                 "SELECT syscomments.text as sql_view FROM sysobjects LEFT JOIN syscomments ON sysobjects.id = "
                 "syscomments.id WHERE sysobjects.xtype = 'V' AND sysobjects.name <> 'sysconstraints' AND "
                 "sysobjects.name <> 'syssegments' AND sysobjects.name = 'vwMenuCompleto'",
                 {{"CREATE VIEW dbo.vwMenuCompleto*"}}, 3});
    c.push_back({"ProceduresPhaseList", "reference",
                 "SELECT sysobjects.id, sysobjects.name FROM sysobjects WHERE sysobjects.xtype = 'P' AND "
                 "sysobjects.status = 1610612736 ORDER BY sysobjects.name",
                 {{"*", "spActualizaVersao"}, {"*", "spLimpaLogs"}, {"*", "spRecalculaMenus"}}, 3});
    c.push_back({"CaptureIndexesOfKeyedTables", "reference", kCaptureIndexes,
                 {{"IX_tbDocumentos_cliente", "tbDocumentos", "cliente", "*", "4", "3", "1"},
                  {"IX_tbDocumentos_data", "tbDocumentos", "data_doc", "*", "3", "5", "1"},
                  {"IX_tbMenu_Main_Items_id_menu", "tbMenu_Main_Items", "id_menu", "*", "2", "2", "1"}},
                 3});
    c.push_back({"CapturePrimaryKeys", "reference",
                 kPrimaryKeysHead + kPrimaryKeysJoins + "WHERE SOURCE_sysobjects_2.name <> 'dtproperties'" +
                     "ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name",
                 {{"PK_tbDocumentos", "tbDocumentos", "ano", "*", "2", "2", "2"},
                  {"PK_tbDocumentos", "tbDocumentos", "numero", "*", "2", "1", "1"},
                  {"PK_tbMenu_Main", "tbMenu_Main", "id_menu", "*", "1", "1", "1"},
                  {"PK_tbMenu_Main_Items", "tbMenu_Main_Items", "id_item", "*", "1", "1", "1"},
                  {"PK_tbMenu_Main_Sub", "tbMenu_Main_Sub", "id_item", "*", "1", "1", "1"},
                  {"PK_tbMenu_Main_Sub", "tbMenu_Main_Sub", "id_sub", "*", "1", "2", "2"},
                  {"PK_tbParametros", "tbParametros", "nome"},
                  {"PK_tbPesquisas", "tbPesquisas", "id_pesquisa"},
                  {"PK_tbSecurityPolicies", "tbSecurityPolicies", "code"},
                  {"PK_tbSQLUpdate", "tbSQLUpdate", "id"},
                  {"PK_tbTipos", "tbTipos", "id"},
                  {"PK_tbUsers", "tbUsers", "id_user"},
                  {"PK_tbVersao", "tbVersao", "versao"}},
                 13});
    c.push_back({"CaptureDefaults", "reference",
                 "SELECT SOURCE_Names.name as DF_name, SOURCE_sysobjects.name as tabela, SOURCE_syscolumns.name as "
                 "campo, SOURCE_syscomments.text as valor FROM syscolumns AS SOURCE_syscolumns " +
                     kDefaultsJoins.substr(1) + "ORDER BY SOURCE_sysobjects.name, SOURCE_syscolumns.name",
                 {{"DF__tbDocumen__data_doc__*", "tbDocumentos", "data_doc", "(getdate())"},
                  {"DF__tbDocumen__estado__*", "tbDocumentos", "estado", "('A')"},
                  {"DF__tbDocumen__valor__*", "tbDocumentos", "valor", "(0)"},
                  {"DF__tbLogs_Ap__data__*", "tbLogs_Aplicacao", "data", "(getdate())"},
                  {"DF_tbMenu_Main_ordem", "tbMenu_Main", "ordem", "(0)"},
                  {"DF_tbMenu_Main_users_groups", "tbMenu_Main", "users_groups", "('')"},
                  {"DF__tbMenu_Ma__ordem__*", "tbMenu_Main_Items", "ordem", "(0)"},
                  {"DF__tbMenu_Ma__users_gro__*", "tbMenu_Main_Items", "users_groups", "('')"},
                  {"DF_tbMenu_Main_Sub_users_groups", "tbMenu_Main_Sub", "users_groups", "('')"},
                  {"DF__tbPesquis__users_gro__*", "tbPesquisas", "users_groups", "('')"},
                  {"DF__tbSecurit__users_gro__*", "tbSecurityPolicies", "users_groups", "('')"},
                  {"DF_tbSQLUpdate_Delete_First", "tbSQLUpdate", "Delete_First", "(0)"},
                  {"DF_tbSQLUpdate_exclude", "tbSQLUpdate", "exclude", "(0)"},
                  {"DF_tbSQLUpdate_force_update", "tbSQLUpdate", "force_update", "(0)"},
                  {"DF_tbSQLUpdate_only_if_empty", "tbSQLUpdate", "only_if_empty", "(0)"},
                  {"DF__tbUsers__activo__*", "tbUsers", "activo", "(0)"},
                  {"DF__tbUsers__data_cria__*", "tbUsers", "data_criacao", "(getdate())"},
                  {"DF_tbVersao_data_versao", "tbVersao", "data_versao", "(getdate())"}},
                 18});
    c.push_back({"SystemDataTables", "reference",
                 "SELECT * FROM sysObjects WHERE sysObjects.xtype = 'U' AND sysObjects.name <> 'dtproperties' ORDER BY name",
                 {{"tbDocumentos"}, {"tbLogs_Aplicacao"}, {"tbMenu_Main"}, {"tbMenu_Main_Items"}, {"tbMenu_Main_Sub"},
                  {"tbParametros"}, {"tbPesquisas"}, {"tbSecurityPolicies"}, {"tbSQLUpdate"}, {"tbTipos"}, {"tbUsers"},
                  {"tbVersao"}},
                 12});
    c.push_back({"RuleRow", "reference", "SELECT * FROM tbSQLUpdate WHERE descrit = 'tbParametros'",
                 {{"6", "tbParametros", "0", "0", "0", "5", "0"}}, 1});
    c.push_back({"IdentityProbe", "reference", "SELECT * FROM sysColumns WHERE ID = {id:tbMenu_Main_Items} AND colstat <> 0",
                 {{"id_item"}}, 1});
    c.push_back({"KeyColumnOfOneTable", "reference",
                 " " + kPrimaryKeysHead + " " + kPrimaryKeysJoins + "WHERE SOURCE_sysobjects_2.name <> 'dtproperties' " +
                     " AND SOURCE_sysobjects_2.name = 'tbDocumentos' ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.colid",
                 {{"PK_tbDocumentos", "tbDocumentos", "numero"}, {"PK_tbDocumentos", "tbDocumentos", "ano"}}, 2});
    c.push_back({"GuardRow", "target", "SELECT TOP 1 * FROM tbVersao", {{"3.0.0", "2003-02-01 08:00:00.000", "0"}}, 1});
    c.push_back({"RemovalIndexesOncePerKeyColumn", "target",
                 kRemovalIndexesSelect + kRemovalIndexesFrom + kOrderByTableColumn,
                 {{"IX_tbDocumentos_cliente", "tbDocumentos", "cliente"},
                  {"IX_tbMenu_Main_Items_id_menu", "tbMenu_Main_Items", "id_menu"},
                  {"IX_tbUsers_descrit", "tbUsers", "descrit"}},
                 3});
    c.push_back({"RemovalDefaults", "target",
                 kDefaultsHead + kDefaultsJoins + " ORDER BY SOURCE_sysobjects.name, SOURCE_syscolumns.name",
                 {{"DF__tbDocumen__data_doc__*", "tbDocumentos", "data_doc", "(getdate())"}}, 10});
    c.push_back({"RoleMissing", "target", "SELECT * FROM sysusers WHERE name = 'nao_faz_nada'", {}, 0});
    c.push_back({"UsersTablePresent", "target", "SELECT sysobjects.name FROM sysobjects WHERE sysobjects.name = 'tbUsers'",
                 {{"tbUsers"}}, 1});
    c.push_back({"DatabaseUserWithTrailingBlank", "target", "SELECT * FROM sysusers WHERE name = 'dbo '", {{"1", "2", "dbo"}}, 1});
    c.push_back({"ApplicationUsers", "target", "SELECT * FROM tbUsers",
                 {{"1", "sa"}, {"2", "joao"}, {"3", "NULL"}, {"4", "ana"}}, 4});
    c.push_back({"KeyOfOneTableInNameOrder", "target",
                 " " + kPrimaryKeysHead + " " + kPrimaryKeysJoins + " WHERE SOURCE_sysobjects_2.name = 'tbDocumentos'" +
                     kOrderByTableColumn,
                 {{"PK_tbDocumentos", "tbDocumentos", "ano"}, {"PK_tbDocumentos", "tbDocumentos", "numero"}}, 2});
    c.push_back({"NoKeyOnTable", "target",
                 " " + kPrimaryKeysHead + " " + kPrimaryKeysJoins + " WHERE SOURCE_sysobjects_2.name = 'tbSecurityPolicies'" +
                     kOrderByTableColumn,
                 {}, 0});
    c.push_back({"IndexOnOneColumn", "target",
                 kRemovalIndexesSelect + kRemovalIndexesFrom + "AND SOURCE_sysobjects_2.name = 'tbUsers' AND "
                     "SOURCE_syscolumns.name = 'descrit'" + kOrderByTableColumn,
                 {{"IX_tbUsers_descrit", "tbUsers", "descrit"}}, 1});
    c.push_back({"DefaultOfOneColumn", "target",
                 kDefaultsHead + kDefaultsJoins.substr(0, kDefaultsJoins.size() - 1) + " AND " +
                     " SOURCE_sysobjects.name = 'tbMenu_Main' AND SOURCE_syscolumns.name = 'ordem' ORDER BY "
                     "SOURCE_sysobjects.name, SOURCE_syscolumns.name",
                 {{"DF_tbMenu_Main_ordem", "tbMenu_Main", "ordem", "(0)"}}, 1});
    c.push_back({"ExistingFunction", "target",
                 "SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON sysobjects.id = syscomments.id "
                 "WHERE sysobjects.xtype = 'FN' AND name = 'fnFormataData'ORDER BY sysobjects.name",
                 {{"fnFormataData"}}, 1});
    c.push_back({"MissingView", "target",
                 "SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON sysobjects.id = syscomments.id "
                 "WHERE sysobjects.xtype = 'V' AND name = 'vwMenuCompleto'ORDER BY sysobjects.name",
                 {}, 0});
    c.push_back({"ExistingProcedure", "target",
                 "SELECT sysobjects.id, sysobjects.name FROM sysobjects WHERE sysobjects.xtype = 'P' AND "
                 "sysobjects.status = 1610612736 AND sysobjects.name = 'spLimpaLogs'",
                 {{"*", "spLimpaLogs"}}, 1});
    c.push_back({"TargetColumnsOfOneTable", "target",
                 kTargetColumnsSelect + kTargetColumnsFrom + " WHERE SOURCE_sysobjects.name = 'tbDocumentos'",
                 {{"tbDocumentos", "numero", "int", "4", "10", "0", "0", "0", "NULL", "NULL"},
                  {"tbDocumentos", "ano", "smallint", "2", "5", "0", "0", "0", "NULL", "NULL"},
                  {"tbDocumentos", "cliente", "nvarchar", "160", "0", "0", "1", "0", "NULL", "Latin1_General_CS_AS"},
                  {"tbDocumentos", "valor", "money", "8", "19", "4", "1", "0", "(0)", "NULL"},
                  {"tbDocumentos", "data_doc", "datetime", "8", "23", "3", "1", "0", "(getdate())", "NULL"},
                  {"tbDocumentos", "estado", "char", "1", "0", "0", "0", "0", "('A')", "SQL_Latin1_General_CP1_CI_AS"},
                  {"tbDocumentos", "obs", "ntext", "16", "0", "0", "1", "0", "NULL", "SQL_Latin1_General_CP1_CI_AS"}},
                 7});
    c.push_back({"TargetColumnMissing", "target",
                 kTargetColumnsSelect + kTargetColumnsFrom + " WHERE SOURCE_sysobjects.name = 'tbMenu_Main'" +
                     " AND SOURCE_syscolumns.name = 'users_groups'",
                 {}, 0});
    c.push_back({"TargetColumnNarrower", "target",
                 kTargetColumnsSelect + kTargetColumnsFrom + " WHERE SOURCE_sysobjects.name = 'tbMenu_Main'" +
                     " AND SOURCE_syscolumns.name = 'descrit'",
                 {{"tbMenu_Main", "descrit", "varchar", "50", "0", "0", "0", "0", "NULL", "SQL_Latin1_General_CP1_CI_AS"}}, 1});
    c.push_back({"TargetIdentityDiffers", "target",
                 kTargetColumnsSelect + kTargetColumnsFrom + " WHERE SOURCE_sysobjects.name = 'tbMenu_Main_Items'" +
                     " AND SOURCE_syscolumns.name = 'id_item'",
                 {{"tbMenu_Main_Items", "id_item", "int", "4", "10", "0", "0", "0", "NULL", "NULL"}}, 1});
    c.push_back({"MissingTable", "target",
                 kTargetColumnsSelect + kTargetColumnsFrom + " WHERE SOURCE_sysobjects.name = 'tbPesquisas'", {}, 0});
    c.push_back({"RebuildCatalog", "target", kRebuildSelect + kTargetColumnsFrom + " WHERE SOURCE_sysobjects.name = 'tbMenu_Main_Items'",
                 {{"tbMenu_Main_Items", "id_item"}, {"tbMenu_Main_Items", "id_menu"}, {"tbMenu_Main_Items", "descrit"},
                  {"tbMenu_Main_Items", "ordem", "int", "4", "10", "0", "1", "0", "(0)"},
                  {"tbMenu_Main_Items", "users_groups", "varchar", "255", "0", "0", "1", "0", "('')"}},
                 5});
    c.push_back({"FixtureLargeValues", "reference",
                 "SELECT DATALENGTH(p.sql_text), DATALENGTH(t.imagem), SUBSTRING(t.imagem, 1, 6) FROM tbPesquisas p, "
                 "tbParametros t WHERE p.id_pesquisa = 1 AND t.nome = 'Logotipo'",
                 {{"9000", "20000", "0x474946383961"}}, 1});
    c.push_back({"RebuildColumnList", "target", "SELECT TOP 1 * FROM tbMenu_Main_Items", {{"1", "1", "Ficha de cliente"}}, 1});
    return c;
}

// One engine with both fixtures loaded, shared by every case (they only read).
class CatalogQueries : public ::testing::TestWithParam<QueryCase> {
public:
    static void SetUpTestSuite() {
        s_harness = new EngineHarness("master");
        s_harness->engine().loadScript("reference", std::string(SQLUPGRADE_SOURCE_DIR) + "/tests/fixtures/reference.sql");
        s_harness->engine().loadScript("target", std::string(SQLUPGRADE_SOURCE_DIR) + "/tests/fixtures/target.sql");
    }
    static void TearDownTestSuite() {
        delete s_harness;
        s_harness = nullptr;
    }

protected:
    static EngineHarness* s_harness;
};

EngineHarness* CatalogQueries::s_harness = nullptr;

bool cellMatches(const std::string& expected, const std::string& actual) {
    if (expected == "*") return true;
    if (expected.size() > 1 && expected.back() == '*') return actual.rfind(expected.substr(0, expected.size() - 1), 0) == 0;
    return expected == actual;
}

TEST_P(CatalogQueries, ReturnTheRowsTheFixturesImply) {
    const QueryCase& c = GetParam();
    auto session = s_harness->login(c.database);
    std::string sql = c.sql;
    std::size_t at = sql.find("{id:");
    if (at != std::string::npos) {
        std::size_t end = sql.find('}', at);
        std::string table = sql.substr(at + 4, end - at - 4);
        Response idResponse = session->executeBatch("SELECT id FROM sysobjects WHERE name = '" + table + "'");
        const auto& rs = std::get<RowSet>(idResponse.items.front());
        sql.replace(at, end - at + 1, valueText(rs.rows.at(0).at(0)));
    }
    Response r = session->executeBatch(sql);
    ASSERT_EQ(describe(r), "") << sql;
    const RowSet* rows = nullptr;
    for (const auto& item : r.items)
        if (const auto* rs = std::get_if<RowSet>(&item)) rows = rs;
    ASSERT_NE(rows, nullptr);
    ASSERT_EQ(static_cast<int>(rows->rows.size()), c.rowCount) << sql;
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
        const auto& want = c.expected[i];
        const auto& got = rows->rows[i];
        ASSERT_GE(got.size(), want.size());
        for (std::size_t k = 0; k < want.size(); ++k)
            EXPECT_TRUE(cellMatches(want[k], valueText(got[k])))
                << "row " << i << " column " << rows->columns[k].name << ": expected " << want[k] << ", got "
                << valueText(got[k]);
    }
}

// The upgrade's IX index query finds an index through its own table: on a table that
// owns no constraint or default too, once per key column, never an index that backs a
// constraint of its table (here a unique constraint named IX_...).
TEST(IxIndexQuery, FindsIndexesOnEveryUserTableOncePerKeyColumn) {
    EngineHarness h;
    h.run("CREATE TABLE tbSemNada (a int NULL, b varchar(10) NULL)\n"
          "CREATE INDEX IX_tbSemNada_ab ON tbSemNada (b, a)\n"
          "CREATE TABLE tbCheia (id int NOT NULL CONSTRAINT PK_tbCheia PRIMARY KEY, u int NULL "
          "CONSTRAINT IX_tbCheia_u UNIQUE, d int NULL DEFAULT (0))\n"
          "CREATE INDEX IX_tbCheia_d ON tbCheia (d)");
    Rows found;
    for (const auto& row : h.rows(kRemovalIndexesSelect + kRemovalIndexesFrom + kOrderByTableColumn))
        found.push_back({row.at(0), row.at(1), row.at(2)});
    EXPECT_EQ(found, (Rows{{"IX_tbCheia_d", "tbCheia", "d"},
                           {"IX_tbSemNada_ab", "tbSemNada", "a"},
                           {"IX_tbSemNada_ab", "tbSemNada", "b"}}));
    EXPECT_EQ(h.rows(kRemovalIndexesSelect + kRemovalIndexesFrom +
                     "AND SOURCE_sysobjects_2.name = 'tbSemNada' AND SOURCE_syscolumns.name = 'b'" +
                     kOrderByTableColumn)
                  .size(),
              1u);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CatalogQueries, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<QueryCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sandbox::testing
