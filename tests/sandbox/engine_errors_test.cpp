#include <gtest/gtest.h>

#include "engine_harness.h"

namespace sandbox::testing {
namespace {

struct ErrorCase {
    const char* name;
    const char* batch;
    std::int32_t number;
    int severity;
    const char* text;
    const char* followUp = nullptr;  // an informational message after the error
};

// Every case runs on a database holding tbX (identity id, key PK_tbX, NOT NULL nome
// varchar(5)) with one row, and tbY (identity) whose IDENTITY_INSERT some cases turn on.
constexpr const char* kSetup =
    "CREATE TABLE tbX (id int IDENTITY(1,1) NOT NULL, nome varchar(5) NOT NULL, "
    "CONSTRAINT PK_tbX PRIMARY KEY (id)) "
    "CREATE TABLE tbY (id int IDENTITY(1,1), v int) "
    "CREATE TABLE tbPlain (a int) "
    "INSERT INTO tbX (nome) VALUES ('um')";

const ErrorCase kCases[] = {
    {"InvalidObject", "SELECT * FROM tbMissing", 208, 16, "Invalid object name 'tbMissing'."},
    {"InvalidObjectAsWritten", "SELECT * FROM dbo.tbMissing", 208, 16, "Invalid object name 'dbo.tbMissing'."},
    {"InvalidColumn", "SELECT nope FROM tbX", 207, 16, "Invalid column name 'nope'."},
    {"InvalidQualifiedColumn", "SELECT x.nope FROM tbX x", 207, 16, "Invalid column name 'nope'."},
    {"ObjectExists", "CREATE TABLE TBX (a int)", 2714, 16, "There is already an object named 'TBX' in the database."},
    {"SyntaxNear", "SELECT * FROM tbX WHERE id =", 102, 15, "Incorrect syntax near '='."},
    {"SyntaxNearKeyword", "SELECT * FROM WHERE id = 1", 156, 15, "Incorrect syntax near the keyword 'WHERE'."},
    {"SyntaxNearToken", "SELECT id FROM tbX ORDER id", 102, 15, "Incorrect syntax near 'id'."},
    {"UnclosedString", "SELECT 'it''s", 105, 15, "Unclosed quotation mark before the character string 'it's'."},
    {"UnclosedBracket", "SELECT [a]]b", 105, 15, "Unclosed quotation mark before the character string 'a]b'."},
    {"UnknownFunction", "SELECT 'a' + CHR(39) + 'b'", 195, 15, "'CHR' is not a recognized built-in function name."},
    // Integer literals too long for where they stand: T-SQL reads them as decimals.
    {"TypeLengthPastInt", "DECLARE @s varchar(99999999999)", 102, 15, "Incorrect syntax near '99999999999'."},
    {"IdentitySeedPastBigint", "CREATE TABLE tbZ (id int IDENTITY(99999999999999999999, 1))", 102, 15,
     "Incorrect syntax near '99999999999999999999'."},
    {"RaiserrorNumberPastInt", "RAISERROR 99999999999 'x'", 102, 15, "Incorrect syntax near '99999999999'."},
    {"LockTimeoutPastBigint", "SET LOCK_TIMEOUT 99999999999999999999", 102, 15,
     "Incorrect syntax near '99999999999999999999'."},
    // Numbers past the range of what they become.
    {"BigintSumOverflows", "SELECT 9223372036854775807 + 1", 8115, 16,
     "Arithmetic overflow error converting expression to data type bigint."},
    {"FloatPastDatetime", "SELECT CAST(1e300 AS datetime)", 8115, 16,
     "Arithmetic overflow error converting expression to data type datetime."},
    {"DateaddDaysPastDatetime", "SELECT DATEADD(day, 1e300, '2004-03-07')", 517, 16,
     "Adding a value to a 'datetime' column caused overflow."},
    {"DateaddYearsPastDatetime", "SELECT DATEADD(year, 8000, '2004-03-07')", 517, 16,
     "Adding a value to a 'datetime' column caused overflow."},
    {"DateaddMonthsBefore1753", "SELECT DATEADD(month, -3015, '2004-03-07')", 517, 16,
     "Adding a value to a 'datetime' column caused overflow."},
    {"IdentityPastInt",
     "CREATE TABLE tbZ (id int IDENTITY(2147483647, 1), v int) INSERT INTO tbZ (v) VALUES (1) "
     "INSERT INTO tbZ (v) VALUES (2)",
     8115, 16, "Arithmetic overflow error converting IDENTITY to data type int."},
    {"IdentityPastBigint",
     "CREATE TABLE tbZ (id bigint IDENTITY(9223372036854775807, 1), v int) INSERT INTO tbZ (v) VALUES (1) "
     "INSERT INTO tbZ (v) VALUES (2)",
     8115, 16, "Arithmetic overflow error converting IDENTITY to data type bigint."},
    {"IdentityAddedPastTinyint",
     "CREATE TABLE tbZ (v int) INSERT INTO tbZ VALUES (1) INSERT INTO tbZ VALUES (2) "
     "ALTER TABLE tbZ ADD id tinyint IDENTITY(255, 1)",
     8115, 16, "Arithmetic overflow error converting IDENTITY to data type tinyint."},
    {"RaiserrorSeverityPastBigint", "RAISERROR('x', 1e300, 1)", 2754, 16,
     "Error severity levels greater than 18 can only be specified by members of the sysadmin role, "
     "using the WITH LOG option."},
    {"DropMissingTable", "DROP TABLE tbMissing", 3701, 11,
     "Cannot drop the table 'tbMissing', because it does not exist in the system catalog."},
    {"DropMissingView", "DROP VIEW vwMissing", 3701, 11,
     "Cannot drop the view 'vwMissing', because it does not exist in the system catalog."},
    {"DropMissingProcedure", "DROP PROCEDURE spMissing", 3701, 11,
     "Cannot drop the procedure 'spMissing', because it does not exist in the system catalog."},
    {"NullNotAllowed", "INSERT INTO tbX (nome) VALUES (NULL)", 515, 16,
     "Cannot insert the value NULL into column 'nome', table 'app.dbo.tbX'; column does not allow nulls. INSERT fails.",
     "The statement has been terminated."},
    {"NullNotAllowedUpdate", "UPDATE tbX SET nome = NULL", 515, 16,
     "Cannot insert the value NULL into column 'nome', table 'app.dbo.tbX'; column does not allow nulls. UPDATE fails.",
     "The statement has been terminated."},
    {"IdentityInsertOff", "INSERT INTO tbX (id, nome) VALUES (7, 'x')", 544, 16,
     "Cannot insert explicit value for identity column in table 'tbX' when IDENTITY_INSERT is set to OFF."},
    {"IdentityWithoutColumnList", "SET IDENTITY_INSERT tbX ON INSERT INTO tbX VALUES (7, 'x')", 8101, 16,
     "An explicit value for the identity column in table 'tbX' can only be specified when a column list is used and "
     "IDENTITY_INSERT is ON."},
    {"IdentityInsertOtherTable", "SET IDENTITY_INSERT tbY ON SET IDENTITY_INSERT tbX ON", 8107, 16,
     "IDENTITY_INSERT is already ON for table 'app.dbo.tbY'. Cannot perform SET operation for table 'tbX'."},
    {"NoIdentityProperty", "SET IDENTITY_INSERT tbPlain ON", 8106, 16,
     "Table 'tbPlain' does not have the identity property. Cannot perform SET operation."},
    {"DuplicateKey", "SET IDENTITY_INSERT tbX ON INSERT INTO tbX (id, nome) VALUES (1, 'dois')", 2627, 14,
     "Violation of PRIMARY KEY constraint 'PK_tbX'. Cannot insert duplicate key in object 'tbX'.",
     "The statement has been terminated."},
    {"Truncation", "INSERT INTO tbX (nome) VALUES ('seis!!')", 8152, 16, "String or binary data would be truncated.",
     "The statement has been terminated."},
    {"ConversionToInt", "INSERT INTO tbY (v) VALUES ('abc')", 245, 16,
     "Syntax error converting the varchar value 'abc' to a column of data type int."},
    {"ConversionToDateTime", "SELECT CONVERT(DATETIME, 'not a date', 102)", 241, 16,
     "Syntax error converting datetime from character string."},
    {"UnsupportedStatementNamesIt", "TRUNCATE TABLE tbX", 40000, 16,
     "The sandbox server does not support the statement TRUNCATE TABLE."},
};

class EngineErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(EngineErrors, ReportsNumberSeverityAndText) {
    const ErrorCase& c = GetParam();
    EngineHarness h;
    Response setup = h.run(kSetup);
    ASSERT_EQ(describe(setup), "");
    Response r = h.run(c.batch);
    std::vector<Message> messages;
    for (const auto& item : r.items)
        if (const auto* m = std::get_if<Message>(&item)) messages.push_back(*m);
    ASSERT_FALSE(messages.empty()) << c.batch;
    EXPECT_EQ(messages[0].number, c.number);
    EXPECT_EQ(messages[0].severity, c.severity);
    EXPECT_EQ(messages[0].text, c.text);
    if (c.followUp) {
        ASSERT_EQ(messages.size(), 2u) << describe(r);
        EXPECT_EQ(messages[1].number, 3621);
        EXPECT_EQ(messages[1].severity, 0);
        EXPECT_EQ(messages[1].text, c.followUp);
    } else {
        EXPECT_EQ(messages.size(), 1u) << describe(r);
    }
    ASSERT_TRUE(std::holds_alternative<Done>(r.items.back()));
    EXPECT_TRUE(std::get<Done>(r.items.back()).error);
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineErrors, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST(EngineLogin, RefusesWrongPasswordAndUnknownDatabase) {
    EngineHarness h;
    h.restart(std::string("right"));
    LoginRequest wrong{"sa", "wrong", "app", "", "", true};
    LoginResult refused = h.engine().login(wrong);
    EXPECT_EQ(refused.session, nullptr);
    ASSERT_EQ(refused.messages.size(), 1u);
    EXPECT_EQ(refused.messages[0].number, 18456);
    EXPECT_EQ(refused.messages[0].severity, 14);
    EXPECT_EQ(refused.messages[0].text, "Login failed for user 'sa'.");

    LoginRequest missing{"sa", "right", "nowhere", "", "", true};
    LoginResult noDatabase = h.engine().login(missing);
    EXPECT_EQ(noDatabase.session, nullptr);
    ASSERT_EQ(noDatabase.messages.size(), 2u);
    EXPECT_EQ(noDatabase.messages[0].number, 4060);
    EXPECT_EQ(noDatabase.messages[0].text, "Cannot open database requested in login 'nowhere'. Login fails.");
    EXPECT_EQ(noDatabase.messages[1].number, 18456);

    LoginRequest good{"SA", "right", "", "", "", true};
    LoginResult accepted = h.engine().login(good);
    ASSERT_NE(accepted.session, nullptr);
    EXPECT_EQ(accepted.database, "master");
}

TEST(EngineBatches, SyntaxErrorStopsTheWholeBatchBeforeAnythingRuns) {
    EngineHarness h;
    Response r = h.run("CREATE TABLE tbA (a int)\nINSERT INTO tbA VALUES (1)\nSELECT FROM");
    EXPECT_EQ(describe(r), "156: Incorrect syntax near the keyword 'FROM'.\n");
    EXPECT_EQ(h.firstError("SELECT * FROM tbA").number, 208);
}

TEST(EngineBatches, StatementErrorLetsTheBatchGoOnButNameErrorsEndIt) {
    EngineHarness h;
    h.run("CREATE TABLE tbA (a int NOT NULL)");
    Response r = h.run("INSERT INTO tbA VALUES (NULL)\nINSERT INTO tbA VALUES (2)\nSELECT nope FROM tbA\nINSERT INTO tbA VALUES (3)");
    EXPECT_EQ(describe(r),
              "515: Cannot insert the value NULL into column 'a', table 'app.dbo.tbA'; column does not allow nulls. "
              "INSERT fails.\n3621: The statement has been terminated.\n207: Invalid column name 'nope'.\n");
    EXPECT_EQ(h.rows("SELECT a FROM tbA"), (std::vector<std::vector<std::string>>{{"2"}}));
}

}  // namespace
}  // namespace sandbox::testing
