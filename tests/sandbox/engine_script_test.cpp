// What install and upgrade scripts run besides DDL: variables, IF ... ELSE, WHILE,
// BEGIN ... END, RETURN, RAISERROR and PRINT, the catalog property functions, the
// statements accepted for housekeeping, "int" type names and $ money constants.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

TEST(Scripts, VariablesHoldValuesConvertedToTheirTypes) {
    EngineHarness h;
    EXPECT_EQ(h.rows("DECLARE @i int, @s varchar(5), @m money, @d datetime, @n nvarchar(10)\n"
                     "SET @i = '42' SET @s = 'abcdefgh' SELECT @m = $20.50, @d = '2004-03-07'\n"
                     "SELECT @i + 1, @s, @m, @d, @n"),
              (Rows{{"43", "abcde", "20.5000", "2004-03-07 00:00:00.000", "NULL"}}));
}

TEST(Scripts, AnAssigningSelectKeepsTheLastRowAndCountsItsRows) {
    EngineHarness h;
    h.run(
        "CREATE TABLE tbA (id int, nome varchar(10)) INSERT INTO tbA VALUES (1, 'um') "
        "INSERT INTO tbA VALUES (2, 'dois')");
    Response r = h.run(
        "DECLARE @n varchar(10), @none int SET @none = 7\n"
        "SELECT @n = nome FROM tbA ORDER BY id\n"
        "SELECT @none = id FROM tbA WHERE id > 5\n"
        "SELECT @n, @none");
    ASSERT_EQ(describe(r), "");
    std::vector<std::int64_t> counts;
    for (const auto& item : r.items)
        if (const auto* d = std::get_if<Done>(&item); d && d->counted)
            counts.push_back(d->rowCount);
    EXPECT_EQ(counts, (std::vector<std::int64_t>{2, 0, 1}));
    const auto* last = std::get_if<RowSet>(&r.items.at(r.items.size() - 2));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(valueText(last->rows.at(0).at(0)), "dois");
    EXPECT_EQ(valueText(last->rows.at(0).at(1)), "7");
}

TEST(Scripts, WhileBreakAndContinue) {
    EngineHarness h;
    EXPECT_EQ(h.rows("DECLARE @n int, @log varchar(100) SET @n = 0 SET @log = ''\n"
                     "WHILE @n < 10\nBEGIN\n  SET @n = @n + 1\n  IF @n % 2 = 0 CONTINUE\n"
                     "  IF @n > 7 BREAK\n  SET @log = @log + CONVERT(varchar, @n) + ','\nEND\n"
                     "SELECT @n, @log"),
              (Rows{{"9", "1,3,5,7,"}}));
}

TEST(Scripts, IfElseRunsOneBranchAndDeclaresInBoth) {
    EngineHarness h;
    // A variable declared in a branch that does not run still exists, as on SQL Server.
    EXPECT_EQ(
        h.rows("IF 1 = 2\nBEGIN\n  DECLARE @x int\n  SET @x = 1\nEND\nELSE IF 1 = 1\n  SET @x = 2\n"
               "ELSE\n  SET @x = 3\nSELECT @x"),
        (Rows{{"2"}}));
    // An unknown condition (NULL) takes the ELSE branch.
    EXPECT_EQ(h.rows("DECLARE @v int IF @v > 0 SELECT 'then' ELSE SELECT 'else'"),
              (Rows{{"else"}}));
}

// Long ELSE IF chains and deep BEGIN ... END nesting compile to jumps: no recursion.
TEST(Scripts, AChainOfFiveThousandElseIfsRuns) {
    EngineHarness h;
    std::string batch = "DECLARE @x int SET @x = 4999\n";
    for (int i = 0; i < 5000; ++i)
        batch += std::string(i ? "ELSE " : "") + "IF @x = " + std::to_string(i) + " SELECT " +
                 std::to_string(i) + "\n";
    EXPECT_EQ(h.rows(batch), (Rows{{"4999"}}));
    std::string nested;
    for (int i = 0; i < 3000; ++i) nested += "BEGIN ";
    nested += "SELECT 'deep' ";
    for (int i = 0; i < 3000; ++i) nested += "END ";
    EXPECT_EQ(h.rows(nested), (Rows{{"deep"}}));
}

