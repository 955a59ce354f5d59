#include <gtest/gtest.h>

#include "catalog_snapshot.h"
#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Lines = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

// tbX: identity key PK_tbX (nonclustered), a nullable varchar, an indexed varchar, an int
// with a named default and a text column; two rows, one with a NULL nome. tbY: no key,
// two rows.
constexpr const char* kFixture =
    "CREATE TABLE tbX (id int IDENTITY(1,1) NOT NULL, nome varchar(10) NULL, codigo varchar(10) NOT NULL, "
    "qtd int NOT NULL CONSTRAINT DF_tbX_qtd DEFAULT (0), obs text NULL, "
    "CONSTRAINT PK_tbX PRIMARY KEY NONCLUSTERED (id)) "
    "CREATE INDEX IX_tbX_codigo ON tbX (codigo) "
    "INSERT INTO tbX (nome, codigo, qtd) VALUES ('um', 'A1', 1) "
    "INSERT INTO tbX (nome, codigo, qtd) VALUES (NULL, 'B22', 2) "
    "CREATE TABLE tbY (a int NOT NULL, b int NULL) "
    "INSERT INTO tbY VALUES (1, NULL) INSERT INTO tbY VALUES (2, NULL)";

const Lines kTbX = {
    "column id int length=4 prec=10 scale=0 nullable=0 colstat=1 collation=- default=-",
    "column nome varchar length=10 prec=0 scale=0 nullable=1 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS default=-",
    "column codigo varchar length=10 prec=0 scale=0 nullable=0 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS default=-",
    "column qtd int length=4 prec=10 scale=0 nullable=0 colstat=0 collation=- default=DF_tbX_qtd (0)",
    "column obs text length=16 prec=0 scale=0 nullable=1 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS default=-",
    "object DF_tbX_qtd D",
    "object PK_tbX PK",
    "index 0 tbX status=0 keys=-",
    "index 2 PK_tbX status=2050 keys=id",
    "index 3 IX_tbX_codigo status=0 keys=codigo",
    "index 255 ttbX status=0 keys=-",
};

// kTbX with line `at` replaced (or removed when `with` is empty), and `extra` inserted
// before line `insertAt`.
Lines tbXWith(std::size_t at, const std::string& with, std::size_t insertAt = 0, Lines extra = {}) {
    Lines lines = kTbX;
    if (with.empty()) lines.erase(lines.begin() + static_cast<long>(at));
    else lines[at] = with;
    if (!extra.empty()) lines.insert(lines.begin() + static_cast<long>(insertAt), extra.begin(), extra.end());
    return lines;
}

struct ChangeCase {
    const char* name;
    const char* statement;
    const char* table;  // whose catalog is compared
    Lines catalog;
    const char* query;  // rows afterwards
    Rows rows;
};

