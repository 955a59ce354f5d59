#include "capture/capture_keys_indexes_defaults.h"

#include "phase_test_fixture.h"

namespace capture {
namespace {

// One phase's catalog query, the record set it returns and what the store must receive.
struct KeysCase {
    const char* name;
    CatalogPhase (*phase)();
    std::string catalogQuery;
    std::vector<const char*> columns;
    std::vector<std::vector<const char*>> rows;
    std::string progressText;
    std::vector<std::string> storeStatements;
};

std::vector<KeysCase> cases() {
    return {
        {"Indexes", indexesPhase,
         "SELECT SOURCE_sysindexes.name as IX_Name, SOURCE_sysobjects_2.name as tabela, "
         "SOURCE_syscolumns.name as campo, SOURCE_sysindexkeys.*  FROM sysindexkeys AS "
         "SOURCE_sysindexkeys JOIN sysobjects AS SOURCE_sysobjects ON (SOURCE_sysindexkeys.id = "
         "SOURCE_sysobjects.parent_obj AND SOURCE_sysobjects.xtype = 'PK') JOIN sysindexes AS "
         "SOURCE_sysindexes ON (SOURCE_sysindexkeys.id = SOURCE_sysindexes.id AND "
         "SOURCE_sysindexes.name <> SOURCE_sysobjects.name AND "
         "substring(SOURCE_sysindexes.name,1,2)='IX' AND SOURCE_sysindexkeys.indid = "
         "SOURCE_sysindexes.indid) JOIN sysobjects AS SOURCE_sysobjects_2 ON "
         "SOURCE_sysobjects.parent_obj = SOURCE_sysobjects_2.id JOIN syscolumns AS "
         "SOURCE_syscolumns ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND "
         "SOURCE_sysindexkeys.colid = SOURCE_syscolumns.colid) ORDER BY SOURCE_sysobjects_2.name, "
         "SOURCE_syscolumns.name",
         {"IX_Name", "tabela", "campo", "id", "indid", "colid", "keyno"},
         {{"IX_tbFacturas_Cliente", "tbFacturas", "Cliente", "7", "2", "3", "1"},
          {"IX_tbFacturas_Data", "tbFacturas", "Data", "7", "3", "4", "1"}},
         "A carregar definições: Indexes ...",
         {"DELETE FROM tbIndexes",
          "INSERT INTO tbIndexes (nome, tabela, campo) VALUES ('IX_tbFacturas_Cliente', "
          "'tbFacturas', 'Cliente')",
          "INSERT INTO tbIndexes (nome, tabela, campo) VALUES ('IX_tbFacturas_Data', 'tbFacturas', "
          "'Data')"}},
        {"PrimaryKeys", primaryKeysPhase,
         "SELECT SOURCE_sysobjects.name as PK_Name, SOURCE_sysobjects_2.name as tabela, "
         "SOURCE_syscolumns.name as campo, SOURCE_sysindexkeys.* FROM sysindexkeys AS "
         "SOURCE_sysindexkeys JOIN sysobjects AS SOURCE_sysobjects ON (SOURCE_sysindexkeys.id = "
         "SOURCE_sysobjects.parent_obj AND SOURCE_sysobjects.xtype = 'PK') JOIN sysindexes AS "
         "SOURCE_sysindexes ON (SOURCE_sysindexkeys.id = SOURCE_sysindexes.id AND "
         "SOURCE_sysindexes.name = SOURCE_sysobjects.name AND SOURCE_sysindexkeys.indid = "
         "SOURCE_sysindexes.indid) JOIN sysobjects AS SOURCE_sysobjects_2 ON "
         "SOURCE_sysobjects.parent_obj = SOURCE_sysobjects_2.id JOIN syscolumns AS "
         "SOURCE_syscolumns ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND "
         "SOURCE_sysindexkeys.colid = SOURCE_syscolumns.colid) WHERE SOURCE_sysobjects_2.name <> "
         "'dtproperties'ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name",
         {"PK_Name", "tabela", "campo", "id", "indid", "colid", "keyno"},
         {{"PK_tbFacturas", "tbFacturas", "Ano", "7", "1", "2", "2"},
          {"PK_tbFacturas", "tbFacturas", "Nr", "7", "1", "1", "1"}},
         "A carregar definições: Primary Keys ...",
         {"DELETE FROM tbPrimary_Keys",
          "INSERT INTO tbPrimary_Keys (nome, tabela, campo) VALUES ('PK_tbFacturas', 'tbFacturas', "
          "'Ano')",
          "INSERT INTO tbPrimary_Keys (nome, tabela, campo) VALUES ('PK_tbFacturas', 'tbFacturas', "
          "'Nr')"}},
        {"Defaults", defaultsPhase,
         "SELECT SOURCE_Names.name as DF_name, SOURCE_sysobjects.name as tabela, "
         "SOURCE_syscolumns.name as campo, SOURCE_syscomments.text as valor FROM syscolumns AS "
         "SOURCE_syscolumns JOIN syscomments AS SOURCE_syscomments ON SOURCE_syscolumns.cdefault = "
         "SOURCE_syscomments.id JOIN sysobjects AS SOURCE_sysobjects ON SOURCE_syscolumns.id = "
         "SOURCE_sysobjects.id JOIN sysobjects as SOURCE_Names ON SOURCE_syscomments.id = "
         "SOURCE_Names.id WHERE SOURCE_sysobjects.name <> 'dtproperties' ORDER BY "
         "SOURCE_sysobjects.name, SOURCE_syscolumns.name",
         {"DF_name", "tabela", "campo", "valor"},
         {{"DF_tbFacturas_Data", "tbFacturas", "Data", "(getdate())"},
          {"DF__tbFactur__Nota__1A2B3C4D", "tbFacturas", "Nota", "('d''arquivo')"}},
         "A carregar definições: Defaults ...",
         {"DELETE FROM tbDefaults",
          "INSERT INTO tbDefaults (DF_name, tabela, campo, valor) VALUES ('DF_tbFacturas_Data', "
          "'tbFacturas', 'Data', '(getdate())')",
          "INSERT INTO tbDefaults (DF_name, tabela, campo, valor) VALUES "
          "('DF__tbFactur__Nota__1A2B3C4D', 'tbFacturas', 'Nota', "
          "'('+CHR(39)+'d'+CHR(39)+''+CHR(39)+'arquivo'+CHR(39)+')')"}},
    };
}

class KeysIndexesDefaultsPhase : public PhaseTest, public ::testing::WithParamInterface<KeysCase> {};

// One query, no rules-table question, one insert per record in the order received.
TEST_P(KeysIndexesDefaultsPhase, SendsTheGoldenStatements) {
    const KeysCase& c = GetParam();
    std::vector<db::Column> columns;
    for (const char* name : c.columns) columns.push_back({name, db::ado::kVarWChar});
    testing_support::FakeConnection::Rows rows;
    for (const auto& row : c.rows) {
        rows.emplace_back();
        for (const char* cell : row) rows.back().push_back(db::Value::text(cell));
    }
    server.onQuery(c.catalogQuery, columns, rows);

    runCatalogPhase(run, c.phase());

    EXPECT_EQ(server.log, std::vector<std::string>{c.catalogQuery});
    EXPECT_EQ(store.log, c.storeStatements);
    EXPECT_EQ(form.FXEvolucao.caption, c.progressText);
    EXPECT_EQ(form.ProgressBar1.max, 2);
    EXPECT_EQ(form.ProgressBar1.value, 2);
}

TEST_P(KeysIndexesDefaultsPhase, WithNoRecordsTheStoreTableStaysAsItWas) {
    runCatalogPhase(run, GetParam().phase());
    EXPECT_EQ(server.log, std::vector<std::string>{GetParam().catalogQuery});
    EXPECT_TRUE(store.log.empty());
}

INSTANTIATE_TEST_SUITE_P(Phases, KeysIndexesDefaultsPhase, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<KeysCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace capture