TEST(Scripts, ReturnEndsTheBatch) {
    EngineHarness h;
    Response r = h.run("SELECT 1\nIF 1 = 1 RETURN\nSELECT 2");
    int rowSets = 0;
    for (const auto& item : r.items) rowSets += std::holds_alternative<RowSet>(item) ? 1 : 0;
    EXPECT_EQ(rowSets, 1);
}

TEST(Scripts, ErrorAndRowCountAreThePreviousStatements) {
    EngineHarness h;
    h.run("CREATE TABLE tbA (a int NOT NULL)");
    Response r = h.run("INSERT INTO tbA VALUES (NULL)\nSELECT @@ERROR\nSELECT @@ERROR");
    std::vector<std::string> values;
    for (const auto& item : r.items)
        if (const auto* rs = std::get_if<RowSet>(&item))
            values.push_back(valueText(rs->rows.at(0).at(0)));
    EXPECT_EQ(values, (std::vector<std::string>{"515", "0"}));
}

TEST(Scripts, ExecRunsTextAndPassesVariables) {
    EngineHarness h;
    h.run("CREATE TABLE tbA (a int) INSERT INTO tbA VALUES (1)");
    Response r = h.run(
        "DECLARE @t varchar(20), @sql varchar(100), @none varchar(10)\n"
        "SET @t = 'tbA' SET @sql = 'SELECT COUNT(*) FROM ' + @t\n"
        "EXEC(@sql)\nEXEC('SELECT ''' + @t + '''')\nEXEC('SELECT 1' + @none)\n"
        "EXEC sp_rename @t, 'tbB'");
    std::vector<std::string> values;
    for (const auto& item : r.items)
        if (const auto* rs = std::get_if<RowSet>(&item))
            values.push_back(valueText(rs->rows.at(0).at(0)));
    EXPECT_EQ(values, (std::vector<std::string>{"1", "tbA"}));  // a NULL text runs nothing
    EXPECT_EQ(h.rows("SELECT a FROM tbB"), (Rows{{"1"}}));
}

TEST(Scripts, PrintShowsExpressions) {
    EngineHarness h;
    EXPECT_EQ(messageLines(h.run(
                  "DECLARE @n int SET @n = 3 PRINT 'n = ' + CONVERT(varchar, @n) PRINT @n * 2")),
              "0/0: n = 3\n0/0: 6\n");
}

struct MessageCase {
    const char* name;
    const char* batch;
    const char* messages;  // every message, "number/severity: text" lines
};

class RaiserrorSeverities : public ::testing::TestWithParam<MessageCase> {};

TEST_P(RaiserrorSeverities, FollowSqlServersRules) {
    EngineHarness h;
    EXPECT_EQ(messageLines(h.run(GetParam().batch)), GetParam().messages);
}