const ChangeCase kChanges[] = {
    {"AddNullableColumn", "ALTER TABLE [tbX] ADD  [cor] [varchar] (50)  COLLATE Latin1_General_CI_AI  NULL ", "tbX",
     tbXWith(4, kTbX[4], 5,
             {"column cor varchar length=50 prec=0 scale=0 nullable=1 colstat=0 collation=Latin1_General_CI_AI default=-"}),
     "SELECT id, cor FROM tbX ORDER BY id", {{"1", "NULL"}, {"2", "NULL"}}},
    {"AddNotNullColumnWithDefaultFillsRows", "ALTER TABLE [tbX] ADD  [ativo] [int]  NOT NULL DEFAULT ((1))", "tbX",
     [] {
         Lines l = tbXWith(4, kTbX[4], 5,
                           {"column ativo int length=4 prec=10 scale=0 nullable=0 colstat=0 collation=- "
                            "default=DF__tbX__ativo__* (1)"});
         l.insert(l.begin() + 6, "object DF__tbX__ativo__* D");
         return l;
     }(),
     "SELECT id, ativo FROM tbX ORDER BY id", {{"1", "1"}, {"2", "1"}}},
    {"AddIdentityColumnNumbersRows", "ALTER TABLE tbY ADD n int IDENTITY(10, 5) NOT NULL", "tbY",
     {"column a int length=4 prec=10 scale=0 nullable=0 colstat=0 collation=- default=-",
      "column b int length=4 prec=10 scale=0 nullable=1 colstat=0 collation=- default=-",
      "column n int length=4 prec=10 scale=0 nullable=0 colstat=1 collation=- default=-", "index 0 tbY status=0 keys=-"},
     "INSERT INTO tbY (a) VALUES (3) SELECT a, n FROM tbY ORDER BY a", {{"1", "10"}, {"2", "15"}, {"3", "20"}}},
    {"AddNamedDefaultForColumn", "ALTER TABLE [tbX] ADD CONSTRAINT [DF_tbX_nome] DEFAULT ('x') FOR [nome] ", "tbX",
     tbXWith(1,
             "column nome varchar length=10 prec=0 scale=0 nullable=1 colstat=0 "
             "collation=SQL_Latin1_General_CP1_CI_AS default=DF_tbX_nome ('x')",
             5, {"object DF_tbX_nome D"}),
     "SELECT id, nome FROM tbX ORDER BY id", {{"1", "um"}, {"2", "NULL"}}},
    {"AddPrimaryKeyNonclustered",
     "ALTER TABLE [tbY] ADD CONSTRAINT [PK_tbY] PRIMARY KEY NONCLUSTERED ( [a] ) ON [PRIMARY]", "tbY",
     {"column a int length=4 prec=10 scale=0 nullable=0 colstat=0 collation=- default=-",
      "column b int length=4 prec=10 scale=0 nullable=1 colstat=0 collation=- default=-", "object PK_tbY PK",
      "index 0 tbY status=0 keys=-", "index 2 PK_tbY status=2050 keys=a"},
     "SELECT a FROM tbY ORDER BY a", {{"1"}, {"2"}}},
    {"AddClusteredKeyReplacesHeapRow", "ALTER TABLE tbY ADD PRIMARY KEY (a)", "tbY",
     {"column a int length=4 prec=10 scale=0 nullable=0 colstat=0 collation=- default=-",
      "column b int length=4 prec=10 scale=0 nullable=1 colstat=0 collation=- default=-", "object PK__tbY__* PK",
      "index 1 PK__tbY__* status=2066 keys=a"},
     "SELECT COUNT(*) as no FROM tbY", {{"2"}}},
    {"DropKeyConstraint", "ALTER TABLE [tbX] DROP CONSTRAINT [PK_tbX]", "tbX",
     [] {
         Lines l = tbXWith(8, "");
         l.erase(l.begin() + 6);
         return l;
     }(),
     "SELECT COUNT(*) FROM tbX", {{"2"}}},
    {"DropDefaultConstraint", "ALTER TABLE tbX DROP CONSTRAINT DF_tbX_qtd", "tbX",
     [] {
         Lines l = tbXWith(5, "");
         l[3] = "column qtd int length=4 prec=10 scale=0 nullable=0 colstat=0 collation=- default=-";
         return l;
     }(),
     "SELECT qtd FROM tbX ORDER BY id", {{"1"}, {"2"}}},
    {"AlterColumnWidensAndTakesCollation",
     "ALTER TABLE [tbX] ALTER COLUMN  [nome] [varchar] (80)  COLLATE Latin1_General_CI_AI  NULL ", "tbX",
     tbXWith(1, "column nome varchar length=80 prec=0 scale=0 nullable=1 colstat=0 collation=Latin1_General_CI_AI default=-"),
     "SELECT id FROM tbX WHERE nome = 'ÚM'", {{"1"}}},
    {"AlterColumnConvertsValues", "ALTER TABLE tbX ALTER COLUMN nome nvarchar(12) NULL", "tbX",
     tbXWith(1,
             "column nome nvarchar length=24 prec=0 scale=0 nullable=1 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS "
             "default=-"),
     "SELECT nome FROM tbX ORDER BY id", {{"um"}, {"NULL"}}},
    {"AlterColumnKeepsRowsAndIdentity", "ALTER TABLE tbX ALTER COLUMN nome varchar(40) NULL", "tbX",
     tbXWith(1,
             "column nome varchar length=40 prec=0 scale=0 nullable=1 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS "
             "default=-"),
     "INSERT INTO tbX (nome, codigo) VALUES ('tres', 'C3') SELECT id, nome, codigo, qtd FROM tbX ORDER BY id",
     {{"1", "um", "A1", "1"}, {"2", "NULL", "B22", "2"}, {"3", "tres", "C3", "0"}}},
    {"AlterIndexedVarcharMayGrow", "ALTER TABLE [tbX] ALTER COLUMN  [codigo] [varchar] (20)  NOT NULL ", "tbX",
     tbXWith(2,
             "column codigo varchar length=20 prec=0 scale=0 nullable=0 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS "
             "default=-"),
     "SELECT codigo FROM tbX WHERE codigo = 'b22'", {{"B22"}}},
    {"AlterColumnWithDefaultMayChangeNullability", "ALTER TABLE [tbX] ALTER COLUMN  [qtd] [int]  NULL ", "tbX",
     tbXWith(3, "column qtd int length=4 prec=10 scale=0 nullable=1 colstat=0 collation=- default=DF_tbX_qtd (0)"),
     "SELECT qtd FROM tbX ORDER BY id", {{"1"}, {"2"}}},
    {"CreateIndex", "CREATE INDEX IX_tbX_nome ON [tbX] ([nome]) ON [PRIMARY]", "tbX",
     tbXWith(9, kTbX[9], 10, {"index 4 IX_tbX_nome status=0 keys=nome"}), "SELECT COUNT(*) FROM tbX", {{"2"}}},
    {"DropIndexBracketed", "DROP INDEX [tbX].[IX_tbX_codigo]", "tbX", tbXWith(9, ""), "SELECT COUNT(*) FROM tbX", {{"2"}}},
    {"DropIndexPlain", "DROP INDEX tbX.IX_tbX_codigo", "tbX", tbXWith(9, ""), "SELECT COUNT(*) FROM tbX", {{"2"}}},
    {"DropTable", "DROP TABLE tbX", "tbX", {}, "SELECT COUNT(*) FROM sysobjects WHERE name LIKE '%tbX%'", {{"0"}}},
    // The other columns keep their colids, as on SQL Server 2000; the rows keep their values.
    {"DropColumns", "ALTER TABLE tbX DROP COLUMN nome, obs", "tbX",
     [] {
         Lines l = tbXWith(4, "");
         l.erase(l.begin() + 1);
         return l;
     }(),
     "SELECT c.colid, c.name, x.codigo FROM syscolumns c, tbX x WHERE c.id = OBJECT_ID('tbX') AND x.id = 2 "
     "ORDER BY c.colid",
     {{"1", "id", "B22"}, {"3", "codigo", "B22"}, {"4", "qtd", "B22"}}},
    {"DropConstraintThenItsColumn", "ALTER TABLE tbX DROP CONSTRAINT DF_tbX_qtd, COLUMN qtd", "tbX",
     [] {
         Lines l = tbXWith(5, "");
         l.erase(l.begin() + 3);
         return l;
     }(),
     "SELECT COUNT(*) FROM syscolumns WHERE id = OBJECT_ID('tbX')", {{"4"}}},
    // SELECT ... INTO copies columns (the identity one too), nullability, collations and
    // rows into a heap: no key, index or default comes along.
    {"SelectIntoCopiesTheTable", "SELECT * INTO tbZ FROM tbX", "tbZ",
     {"column id int length=4 prec=10 scale=0 nullable=0 colstat=1 collation=- default=-",
      "column nome varchar length=10 prec=0 scale=0 nullable=1 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS default=-",
      "column codigo varchar length=10 prec=0 scale=0 nullable=0 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS "
      "default=-",
      "column qtd int length=4 prec=10 scale=0 nullable=0 colstat=0 collation=- default=-",
      "column obs text length=16 prec=0 scale=0 nullable=1 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS default=-",
      "index 0 tbZ status=0 keys=-", "index 255 ttbZ status=0 keys=-"},
     "INSERT INTO tbZ (codigo, qtd) VALUES ('C3', 3) SELECT id, nome, codigo, qtd FROM tbZ ORDER BY id",
     {{"1", "um", "A1", "1"}, {"2", "NULL", "B22", "2"}, {"3", "NULL", "C3", "3"}}},
    // Quirk (SQL Server): an identity column selected by a query that joins is a plain NOT
    // NULL column in the copy.
    {"SelectIntoWithoutIdentity",
     "SELECT x.id, x.codigo, y.b INTO tbZ FROM tbX x JOIN tbY y ON y.a = x.id WHERE x.qtd > 1", "tbZ",
     {"column id int length=4 prec=10 scale=0 nullable=0 colstat=0 collation=- default=-",
      "column codigo varchar length=10 prec=0 scale=0 nullable=0 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS "
      "default=-",
      "column b int length=4 prec=10 scale=0 nullable=1 colstat=0 collation=- default=-", "index 0 tbZ status=0 keys=-"},
     "SELECT id, codigo, b, COLUMNPROPERTY(OBJECT_ID('tbZ'), 'id', 'IsIdentity') FROM tbZ",
     {{"2", "B22", "NULL", "0"}}},
    {"RenameTable", "EXECUTE sp_rename 'tbX', 'tbZ'", "tbZ",
     [] {
         Lines l = kTbX;
         l[7] = "index 0 tbZ status=0 keys=-";
         l[10] = "index 255 ttbZ status=0 keys=-";
         return l;
     }(),
     "SELECT id, nome, codigo, qtd FROM tbZ ORDER BY id", {{"1", "um", "A1", "1"}, {"2", "NULL", "B22", "2"}}},
};

