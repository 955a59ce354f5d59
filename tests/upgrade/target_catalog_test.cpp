#include "upgrade/target_catalog.h"

#include <gtest/gtest.h>

namespace upgrade {
namespace {

// The catalog queries and drops of the upgrade phases, complete. Names go into the
// queries as T-SQL literals and into the statements in brackets.
struct TextCase {
    const char* name;
    std::string actual;
    std::string expected;
};

class TargetCatalogText : public ::testing::TestWithParam<TextCase> {};

TEST_P(TargetCatalogText, IsExact) { EXPECT_EQ(GetParam().expected, GetParam().actual); }

const std::string kIxSelectAndFrom =
    " SELECT SOURCE_sysindexes.name as IX_Name, SOURCE_sysobjects_2.name as tabela, "
    "SOURCE_syscolumns.name as campo, SOURCE_sysindexkeys.*  "
    " FROM sysindexkeys AS SOURCE_sysindexkeys JOIN sysindexes AS SOURCE_sysindexes ON "
    "(SOURCE_sysindexkeys.id = SOURCE_sysindexes.id AND substring(SOURCE_sysindexes.name,1,2)='IX' "
    "AND SOURCE_sysindexkeys.indid = SOURCE_sysindexes.indid) JOIN sysobjects AS "
    "SOURCE_sysobjects_2 ON (SOURCE_sysindexes.id = SOURCE_sysobjects_2.id AND "
    "SOURCE_sysobjects_2.xtype = 'U') JOIN syscolumns AS SOURCE_syscolumns ON "
    "(SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND SOURCE_sysindexkeys.colid = "
    "SOURCE_syscolumns.colid) WHERE NOT EXISTS (SELECT * FROM sysobjects AS SOURCE_sysobjects "
    "WHERE SOURCE_sysobjects.parent_obj = SOURCE_sysindexes.id AND SOURCE_sysobjects.name = "
    "SOURCE_sysindexes.name) ";
const std::string kDefaultSelectAndJoins =
    " SELECT SOURCE_Names.name as DF_name, SOURCE_sysobjects.name as tabela, "
    "SOURCE_syscolumns.name as campo, SOURCE_syscomments.text as valor FROM syscolumns AS "
    "SOURCE_syscolumns "
    " JOIN syscomments AS SOURCE_syscomments ON SOURCE_syscolumns.cdefault = SOURCE_syscomments.id "
    "JOIN sysobjects AS SOURCE_sysobjects ON SOURCE_syscolumns.id = SOURCE_sysobjects.id JOIN "
    "sysobjects as SOURCE_Names ON SOURCE_syscomments.id = SOURCE_Names.id WHERE "
    "SOURCE_sysobjects.name <> 'dtproperties' ";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Queries, TargetCatalogText, ::testing::Values(
    TextCase{"IxIndexList", ixIndexListQuery(),
        kIxSelectAndFrom + " ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name"},
    TextCase{"IxIndexesOfAColumn", ixIndexQuery("tbO'Neil", "nome"),
        kIxSelectAndFrom + "AND SOURCE_sysobjects_2.name = 'tbO''Neil' AND SOURCE_syscolumns.name = 'nome' ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name"},
    TextCase{"DefaultList", defaultListQuery(),
        kDefaultSelectAndJoins + " ORDER BY SOURCE_sysobjects.name, SOURCE_syscolumns.name"},
    TextCase{"DefaultOfAColumn", defaultConstraintQuery("tbX", "qtd"),
        kDefaultSelectAndJoins + "AND  SOURCE_sysobjects.name = 'tbX' AND SOURCE_syscolumns.name = 'qtd' ORDER BY SOURCE_sysobjects.name, SOURCE_syscolumns.name"},
    TextCase{"PrimaryKeyOfATable", primaryKeyQuery("tbO'Neil"),
        " SELECT SOURCE_sysobjects.name as PK_Name, SOURCE_sysobjects_2.name as tabela, SOURCE_syscolumns.name as campo, SOURCE_sysindexkeys.* FROM sysindexkeys AS SOURCE_sysindexkeys JOIN sysobjects AS SOURCE_sysobjects ON (SOURCE_sysindexkeys.id = SOURCE_sysobjects.parent_obj AND SOURCE_sysobjects.xtype = 'PK') "
        " JOIN sysindexes AS SOURCE_sysindexes ON (SOURCE_sysindexkeys.id = SOURCE_sysindexes.id AND SOURCE_sysindexes.name = SOURCE_sysobjects.name AND SOURCE_sysindexkeys.indid = SOURCE_sysindexes.indid) JOIN sysobjects AS SOURCE_sysobjects_2 ON SOURCE_sysobjects.parent_obj = SOURCE_sysobjects_2.id JOIN syscolumns AS SOURCE_syscolumns ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND SOURCE_sysindexkeys.colid = SOURCE_syscolumns.colid) "
        " WHERE SOURCE_sysobjects_2.name = 'tbO''Neil' ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.name"},
    TextCase{"DropIndex", dropIndexStatement("tb]X", "IX_tbO'Neil"), "DROP INDEX [tb]]X].[IX_tbO'Neil]"},
    TextCase{"DropConstraint", dropConstraintStatement("tbO'Neil", "DF__tbO'Neil__cod__1A2B"),
        "ALTER TABLE [tbO'Neil] DROP CONSTRAINT [DF__tbO'Neil__cod__1A2B]"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace upgrade
