#include "structure/column_clause.h"

#include <gtest/gtest.h>

#include "structure/target_queries.h"

namespace structure {
namespace {

// One type name: the column clause pieces every statement of the table structure update
// starts from, for a column named c.
struct TypeCase {
    const char* name;
    const char* tipo;
    int tamanho;
    int xprec;
    int xscale;
    const char* nameAndType;
    // The ADD clause of a NOT NULL column without a stored default.
    const char* addNotNullWithoutDefault;
};

class ColumnClauseByType : public ::testing::TestWithParam<TypeCase> {};

TEST_P(ColumnClauseByType, NameTypeCollationAndMadeUpDefault) {
    const TypeCase& c = GetParam();
    ColumnDefinition column;
    column.tabela = "t";
    column.campo = "c";
    column.tipo = c.tipo;
    column.tamanho = db::Value::integer(c.tamanho);
    column.xprec = db::Value::integer(c.xprec);
    column.xscale = db::Value::integer(c.xscale);
    column.isnullable = db::Value::integer(0);
    column.isidentity = db::Value::integer(0);

    EXPECT_EQ(c.nameAndType, nameAndTypePart(column));
    const AddClause add = addColumnClause(column);
    EXPECT_EQ(c.addNotNullWithoutDefault, add.text);
    EXPECT_TRUE(add.synthesizedDefault);
}

const char* const kCollate = " COLLATE Latin1_General_CI_AI ";

// clang-format off
INSTANTIATE_TEST_SUITE_P(EveryTypeName, ColumnClauseByType, ::testing::Values(
    TypeCase{"bigint", "bigint", 8, 19, 0, " [c] [bigint] ", " [c] [bigint]  NOT NULL DEFAULT (0)"},
    TypeCase{"bit", "bit", 1, 1, 0, " [c] [bit] ", " [c] [bit]  NOT NULL DEFAULT (0)"},
    TypeCase{"datetime", "datetime", 8, 23, 3, " [c] [datetime] ", " [c] [datetime]  NOT NULL DEFAULT (0)"},
    TypeCase{"float", "float", 8, 53, 0, " [c] [float] ", " [c] [float]  NOT NULL DEFAULT (0)"},
    TypeCase{"image", "image", 16, 0, 0, " [c] [image] ", " [c] [image]  NOT NULL DEFAULT (0)"},
    TypeCase{"int", "int", 4, 10, 0, " [c] [int] ", " [c] [int]  NOT NULL DEFAULT (0)"},
    TypeCase{"money", "money", 8, 19, 4, " [c] [money] ", " [c] [money]  NOT NULL DEFAULT (0)"},
    TypeCase{"ntext", "ntext", 16, 0, 0, " [c] [ntext] ", " [c] [ntext]  COLLATE Latin1_General_CI_AI  NOT NULL DEFAULT ('')"},
    TypeCase{"real", "real", 4, 24, 0, " [c] [real] ", " [c] [real]  NOT NULL DEFAULT (0)"},
    TypeCase{"smalldatetime", "smalldatetime", 4, 16, 0, " [c] [smalldatetime] ", " [c] [smalldatetime]  NOT NULL DEFAULT (0)"},
    TypeCase{"smallint", "smallint", 2, 5, 0, " [c] [smallint] ", " [c] [smallint]  NOT NULL DEFAULT (0)"},
    TypeCase{"smallmoney", "smallmoney", 4, 10, 4, " [c] [smallmoney] ", " [c] [smallmoney]  NOT NULL DEFAULT (0)"},
    TypeCase{"sql_variant", "sql_variant", 8016, 0, 0, " [c] [sql_variant] ", " [c] [sql_variant]  NOT NULL DEFAULT (0)"},
    TypeCase{"text", "text", 16, 0, 0, " [c] [text] ", " [c] [text]  COLLATE Latin1_General_CI_AI  NOT NULL DEFAULT ('')"},
    TypeCase{"timestamp", "timestamp", 8, 0, 0, " [c] [timestamp] ", " [c] [timestamp]  NOT NULL DEFAULT (0)"},
    TypeCase{"tinyint", "tinyint", 1, 3, 0, " [c] [tinyint] ", " [c] [tinyint]  NOT NULL DEFAULT (0)"},
    TypeCase{"uniqueidentifier", "uniqueidentifier", 16, 0, 0, " [c] [uniqueidentifier] ", " [c] [uniqueidentifier]  NOT NULL DEFAULT (0)"},
    TypeCase{"binary", "binary", 16, 0, 0, " [c] [binary] (16) ", " [c] [binary] (16)  NOT NULL DEFAULT ('')"},
    TypeCase{"char", "char", 3, 0, 0, " [c] [char] (3) ", " [c] [char] (3)  COLLATE Latin1_General_CI_AI  NOT NULL DEFAULT ('')"},
    TypeCase{"varbinary", "varbinary", 200, 0, 0, " [c] [varbinary] (200) ", " [c] [varbinary] (200)  NOT NULL DEFAULT ('')"},
    TypeCase{"varchar", "varchar", 50, 0, 0, " [c] [varchar] (50) ", " [c] [varchar] (50)  COLLATE Latin1_General_CI_AI  NOT NULL DEFAULT ('')"},
    TypeCase{"nchar", "nchar", 20, 0, 0, " [c] [nchar] (10) ", " [c] [nchar] (10)  COLLATE Latin1_General_CI_AI  NOT NULL DEFAULT ('')"},
    TypeCase{"nvarchar", "nvarchar", 100, 0, 0, " [c] [nvarchar] (50) ", " [c] [nvarchar] (50)  COLLATE Latin1_General_CI_AI  NOT NULL DEFAULT ('')"},
    TypeCase{"decimal", "decimal", 9, 18, 2, " [c] [decimal] (18,2) ", " [c] [decimal] (18,2)  NOT NULL DEFAULT (0)"},
    TypeCase{"numeric", "numeric", 5, 9, 0, " [c] [numeric] (9,0) ", " [c] [numeric] (9,0)  NOT NULL DEFAULT (0)"},
    // Type names are compared exactly; any other name keeps its name and no length.
    TypeCase{"sysname", "sysname", 256, 0, 0, " [c] [sysname] ", " [c] [sysname]  NOT NULL DEFAULT (0)"},
    TypeCase{"VarcharInCapitals", "VARCHAR", 50, 0, 0, " [c] [VARCHAR] ", " [c] [VARCHAR]  NOT NULL DEFAULT (0)"}),
    [](const ::testing::TestParamInfo<TypeCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST(ColumnClause, NullabilityIdentityAndStoredDefault) {
    ColumnDefinition id;
    id.campo = "id";
    id.tipo = "int";
    id.isnullable = db::Value::integer(0);
    id.isidentity = db::Value::integer(1);
    EXPECT_EQ(" [id] [int]  IDENTITY (1, 1)  NOT NULL ", createColumnClause(id));

    ColumnDefinition qtd;
    qtd.campo = "qtd";
    qtd.tipo = "int";
    qtd.isnullable = db::Value::integer(0);
    qtd.isidentity = db::Value::integer(0);
    qtd.cdefault = db::Value::text("(0)");
    EXPECT_EQ(" [qtd] [int]  NOT NULL DEFAULT ((0))", addColumnClause(qtd).text);
    EXPECT_FALSE(addColumnClause(qtd).synthesizedDefault);

    qtd.isnullable = db::Value::integer(1);
    EXPECT_EQ(" [qtd] [int]  NULL ", addColumnClause(qtd).text);
    EXPECT_FALSE(addColumnClause(qtd).synthesizedDefault);
}

TEST(ColumnClause, LengthsFromAnyNumberKindAreWholeNumbers) {
    ColumnDefinition column;
    column.campo = "c";
    column.tipo = "nvarchar";
    column.tamanho = db::Value::real(100.0);
    EXPECT_EQ(" [c] [nvarchar] (50) ", nameAndTypePart(column));
    column.tipo = "decimal";
    column.xprec = db::Value::decimal("18");
    column.xscale = db::Value::integer(4);
    EXPECT_EQ(" [c] [decimal] (18,4) ", nameAndTypePart(column));
}

// The catalog query texts, complete. Names go in as text literals.
struct QueryCase {
    const char* name;
    std::string actual;
    std::string expected;
};

class TargetQueryText : public ::testing::TestWithParam<QueryCase> {};

TEST_P(TargetQueryText, IsExact) { EXPECT_EQ(GetParam().expected, GetParam().actual); }

const std::string kColumnsFrom =
    " FROM syscolumns AS SOURCE_syscolumns JOIN sysobjects AS SOURCE_sysobjects ON (SOURCE_syscolumns.ID = SOURCE_sysobjects.ID AND SOURCE_sysobjects.xtype = 'U' AND SOURCE_sysobjects.name <> 'dtproperties') JOIN systypes ON SOURCE_syscolumns.xtype = systypes.xusertype LEFT JOIN syscomments AS SOURCE_syscomments ON SOURCE_syscolumns.cdefault = SOURCE_syscomments.id ";
const std::string kColumnsSelect =
    " SELECT SOURCE_sysobjects.name as tabela, SOURCE_syscolumns.name as campo, systypes.name as tipo, SOURCE_syscolumns.length as tamanho, SOURCE_syscolumns.xprec, SOURCE_syscolumns.xscale, SOURCE_syscolumns.isnullable, SOURCE_syscolumns.colstat as isidentity, SOURCE_syscomments.text as cdefault";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Queries, TargetQueryText, ::testing::Values(
    QueryCase{"TableColumns", targetColumnQuery("tbX"),
        kColumnsSelect + ", SOURCE_syscolumns.collation " + kColumnsFrom + " WHERE SOURCE_sysobjects.name = 'tbX'"},
    QueryCase{"OneColumn", targetColumnQuery("tbX", "nome"),
        kColumnsSelect + ", SOURCE_syscolumns.collation " + kColumnsFrom + " WHERE SOURCE_sysobjects.name = 'tbX' AND SOURCE_syscolumns.name = 'nome'"},
    QueryCase{"RebuildCatalog", rebuildCatalogQuery("tbX"),
        kColumnsSelect + " " + kColumnsFrom + " WHERE SOURCE_sysobjects.name = 'tbX'"}),
    [](const ::testing::TestParamInfo<QueryCase>& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace structure