const MessageCase kRaiserrorCases[] = {
    {"InformationalKeepsErrorAtZero", "RAISERROR('Just so %s.', 10, 1, 'you know') SELECT @@ERROR",
     "50000/10: Just so you know.\n"},
    {"ErrorLetsTheBatchGoOn",
     "RAISERROR('Level %d should be between %d and %d.', 16, 1, 5, 10, 250) PRINT CONVERT(varchar, "
     "@@ERROR)",
     "50000/16: Level 5 should be between 10 and 250.\n0/0: 50000\n"},
    {"FormatsWidthsAndMissingArguments", "RAISERROR('[%5s|%-3d|%x|%s]', 1, 1, 'ab', 7, 255)",
     "50000/1: [   ab|7  |ff|(null)]\n"},
    {"AboveEighteenNeedsLog", "RAISERROR('x', 19, 1)",
     "2754/16: Error severity levels greater than 18 can only be specified by members of the "
     "sysadmin role, "
     "using the WITH LOG option.\n"},
    {"FatalWithLogEndsTheBatch", "RAISERROR('fatal', 20, 1) WITH LOG PRINT 'not reached'",
     "50000/20: fatal\n"},
    {"NumberedMessageMustExist", "RAISERROR(50001, 16, 1)",
     "2758/16: RAISERROR could not locate entry for error 50001 in sysmessages.\n"},
    {"OldFormKeepsItsNumber", "RAISERROR 50005 'Old style.'", "50005/16: Old style.\n"},
    {"SetErrorGivesAnInformationalMessageItsNumber",
     "RAISERROR('note', 5, 1) WITH SETERROR PRINT @@ERROR", "50000/5: note\n0/0: 50000\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, RaiserrorSeverities, ::testing::ValuesIn(kRaiserrorCases),
                         [](const ::testing::TestParamInfo<MessageCase>& info) {
                             return std::string(info.param.name);
                         });

class ScriptErrors : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ScriptErrors, AreSqlServersErrors) {
    EngineHarness h;
    EXPECT_EQ(messageLines(h.run(GetParam().batch)), GetParam().messages);
}

