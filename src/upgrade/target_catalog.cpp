#include "upgrade/target_catalog.h"

#include "store/sql_value.h"

namespace upgrade {
namespace {

const char* const kIxIndexSelect =
    " SELECT SOURCE_sysindexes.name as IX_Name, SOURCE_sysobjects_2.name as tabela, "
    "SOURCE_syscolumns.name as campo, SOURCE_sysindexkeys.*  ";

// The table is reached from the index itself (sysindexes.id), so that an index is found
// on every user table, whatever the table owns. An index named like an object its table
// owns (the index of a key or unique constraint) is left out.
const char* const kIxIndexFrom =
    " FROM sysindexkeys AS SOURCE_sysindexkeys JOIN sysindexes AS SOURCE_sysindexes ON "
    "(SOURCE_sysindexkeys.id = SOURCE_sysindexes.id AND "
    "substring(SOURCE_sysindexes.name,1,2)='IX' AND SOURCE_sysindexkeys.indid = "
    "SOURCE_sysindexes.indid) JOIN sysobjects AS SOURCE_sysobjects_2 ON "
    "(SOURCE_sysindexes.id = SOURCE_sysobjects_2.id AND SOURCE_sysobjects_2.xtype = 'U') "
    "JOIN syscolumns AS SOURCE_syscolumns ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id "
    "AND SOURCE_sysindexkeys.colid = SOURCE_syscolumns.colid) WHERE NOT EXISTS (SELECT * "
    "FROM sysobjects AS SOURCE_sysobjects WHERE SOURCE_sysobjects.parent_obj = "
    "SOURCE_sysindexes.id AND SOURCE_sysobjects.name = SOURCE_sysindexes.name) ";

const char* const kByTableAndColumn = " ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name";

const char* const kDefaultSelect =
    " SELECT SOURCE_Names.name as DF_name, SOURCE_sysobjects.name as tabela, "
    "SOURCE_syscolumns.name as campo, SOURCE_syscomments.text as valor FROM syscolumns AS "
    "SOURCE_syscolumns ";

const char* const kDefaultJoins =
    " JOIN syscomments AS SOURCE_syscomments ON SOURCE_syscolumns.cdefault = "
    "SOURCE_syscomments.id JOIN sysobjects AS SOURCE_sysobjects ON SOURCE_syscolumns.id = "
    "SOURCE_sysobjects.id JOIN sysobjects as SOURCE_Names ON SOURCE_syscomments.id = "
    "SOURCE_Names.id WHERE SOURCE_sysobjects.name <> 'dtproperties' ";

const char* const kDefaultsByTableAndColumn =
    " ORDER BY SOURCE_sysobjects.name, SOURCE_syscolumns.name";

const char* const kPrimaryKeySelect =
    " SELECT SOURCE_sysobjects.name as PK_Name, SOURCE_sysobjects_2.name as tabela, "
    "SOURCE_syscolumns.name as campo, SOURCE_sysindexkeys.* FROM sysindexkeys AS "
    "SOURCE_sysindexkeys JOIN sysobjects AS SOURCE_sysobjects ON (SOURCE_sysindexkeys.id = "
    "SOURCE_sysobjects.parent_obj AND SOURCE_sysobjects.xtype = 'PK') ";

const char* const kPrimaryKeyJoins =
    " JOIN sysindexes AS SOURCE_sysindexes ON (SOURCE_sysindexkeys.id = SOURCE_sysindexes.id "
    "AND SOURCE_sysindexes.name = SOURCE_sysobjects.name AND SOURCE_sysindexkeys.indid = "
    "SOURCE_sysindexes.indid) JOIN sysobjects AS SOURCE_sysobjects_2 ON "
    "SOURCE_sysobjects.parent_obj = SOURCE_sysobjects_2.id JOIN syscolumns AS SOURCE_syscolumns "
    "ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND SOURCE_sysindexkeys.colid = "
    "SOURCE_syscolumns.colid) ";

std::string literal(std::string_view name) {
    return store::SQLValueForServer(name, store::kSqlText);
}

}  // namespace

std::string ixIndexListQuery() {
    return std::string(kIxIndexSelect) + kIxIndexFrom + kByTableAndColumn;
}

std::string ixIndexQuery(std::string_view table, std::string_view column) {
    return std::string(kIxIndexSelect) + kIxIndexFrom +
           "AND SOURCE_sysobjects_2.name = " + literal(table) +
           " AND SOURCE_syscolumns.name = " + literal(column) + kByTableAndColumn;
}

std::string defaultListQuery() {
    return std::string(kDefaultSelect) + kDefaultJoins + kDefaultsByTableAndColumn;
}

std::string defaultConstraintQuery(std::string_view table, std::string_view column) {
    return std::string(kDefaultSelect) + kDefaultJoins +
           "AND  SOURCE_sysobjects.name = " + literal(table) +
           " AND SOURCE_syscolumns.name = " + literal(column) + kDefaultsByTableAndColumn;
}

std::string primaryKeyQuery(std::string_view table) {
    return std::string(kPrimaryKeySelect) + kPrimaryKeyJoins +
           " WHERE SOURCE_sysobjects_2.name = " + literal(table) + kByTableAndColumn;
}

std::string dropIndexStatement(std::string_view table, std::string_view index) {
    return "DROP INDEX " + store::BracketName(table) + "." + store::BracketName(index);
}

std::string dropConstraintStatement(std::string_view table, std::string_view constraint) {
    return "ALTER TABLE " + store::BracketName(table) + " DROP CONSTRAINT " +
           store::BracketName(constraint);
}

}  // namespace upgrade