void PrintTo(const ChangeCase& c, std::ostream* os) { *os << c.name; }

class AlterTableChanges : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(AlterTableChanges, LeaveTheCatalogAndRowsAsSqlServerDoes) {
    const ChangeCase& c = GetParam();
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kFixture)), "");
    ASSERT_EQ(catalogOf(h, "tbX"), kTbX);
    Response r = h.run(c.statement);
    std::string messages = describe(r);
    if (std::string(c.name) == "RenameTable")
        EXPECT_EQ(messages, "15477: Caution: Changing any part of an object name could break scripts and stored procedures.\n");
    else
        EXPECT_EQ(messages, "");
    EXPECT_EQ(catalogOf(h, c.table), c.catalog);
    EXPECT_EQ(h.rows(c.query), c.rows);
    EXPECT_EQ(orphanedCatalogRows(h), Lines{});
}

INSTANTIATE_TEST_SUITE_P(Statements, AlterTableChanges, ::testing::ValuesIn(kChanges),
                         [](const ::testing::TestParamInfo<ChangeCase>& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    const char* setup;  // run after the fixture
    const char* statement;
    const char* messages;  // "number: text" lines
};

const RefusalCase kRefusals[] = {
    {"AlterMissingTable", "", "ALTER TABLE [tbNone] ADD  [a] [int]  NULL ",
     "4902: Cannot alter table 'tbNone' because this table does not exist in database 'app'.\n"},
    {"AddExistingColumn", "", "ALTER TABLE tbX ADD nome int NULL",
     "2705: Column names in each table must be unique. Column name 'nome' in table 'tbX' is specified more than once.\n"},
    {"AddNotNullWithoutDefault", "", "ALTER TABLE tbX ADD novo int NOT NULL",
     "4901: ALTER TABLE only allows columns to be added that can contain nulls or have a DEFAULT definition specified. "
     "Column 'novo' cannot be added to table 'tbX' because it does not allow nulls and does not specify a DEFAULT "
     "definition.\n"},
    {"SecondPrimaryKey", "", "ALTER TABLE [tbX] ADD CONSTRAINT [PK_tbX2] PRIMARY KEY NONCLUSTERED ( [codigo] ) ON [PRIMARY]",
     "1779: Table 'tbX' already has a primary key defined on it.\n"
     "1750: Could not create constraint. See previous errors.\n"},
    {"KeyOverDuplicates", "INSERT INTO tbY VALUES (2, 7)",
     "ALTER TABLE [tbY] ADD CONSTRAINT [PK_tbY] PRIMARY KEY NONCLUSTERED ( [a] ) ON [PRIMARY]",
     "1505: CREATE UNIQUE INDEX terminated because a duplicate key was found for index ID 2. Most significant primary "
     "key is '2'.\n1750: Could not create constraint. See previous errors.\n3621: The statement has been terminated.\n"},
    {"KeyOnNullableColumn", "", "ALTER TABLE [tbY] ADD CONSTRAINT [PK_tbY] PRIMARY KEY NONCLUSTERED ( [a] ,  [b] ) ON [PRIMARY]",
     "8111: Cannot define PRIMARY KEY constraint on nullable column in table 'tbY'.\n"
     "1750: Could not create constraint. See previous errors.\n"},
    {"KeyNameTaken", "", "ALTER TABLE [tbY] ADD CONSTRAINT [DF_tbX_qtd] PRIMARY KEY NONCLUSTERED ( [a] ) ON [PRIMARY]",
     "2714: There is already an object named 'DF_tbX_qtd' in the database.\n"
     "1750: Could not create constraint. See previous errors.\n"},
    {"SecondDefault", "", "ALTER TABLE [tbX] ADD CONSTRAINT [DF_x] DEFAULT (5) FOR [qtd] ",
     "1781: Column already has a DEFAULT bound to it.\n1750: Could not create constraint. See previous errors.\n"},
    {"DefaultOnIdentity", "", "ALTER TABLE [tbX] ADD CONSTRAINT [DF_x] DEFAULT (5) FOR [id] ",
     "1752: Column 'id' in table 'tbX' is invalid for creating a default constraint.\n"
     "1750: Could not create constraint. See previous errors.\n"},
    {"DropMissingConstraint", "", "ALTER TABLE [tbX] DROP CONSTRAINT [DF_none]",
     "3728: 'DF_none' is not a constraint.\n3727: Could not drop constraint. See previous errors.\n"},
    {"DropAnotherTablesConstraint", "", "ALTER TABLE [tbY] DROP CONSTRAINT [PK_tbX]",
     "3728: 'PK_tbX' is not a constraint.\n3727: Could not drop constraint. See previous errors.\n"},
    {"AlterMissingColumn", "", "ALTER TABLE tbX ALTER COLUMN nada int NULL",
     "4924: ALTER TABLE ALTER COLUMN failed because column 'nada' does not exist in table 'tbX'.\n"},
    {"AlterTextColumn", "", "ALTER TABLE [tbX] ALTER COLUMN  [obs] [text]  NULL ",
     "4928: Cannot alter column 'obs' because it is 'text'.\n"},
    {"NarrowingTruncates", "", "ALTER TABLE [tbX] ALTER COLUMN  [nome] [varchar] (1)  NULL ",
     "8152: String or binary data would be truncated.\n3621: The statement has been terminated.\n"},
    {"TextThatIsNotANumber", "", "ALTER TABLE [tbX] ALTER COLUMN  [nome] [int]  NULL ",
     "245: Syntax error converting the varchar value 'um' to a column of data type int.\n"},
    {"NotNullOverNulls", "", "ALTER TABLE [tbX] ALTER COLUMN  [nome] [varchar] (10)  NOT NULL ",
     "515: Cannot insert the value NULL into column 'nome', table 'app.dbo.tbX'; column does not allow nulls. UPDATE "
     "fails.\n3621: The statement has been terminated.\n"},
    {"IndexBlocksCollationChange", "",
     "ALTER TABLE [tbX] ALTER COLUMN  [codigo] [varchar] (10)  COLLATE Latin1_General_CI_AI  NOT NULL ",
     "5074: The index 'IX_tbX_codigo' is dependent on column 'codigo'.\n"
     "4922: ALTER TABLE ALTER COLUMN codigo failed because one or more objects access this column.\n"},
    {"IndexBlocksShrinking", "", "ALTER TABLE [tbX] ALTER COLUMN  [codigo] [varchar] (5)  NOT NULL ",
     "5074: The index 'IX_tbX_codigo' is dependent on column 'codigo'.\n"
     "4922: ALTER TABLE ALTER COLUMN codigo failed because one or more objects access this column.\n"},
    {"IndexBlocksFixedLengthType", "CREATE INDEX IX_tbX_qtd ON tbX (qtd)", "ALTER TABLE [tbX] ALTER COLUMN  [qtd] [int]  NULL ",
     "5074: The index 'IX_tbX_qtd' is dependent on column 'qtd'.\n"
     "4922: ALTER TABLE ALTER COLUMN qtd failed because one or more objects access this column.\n"},
    {"KeyBlocksAnyChange", "", "ALTER TABLE [tbX] ALTER COLUMN  [id] [bigint]  NOT NULL ",
     "5074: The object 'PK_tbX' is dependent on column 'id'.\n"
     "4922: ALTER TABLE ALTER COLUMN id failed because one or more objects access this column.\n"},
    {"DefaultAndIndexBlockTypeChange", "CREATE INDEX IX_tbX_qtd ON tbX (qtd)",
     "ALTER TABLE [tbX] ALTER COLUMN  [qtd] [bigint]  NOT NULL ",
     "5074: The index 'IX_tbX_qtd' is dependent on column 'qtd'.\n"
     "5074: The object 'DF_tbX_qtd' is dependent on column 'qtd'.\n"
     "4922: ALTER TABLE ALTER COLUMN qtd failed because one or more objects access this column.\n"},
    {"CreateIndexNameTaken", "", "CREATE INDEX IX_tbX_codigo ON [tbX] ([nome]) ON [PRIMARY]",
     "1913: There is already an index on table 'tbX' named 'IX_tbX_codigo'.\n"},
    {"DropMissingIndex", "", "DROP INDEX [tbX].[IX_none]",
     "3703: Cannot drop the index 'tbX.IX_none', because it does not exist in the system catalog.\n"},
    {"DropKeyIndex", "", "DROP INDEX tbX.PK_tbX",
     "3723: An explicit DROP INDEX is not allowed on index 'tbX.PK_tbX'. It is being used for PRIMARY KEY constraint "
     "enforcement.\n"},
    {"DropIndexWithoutTable", "", "DROP INDEX IX_tbX_codigo",
     "159: Must specify the table name and index name for the DROP INDEX statement.\n"},
    {"DropIndexedColumn", "", "ALTER TABLE tbX DROP COLUMN codigo",
     "5074: The index 'IX_tbX_codigo' is dependent on column 'codigo'.\n"
     "4922: ALTER TABLE DROP COLUMN codigo failed because one or more objects access this column.\n"},
    {"DropKeyColumn", "", "ALTER TABLE tbX DROP COLUMN id",
     "5074: The object 'PK_tbX' is dependent on column 'id'.\n"
     "4922: ALTER TABLE DROP COLUMN id failed because one or more objects access this column.\n"},
    {"DropDefaultedColumn", "", "ALTER TABLE tbX DROP COLUMN nome, qtd",
     "5074: The object 'DF_tbX_qtd' is dependent on column 'qtd'.\n"
     "4922: ALTER TABLE DROP COLUMN qtd failed because one or more objects access this column.\n"},
    {"DropCheckedAndReferencedColumn",
     "ALTER TABLE tbY ADD CONSTRAINT PK_tbY PRIMARY KEY (a), CONSTRAINT CK_tbY_a CHECK (a > 0) "
     "CREATE TABLE tbW (a int NULL CONSTRAINT FK_tbW_tbY REFERENCES tbY (a))",
     "ALTER TABLE tbY DROP COLUMN a",
     "5074: The object 'PK_tbY' is dependent on column 'a'.\n"
     "5074: The object 'CK_tbY_a' is dependent on column 'a'.\n"
     "5074: The object 'FK_tbW_tbY' is dependent on column 'a'.\n"
     "4922: ALTER TABLE DROP COLUMN a failed because one or more objects access this column.\n"},
    {"DropMissingColumn", "", "ALTER TABLE tbX DROP COLUMN nada",
     "4924: ALTER TABLE DROP COLUMN failed because column 'nada' does not exist in table 'tbX'.\n"},
    {"DropTheOnlyColumn", "ALTER TABLE tbY DROP COLUMN b", "ALTER TABLE tbY DROP COLUMN a",
     "4923: ALTER TABLE DROP COLUMN failed because 'a' is the only data column in table 'tbY'. A table must have at "
     "least one data column.\n"},
    {"SelectIntoAnExistingTable", "", "SELECT * INTO tbY FROM tbX",
     "2714: There is already an object named 'tbY' in the database.\n"},
    {"SelectIntoAnUnnamedColumn", "", "SELECT id, qtd * 2 INTO tbZ FROM tbX",
     "8155: No column was specified for column 2 of 'tbZ'.\n"},
    {"RenameMissingObject", "", "EXECUTE sp_rename 'Tmp_tbX', 'tbX'",
     "15225: No item by the name of 'Tmp_tbX' could be found in the current database 'app', given that @itemtype was "
     "input as '(null)'.\n"},
    {"RenameOntoExistingName", "", "EXECUTE sp_rename 'tbY', 'tbX'",
     "15335: Error: The new name 'tbX' is already in use as a object name and would cause a duplicate that is not "
     "permitted.\n"},
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class AlterTableRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(AlterTableRefusals, ReportSqlServersErrorsAndChangeNothing) {
    const RefusalCase& c = GetParam();
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kFixture)), "");
    ASSERT_EQ(describe(h.run(c.setup)), "");
    Lines tbX = catalogOf(h, "tbX"), tbY = catalogOf(h, "tbY");
    Rows rowsX = h.rows("SELECT * FROM tbX ORDER BY id"), rowsY = h.rows("SELECT * FROM tbY ORDER BY a");
    Response r = h.run(c.statement);
    EXPECT_EQ(describe(r), c.messages);
    ASSERT_TRUE(std::holds_alternative<Done>(r.items.back()));
    EXPECT_TRUE(std::get<Done>(r.items.back()).error);
    EXPECT_EQ(catalogOf(h, "tbX"), tbX);
    EXPECT_EQ(catalogOf(h, "tbY"), tbY);
    EXPECT_EQ(h.rows("SELECT * FROM tbX ORDER BY id"), rowsX);
    EXPECT_EQ(h.rows("SELECT * FROM tbY ORDER BY a"), rowsY);
}