const MessageCase kScriptErrors[] = {
    {"UndeclaredVariable", "SELECT 1 SELECT @nope", "137/15: Must declare the variable '@nope'.\n"},
    {"VariableDeclaredTwice", "DECLARE @a int DECLARE @a int",
     "134/15: The variable name '@a' has already been declared. Variable names must be unique "
     "within a query batch "
     "or stored procedure.\n"},
    {"UnknownVariableType", "DECLARE @a nosuchtype",
     "2715/16: Column or parameter #1: Cannot find data type nosuchtype.\n"},
    {"AssignmentMixedWithRows", "DECLARE @a int SELECT @a = 1, 2",
     "141/15: A SELECT statement that assigns a value to a variable must not be combined with "
     "data-retrieval "
     "operations.\n"},
    {"ReturnWithAValue", "RETURN 1",
     "178/15: A RETURN statement with a return value cannot be used in this context.\n"},
    {"BreakOutsideALoop", "BREAK", "156/15: Incorrect syntax near the keyword 'BREAK'.\n"},
    {"EndWithoutBegin", "SELECT 1 END", "156/15: Incorrect syntax near the keyword 'END'.\n"},
    {"UnknownDatabaseOption", "EXEC sp_dboption 'app', 'go faster', 'true'",
     "15011/16: Database option 'go faster' does not exist. Specify a valid database option.\n"},
    {"OptionOfAnUnknownDatabase", "EXEC sp_dboption 'nowhere', 'read only', 'true'",
     "15010/16: The database 'nowhere' does not exist. Use sp_helpdb to show available "
     "databases.\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ScriptErrors, ::testing::ValuesIn(kScriptErrors),
                         [](const ::testing::TestParamInfo<MessageCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(Scripts, HousekeepingStatementsAreAccepted) {
    EngineHarness h;
    h.run("CREATE TABLE tbA (a int)");
    EXPECT_EQ(
        messageLines(h.run("EXEC sp_dboption 'app', 'trunc. log on chkpt.', 'true'\nCHECKPOINT\n"
                           "UPDATE STATISTICS tbA\nUPDATE STATISTICS tbA WITH FULLSCAN\n"
                           "ALTER DATABASE app SET RECOVERY SIMPLE WITH NO_WAIT")),
        "");
    EXPECT_EQ(messageLines(h.run("UPDATE STATISTICS tbNone")),
              "208/16: Invalid object name 'tbNone'.\n");
}

struct FunctionCase {
    const char* name;
    const char* expression;
    const char* value;
};

class PropertyFunctions : public ::testing::TestWithParam<FunctionCase> {};

TEST_P(PropertyFunctions, AnswerAsSqlServer2000) {
    EngineHarness h;
    ASSERT_EQ(
        describe(h.run("CREATE TABLE tbX (id int IDENTITY NOT NULL CONSTRAINT PK_tbX PRIMARY KEY, "
                       "nome varchar(5) NOT NULL, nota varchar(20) NULL)")),
        "");
    ASSERT_EQ(describe(h.run("CREATE VIEW vwX AS SELECT id FROM tbX")), "");
    EXPECT_EQ(h.rows(std::string("SELECT ") + GetParam().expression), (Rows{{GetParam().value}}));
}

const FunctionCase kFunctionCases[] = {
    {"IsUserTable", "OBJECTPROPERTY(OBJECT_ID('tbX'), 'IsUserTable')", "1"},
    {"IsUserTableOfAView", "OBJECTPROPERTY(OBJECT_ID('dbo.vwX'), 'IsUserTable')", "0"},
    {"IsView", "OBJECTPROPERTY(OBJECT_ID('vwX'), 'IsView')", "1"},
    {"IsPrimaryKey", "OBJECTPROPERTY(OBJECT_ID('PK_tbX'), 'IsPrimaryKey')", "1"},
    {"TableHasIdentity", "OBJECTPROPERTY(OBJECT_ID('tbX'), 'TableHasIdentity')", "1"},
    {"QuotedIdentifierOfAView", "OBJECTPROPERTY(OBJECT_ID('vwX'), 'ExecIsQuotedIdentOn')", "1"},
    {"UnknownObject", "OBJECTPROPERTY(OBJECT_ID('tbNone'), 'IsUserTable')", "NULL"},
    {"UnknownProperty", "OBJECTPROPERTY(OBJECT_ID('tbX'), 'IsSomethingElse')", "NULL"},
    {"AllowsNull", "COLUMNPROPERTY(OBJECT_ID('tbX'), 'nota', 'AllowsNull')", "1"},
    {"IsIdentity", "COLUMNPROPERTY(OBJECT_ID('tbX'), 'id', 'IsIdentity')", "1"},
    {"Precision", "COLUMNPROPERTY(OBJECT_ID('tbX'), 'nome', 'Precision')", "5"},
    {"UnknownColumn", "COLUMNPROPERTY(OBJECT_ID('tbX'), 'none', 'AllowsNull')", "NULL"},
    {"DbName", "DB_NAME()", "app"},
    {"UserName", "USER_NAME()", "dbo"},
    {"UserNameOfAnId", "USER_NAME(2)", "guest"},
    {"ProductVersion", "SERVERPROPERTY('ProductVersion')", "8.00.2039"},
    {"LaterVersionsProperty", "CAST(SERVERPROPERTY('ProductMajorVersion') AS INT)", "NULL"},
    {"DatabaseCollation", "DATABASEPROPERTYEX('app', 'Collation')", "SQL_Latin1_General_CP1_CI_AS"},
};

INSTANTIATE_TEST_SUITE_P(Cases, PropertyFunctions, ::testing::ValuesIn(kFunctionCases),
                         [](const ::testing::TestParamInfo<FunctionCase>& info) {
                             return std::string(info.param.name);
                         });

// The catalog functions read the row they are given, whatever the query around them calls
// its tables and columns (COLUMNPROPERTY(id, name, ...) FROM syscolumns compares that
// row's id and name, not the function's own catalog row's).
TEST(Scripts, CatalogFunctionsReadTheRowTheyAreGiven) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run("CREATE TABLE tbX (id int IDENTITY NOT NULL CONSTRAINT PK_tbX PRIMARY KEY, "
                             "nome varchar(5) NOT NULL)")),
              "");
    ASSERT_EQ(describe(h.run("CREATE VIEW vwX AS SELECT id FROM tbX")), "");
    EXPECT_EQ(h.rows("SELECT o.name, OBJECTPROPERTY(o.id, 'IsView'), OBJECT_NAME(o.id), USER_NAME(o.uid) "
                     "FROM sysobjects o WHERE o.name IN ('tbX', 'vwX') ORDER BY o.name"),
              (Rows{{"tbX", "0", "tbX", "dbo"}, {"vwX", "1", "vwX", "dbo"}}));
    EXPECT_EQ(h.rows("SELECT name, COLUMNPROPERTY(id, name, 'IsIdentity'), COL_NAME(id, colid), "
                     "OBJECT_NAME(id) FROM syscolumns WHERE id = OBJECT_ID('tbX') ORDER BY colid"),
              (Rows{{"id", "1", "id", "tbX"}, {"nome", "0", "nome", "tbX"}}));
    EXPECT_EQ(h.rows("SELECT name, OBJECT_NAME(id), INDEXPROPERTY(id, name, 'IsUnique') FROM sysindexes "
                     "WHERE name = 'PK_tbX'"),
              (Rows{{"PK_tbX", "tbX", "1"}}));
}

