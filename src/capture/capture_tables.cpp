#include "capture/capture_tables.h"

#include "capture/is_excluded.h"
#include "store/sql_value.h"

namespace capture {

const char* const kTablesCatalogQuery =
    "SELECT SOURCE_sysobjects.name as tabela, SOURCE_syscolumns.name as campo, systypes.name "
    "as tipo, SOURCE_syscolumns.length as tamanho, SOURCE_syscolumns.xprec, "
    "SOURCE_syscolumns.xscale, SOURCE_syscolumns.isnullable, SOURCE_syscolumns.colstat as "
    "isidentity, SOURCE_syscomments.text as cdefault "
    "FROM syscolumns AS SOURCE_syscolumns JOIN sysobjects AS SOURCE_sysobjects ON "
    "(SOURCE_syscolumns.ID = SOURCE_sysobjects.ID AND SOURCE_sysobjects.xtype = 'U' AND "
    "SOURCE_sysobjects.name <> 'dtproperties') JOIN systypes ON SOURCE_syscolumns.xtype = "
    "systypes.xusertype LEFT JOIN  syscomments AS SOURCE_syscomments ON "
    "SOURCE_syscolumns.cdefault = SOURCE_syscomments.id "
    "ORDER BY SOURCE_sysobjects.name, SOURCE_syscolumns.colorder";

namespace {

// Example: table tbX, column id int identity not null without default ->
// INSERT INTO tbObjects (tabela, campo, tipo, tamanho, xprec, xscale, isnullable,
// isidentity, cdefault) VALUES ('tbX', 'id', 'int', 4, 10, 0, 0, 1, null)
void captureColumn(CaptureRun& run, db::Recordset& list) {
    const db::Value tabela = list.field("tabela").value();
    if (excluded(run, tabela.toText())) return;
    auto value = [&](const char* name, int kind) {
        return store::SQLValue(list.field(name).value(), kind);
    };
    run.store.execute(
        "INSERT INTO tbObjects (tabela, campo, tipo, tamanho, xprec, xscale, isnullable, "
        "isidentity, cdefault) VALUES (" +
        store::SQLValue(tabela, 3) + ", " + value("campo", 3) + ", " + value("tipo", 3) + ", " +
        value("tamanho", 2) + ", " + value("xprec", 2) + ", " + value("xscale", 2) + ", " +
        value("isnullable", 2) + ", " + value("isidentity", 2) + ", " + value("cdefault", 3) + ")");
}

}  // namespace

CatalogPhase tablesPhase() {
    return {"A carregar definições: Tabelas ...", kTablesCatalogQuery, {"tbObjects"}, captureColumn};
}

}  // namespace capture