INSTANTIATE_TEST_SUITE_P(Statements, AlterTableRefusals, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

// SELECT ... INTO answers with its row count, as an INSERT does, and honours SET ROWCOUNT.
TEST(EngineSelectInto, CountsTheRowsItCopies) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kFixture)), "");
    for (const auto& [batch, count] : {std::pair{"SELECT * INTO tbZ FROM tbX", 2}, {"SET ROWCOUNT 1 SELECT a INTO tbW FROM tbY", 1}}) {
        Response r = h.run(batch);
        ASSERT_EQ(describe(r), "") << batch;
        const auto* done = std::get_if<Done>(&r.items.back());
        ASSERT_NE(done, nullptr);
        EXPECT_TRUE(done->counted);
        EXPECT_EQ(done->rowCount, count) << batch;
    }
    EXPECT_EQ(h.rows("SET ROWCOUNT 0 SELECT COUNT(*) FROM tbW"), (Rows{{"1"}}));
}

// Adding a column or renaming the table moves the rows into a new SQLite table: the
// key's unique index comes along and the rows keep their values.
TEST(EngineAlterTableStorage, KeysStayEnforcedAfterTheTableIsRebuilt) {
    struct Case {
        const char* change;
        const char* table;  // its name afterwards
        const char* query;
        Rows rows;
    };
    const Case cases[] = {
        {"ALTER TABLE tbK ADD w int NULL, x varchar(5) NOT NULL DEFAULT ('z')", "tbK", "SELECT k, v, w, x FROM tbK ORDER BY k",
         {{"1", "a", "NULL", "z"}, {"2", "b", "NULL", "z"}}},
        {"ALTER TABLE tbK ADD d AS k * 2", "tbK", "SELECT k, v, d FROM tbK ORDER BY k", {{"1", "a", "2"}, {"2", "b", "4"}}},
        {"EXEC sp_rename 'tbK', 'tbK2'", "tbK2", "SELECT k, v FROM tbK2 ORDER BY k", {{"1", "a"}, {"2", "b"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        EngineHarness h;
        h.run("CREATE TABLE tbK (k int NOT NULL CONSTRAINT PK_tbK PRIMARY KEY, v varchar(10) NULL) "
              "CREATE INDEX IX_tbK_v ON tbK (v) INSERT INTO tbK VALUES (1, 'a') INSERT INTO tbK VALUES (2, 'b')");
        EXPECT_EQ(h.firstError(c.change).number, 0);
        EXPECT_EQ(h.rows(c.query), c.rows);
        EXPECT_EQ(h.firstError(std::string("INSERT INTO ") + c.table + " (k, v) VALUES (2, 'c')").number, 2627);
        EXPECT_EQ(h.rows(std::string("SELECT k FROM ") + c.table + " WHERE v = 'b'"), (Rows{{"2"}}));
    }
}

}  // namespace
}  // namespace sandbox::testing

namespace sandbox::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// Defaults that SQL Server refuses whatever the data, and a number meant for a
// uniqueidentifier column.
TEST(EngineAlterTableDefaults, RefusedWhereSqlServerRefusesThem) {
    EngineHarness h;
    h.run("CREATE TABLE tbD (id int NOT NULL)");
    h.run("INSERT INTO tbD VALUES (1)");
    struct Case {
        const char* sql;
        int number;
        const char* text;
    };
    const Case cases[] = {
        {"ALTER TABLE [tbD] ADD [ts] [timestamp] NOT NULL DEFAULT (0)", 1755,
         "Defaults cannot be created on columns of data type timestamp. Table 'tbD', column 'ts'."},
        {"ALTER TABLE [tbD] ADD [n] [int] IDENTITY (1, 1) NOT NULL DEFAULT (0)", 1754,
         "Defaults cannot be created on columns with an IDENTITY attribute. Table 'tbD', column 'n'."},
        {"CREATE TABLE tbE (ts timestamp DEFAULT (0))", 1755,
         "Defaults cannot be created on columns of data type timestamp. Table 'tbE', column 'ts'."},
        {"ALTER TABLE [tbD] ADD [g] [uniqueidentifier] NOT NULL DEFAULT (0)", 206,
         "Operand type clash: int is incompatible with uniqueidentifier"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        const auto error = h.firstError(c.sql);
        EXPECT_EQ(error.number, c.number);
        EXPECT_EQ(error.text, c.text);
    }
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM syscolumns WHERE id = OBJECT_ID('tbD')"), (Rows{{"1"}}));
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysobjects WHERE name = 'tbE'"), (Rows{{"0"}}));
}

}  // namespace
}  // namespace sandbox::testing
