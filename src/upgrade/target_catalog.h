#pragma once

#include <string>
#include <string_view>

namespace upgrade {

// The target's catalog as the upgrade phases ask it: the IX indexes, the column defaults
// and the primary keys, with the statements that drop what they find. Names enter the
// queries as T-SQL text literals (apostrophes doubled) and the statements in brackets
// (']' doubled).

// Every index of a user table whose name begins with IX, once per key column, but for
// an index named like an object its table owns (a key or unique constraint's own index):
// IX_Name, tabela, campo and the sysindexkeys columns, by table and column name.
// " SELECT SOURCE_sysindexes.name as IX_Name, ... SOURCE_sysindexkeys.*   FROM
// sysindexkeys AS SOURCE_sysindexkeys JOIN ... WHERE NOT EXISTS (... SOURCE_sysobjects.name
// = SOURCE_sysindexes.name)  ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name"
std::string ixIndexListQuery();

// The same for one column. Example: (tbX, nome) -> "... SOURCE_sysindexes.name) AND
// SOURCE_sysobjects_2.name = 'tbX' AND SOURCE_syscolumns.name = 'nome' ORDER BY
// SOURCE_sysobjects_2.name, SOURCE_syscolumns.name"
std::string ixIndexQuery(std::string_view table, std::string_view column);

// Every column default outside dtproperties: DF_name, tabela, campo, valor.
// " SELECT SOURCE_Names.name as DF_name, ... FROM syscolumns AS SOURCE_syscolumns  JOIN
// ... WHERE SOURCE_sysobjects.name <> 'dtproperties'  ORDER BY SOURCE_sysobjects.name,
// SOURCE_syscolumns.name"
std::string defaultListQuery();

// The default of one column. Example: (tbX, qtd) -> "... WHERE SOURCE_sysobjects.name <>
// 'dtproperties' AND  SOURCE_sysobjects.name = 'tbX' AND SOURCE_syscolumns.name = 'qtd'
// ORDER BY SOURCE_sysobjects.name, SOURCE_syscolumns.name"
std::string defaultConstraintQuery(std::string_view table, std::string_view column);

// The primary key of one table, a row per key column in column-name order (not key
// order): PK_Name, tabela, campo and the sysindexkeys columns. Example: tbX -> " SELECT
// SOURCE_sysobjects.name as PK_Name, ... SOURCE_syscolumns.colid)  WHERE
// SOURCE_sysobjects_2.name = 'tbX' ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name"
std::string primaryKeyQuery(std::string_view table);

// DROP INDEX [tbX].[IX_tbX_nome]
std::string dropIndexStatement(std::string_view table, std::string_view index);

// ALTER TABLE [tbO'Neil] DROP CONSTRAINT [DF__tbO'Neil__cod__1A2B]
std::string dropConstraintStatement(std::string_view table, std::string_view constraint);

}  // namespace upgrade
