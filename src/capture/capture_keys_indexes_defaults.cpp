#include "capture/capture_keys_indexes_defaults.h"

#include "store/sql_value.h"

namespace capture {
namespace {

// Records come table by table and, within a table, by column name: the columns of a key
// of several columns reach the store in alphabetical order, not in key order. None of
// the three phases asks the rules table.

constexpr const char* kIndexesCatalogQuery =
    "SELECT SOURCE_sysindexes.name as IX_Name, SOURCE_sysobjects_2.name as tabela, "
    "SOURCE_syscolumns.name as campo, SOURCE_sysindexkeys.*  "
    "FROM sysindexkeys AS SOURCE_sysindexkeys JOIN sysobjects AS SOURCE_sysobjects ON "
    "(SOURCE_sysindexkeys.id = SOURCE_sysobjects.parent_obj AND SOURCE_sysobjects.xtype = 'PK') "
    "JOIN sysindexes AS SOURCE_sysindexes ON (SOURCE_sysindexkeys.id = SOURCE_sysindexes.id AND "
    "SOURCE_sysindexes.name <> SOURCE_sysobjects.name AND "
    "substring(SOURCE_sysindexes.name,1,2)='IX' AND SOURCE_sysindexkeys.indid = "
    "SOURCE_sysindexes.indid) JOIN sysobjects AS SOURCE_sysobjects_2 ON "
    "SOURCE_sysobjects.parent_obj = SOURCE_sysobjects_2.id JOIN syscolumns AS SOURCE_syscolumns "
    "ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND SOURCE_sysindexkeys.colid = "
    "SOURCE_syscolumns.colid) "
    "ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name";

// No blank between 'dtproperties' and ORDER BY: SQL Server reads the two apart all the same.
constexpr const char* kPrimaryKeysCatalogQuery =
    "SELECT SOURCE_sysobjects.name as PK_Name, SOURCE_sysobjects_2.name as tabela, "
    "SOURCE_syscolumns.name as campo, SOURCE_sysindexkeys.* FROM sysindexkeys AS "
    "SOURCE_sysindexkeys JOIN sysobjects AS SOURCE_sysobjects ON (SOURCE_sysindexkeys.id = "
    "SOURCE_sysobjects.parent_obj AND SOURCE_sysobjects.xtype = 'PK') "
    "JOIN sysindexes AS SOURCE_sysindexes ON (SOURCE_sysindexkeys.id = SOURCE_sysindexes.id AND "
    "SOURCE_sysindexes.name = SOURCE_sysobjects.name AND SOURCE_sysindexkeys.indid = "
    "SOURCE_sysindexes.indid) JOIN sysobjects AS SOURCE_sysobjects_2 ON "
    "SOURCE_sysobjects.parent_obj = SOURCE_sysobjects_2.id JOIN syscolumns AS SOURCE_syscolumns "
    "ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND SOURCE_sysindexkeys.colid = "
    "SOURCE_syscolumns.colid) WHERE SOURCE_sysobjects_2.name <> 'dtproperties'"
    "ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name";

constexpr const char* kDefaultsCatalogQuery =
    "SELECT SOURCE_Names.name as DF_name, SOURCE_sysobjects.name as tabela, "
    "SOURCE_syscolumns.name as campo, SOURCE_syscomments.text as valor FROM syscolumns AS "
    "SOURCE_syscolumns "
    "JOIN syscomments AS SOURCE_syscomments ON SOURCE_syscolumns.cdefault = SOURCE_syscomments.id "
    "JOIN sysobjects AS SOURCE_sysobjects ON SOURCE_syscolumns.id = SOURCE_sysobjects.id JOIN "
    "sysobjects as SOURCE_Names ON SOURCE_syscomments.id = SOURCE_Names.id WHERE "
    "SOURCE_sysobjects.name <> 'dtproperties' "
    "ORDER BY SOURCE_sysobjects.name, SOURCE_syscolumns.name";

std::string text(const db::Recordset& record, const char* field) {
    return store::SQLValue(record.field(field).value(), store::kSqlText);
}

// Example: INSERT INTO tbIndexes (nome, tabela, campo) VALUES ('IX_tbX_data', 'tbX', 'data')
void captureIndexColumn(CaptureRun& run, db::Recordset& list) {
    run.store.execute("INSERT INTO tbIndexes (nome, tabela, campo) VALUES (" + text(list, "IX_Name") +
                      ", " + text(list, "tabela") + ", " + text(list, "campo") + ")");
}

// Example: INSERT INTO tbPrimary_Keys (nome, tabela, campo) VALUES ('PK_tbX', 'tbX', 'Ano')
void captureKeyColumn(CaptureRun& run, db::Recordset& list) {
    run.store.execute("INSERT INTO tbPrimary_Keys (nome, tabela, campo) VALUES (" +
                      text(list, "PK_Name") + ", " + text(list, "tabela") + ", " +
                      text(list, "campo") + ")");
}

// Example: INSERT INTO tbDefaults (DF_name, tabela, campo, valor) VALUES ('DF_tbX_data',
// 'tbX', 'data', '(getdate())')
void captureDefault(CaptureRun& run, db::Recordset& list) {
    run.store.execute("INSERT INTO tbDefaults (DF_name, tabela, campo, valor) VALUES (" +
                      text(list, "DF_name") + ", " + text(list, "tabela") + ", " +
                      text(list, "campo") + ", " + text(list, "valor") + ")");
}

}  // namespace

CatalogPhase indexesPhase() {
    return {"A carregar definições: Indexes ...", kIndexesCatalogQuery, {"tbIndexes"},
            captureIndexColumn};
}

CatalogPhase primaryKeysPhase() {
    return {"A carregar definições: Primary Keys ...", kPrimaryKeysCatalogQuery, {"tbPrimary_Keys"},
            captureKeyColumn};
}

CatalogPhase defaultsPhase() {
    return {"A carregar definições: Defaults ...", kDefaultsCatalogQuery, {"tbDefaults"},
            captureDefault};
}

}  // namespace capture