TEST(Scripts, QuotedTypeNamesAndMoneyConstants) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run("SET QUOTED_IDENTIFIER ON\nCREATE TABLE \"tbM\" (\"id\" \"int\" NOT "
                             "NULL, \"price\" \"money\" NULL)\n"
                             "INSERT INTO tbM VALUES (1, $20.00) INSERT INTO tbM VALUES (2, -$1.5) "
                             "INSERT INTO tbM VALUES (3, $5)")),
              "");
    EXPECT_EQ(
        h.rows(
            "SELECT c.name, t.name FROM syscolumns c JOIN systypes t ON t.xusertype = c.xusertype "
            "WHERE c.id = OBJECT_ID('tbM') ORDER BY c.colid"),
        (Rows{{"id", "int"}, {"price", "money"}}));
    EXPECT_EQ(h.rows("SELECT price FROM tbM ORDER BY id"),
              (Rows{{"20.0000"}, {"-1.5000"}, {"5.0000"}}));
}

TEST(Scripts, ViewsNestJoinsInParentheses) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(
                  "CREATE TABLE tbA (id int, a varchar(5)) CREATE TABLE tbB (id int, b varchar(5)) "
                  "CREATE TABLE tbC (id int, c varchar(5)) INSERT INTO tbA VALUES (1, 'a1') "
                  "INSERT INTO tbB VALUES (1, 'b1') INSERT INTO tbC VALUES (1, 'c1') INSERT INTO "
                  "tbC VALUES (2, 'c2')")),
              "");
    ASSERT_EQ(describe(h.run("CREATE VIEW vwN AS SELECT tbA.a, tbB.b, tbC.c FROM tbA INNER JOIN "
                             "(tbB INNER JOIN tbC ON tbC.id = tbB.id) ON tbB.id = tbA.id")),
              "");
    EXPECT_EQ(h.rows("SELECT a, b, c FROM vwN"), (Rows{{"a1", "b1", "c1"}}));
    EXPECT_EQ(
        h.rows("SELECT tbC.c, tbA.a FROM tbA RIGHT JOIN tbC ON tbC.id = tbA.id ORDER BY tbC.c"),
        (Rows{{"c1", "a1"}, {"c2", "NULL"}}));
}

TEST(Scripts, ViewsResolveTheirNamesWhenCreated) {
    EngineHarness h;
    h.run("CREATE TABLE tbA (id int)");
    EXPECT_EQ(messageLines(h.run(
                  "CREATE VIEW vwMissing AS SELECT id FROM tbA JOIN tbNone ON tbNone.id = tbA.id")),
              "208/16: Invalid object name 'tbNone'.\n");
    EXPECT_EQ(messageLines(h.run("CREATE VIEW vwBadColumn AS SELECT nope FROM tbA")),
              "207/16: Invalid column name 'nope'.\n");
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysobjects WHERE name IN ('vwMissing', 'vwBadColumn')"),
              (Rows{{"0"}}));
    EXPECT_EQ(messageLines(h.run(
                  "CREATE VIEW vwSub AS SELECT id FROM tbA WHERE id IN (SELECT id FROM tbGone)")),
              "208/16: Invalid object name 'tbGone'.\n");
}

}  // namespace
}  // namespace sandbox::testing
