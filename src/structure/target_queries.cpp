#include "structure/target_queries.h"

#include "store/sql_value.h"

namespace structure {
namespace {

const char* const kColumnSelect =
    " SELECT SOURCE_sysobjects.name as tabela, SOURCE_syscolumns.name as campo, systypes.name "
    "as tipo, SOURCE_syscolumns.length as tamanho, SOURCE_syscolumns.xprec, "
    "SOURCE_syscolumns.xscale, SOURCE_syscolumns.isnullable, SOURCE_syscolumns.colstat as "
    "isidentity, SOURCE_syscomments.text as cdefault";

const char* const kColumnFrom =
    " FROM syscolumns AS SOURCE_syscolumns JOIN sysobjects AS SOURCE_sysobjects ON "
    "(SOURCE_syscolumns.ID = SOURCE_sysobjects.ID AND SOURCE_sysobjects.xtype = 'U' AND "
    "SOURCE_sysobjects.name <> 'dtproperties') JOIN systypes ON SOURCE_syscolumns.xtype = "
    "systypes.xusertype LEFT JOIN syscomments AS SOURCE_syscomments ON "
    "SOURCE_syscolumns.cdefault = SOURCE_syscomments.id ";

const char* const kDefaultConstraintSelect =
    " SELECT SOURCE_Names.name as DF_name, SOURCE_sysobjects.name as tabela, "
    "SOURCE_syscolumns.name as campo, SOURCE_syscomments.text as valor FROM syscolumns AS "
    "SOURCE_syscolumns  JOIN syscomments AS SOURCE_syscomments ON SOURCE_syscolumns.cdefault = "
    "SOURCE_syscomments.id JOIN sysobjects AS SOURCE_sysobjects ON SOURCE_syscolumns.id = "
    "SOURCE_sysobjects.id JOIN sysobjects as SOURCE_Names ON SOURCE_syscomments.id = "
    "SOURCE_Names.id WHERE SOURCE_sysobjects.name <> 'dtproperties' AND  "
    "SOURCE_sysobjects.name = ";

const char* const kIxIndexSelect =
    " SELECT SOURCE_sysindexes.name as IX_Name, SOURCE_sysobjects_2.name as tabela, "
    "SOURCE_syscolumns.name as campo, SOURCE_sysindexkeys.*   FROM sysindexkeys AS "
    "SOURCE_sysindexkeys JOIN sysobjects AS SOURCE_sysobjects ON (SOURCE_sysindexkeys.id = "
    "SOURCE_sysobjects.parent_obj) JOIN sysindexes AS SOURCE_sysindexes ON "
    "(SOURCE_sysindexkeys.id = SOURCE_sysindexes.id AND SOURCE_sysindexes.name <> "
    "SOURCE_sysobjects.name AND substring(SOURCE_sysindexes.name,1,2)='IX' AND "
    "SOURCE_sysindexkeys.indid = SOURCE_sysindexes.indid) JOIN sysobjects AS "
    "SOURCE_sysobjects_2 ON SOURCE_sysobjects.parent_obj = SOURCE_sysobjects_2.id JOIN "
    "syscolumns AS SOURCE_syscolumns ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND "
    "SOURCE_sysindexkeys.colid = SOURCE_syscolumns.colid)  WHERE SOURCE_sysobjects_2.name = ";

}  // namespace

std::string quotedName(std::string_view name) {
    return store::SQLValueForServer(name, 3);
}

std::string targetColumnQuery(std::string_view table) {
    return std::string(kColumnSelect) + ", SOURCE_syscolumns.collation " + kColumnFrom +
           " WHERE SOURCE_sysobjects.name = " + quotedName(table);
}

std::string targetColumnQuery(std::string_view table, std::string_view column) {
    return targetColumnQuery(table) + " AND SOURCE_syscolumns.name = " + quotedName(column);
}

std::string defaultConstraintQuery(std::string_view table, std::string_view column) {
    return kDefaultConstraintSelect + quotedName(table) + " AND SOURCE_syscolumns.name = " +
           quotedName(column) + " ORDER BY SOURCE_sysobjects.name, SOURCE_syscolumns.name";
}

std::string dropDefaultStatement(const db::Recordset& defaultRow) {
    return "ALTER TABLE " + store::BracketName(defaultRow.field("tabela").value().toText()) +
           " DROP CONSTRAINT " + store::BracketName(defaultRow.field("DF_name").value().toText());
}

std::string ixIndexQuery(std::string_view table, std::string_view column) {
    return kIxIndexSelect + quotedName(table) + " AND SOURCE_syscolumns.name = " +
           quotedName(column) + " ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name";
}

std::string rebuildCatalogQuery(std::string_view table) {
    return std::string(kColumnSelect) + " " + kColumnFrom + " WHERE SOURCE_sysobjects.name = " +
           quotedName(table);
}

}  // namespace structure
