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

std::string rebuildCatalogQuery(std::string_view table) {
    return std::string(kColumnSelect) + " " + kColumnFrom + " WHERE SOURCE_sysobjects.name = " +
           quotedName(table);
}

}  // namespace structure
