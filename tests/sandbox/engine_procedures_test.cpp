// Stored procedures: EXEC runs them with their parameters (by position, by name, their
// defaults, OUTPUT), RETURN gives their status, their parameters are in syscolumns, ALTER
// PROCEDURE replaces their text, and the call errors are SQL Server 2000's.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// Orders and a procedure of several statements that reads them, with a defaulted
// parameter, an OUTPUT one and a return status.
constexpr const char* kOrders =
    "CREATE TABLE tbOrders (id int NOT NULL PRIMARY KEY, customer varchar(10) NOT NULL, total money NOT NULL) "
    "INSERT INTO tbOrders VALUES (1, 'ACME', 10) INSERT INTO tbOrders VALUES (2, 'ACME', 25) "
    "INSERT INTO tbOrders VALUES (3, 'OLIVEIRA', 7)";

constexpr const char* kProcedure =
    "CREATE PROCEDURE spOrdersOf\n"
    "    @customer varchar(10),\n"
    "    @minimum money = 0,\n"
    "    @count int = NULL OUTPUT\n"
    "AS\n"
    "SET NOCOUNT ON\n"
    "DECLARE @total money\n"
    "SELECT @count = COUNT(*), @total = SUM(total) FROM tbOrders WHERE customer = @customer AND total >= @minimum\n"
    "IF @count = 0 RETURN -1\n"
    "SELECT id, total FROM tbOrders WHERE customer = @customer AND total >= @minimum ORDER BY id\n"
    "RETURN @count";

class Procedures : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(describe(h.run(kOrders)), "");
        ASSERT_EQ(describe(h.run(kProcedure)), "");
    }

    // The rows of every result set of a batch that must succeed, one after the other.
    Rows allRows(const std::string& batch) {
        Response r = h.run(batch);
        EXPECT_EQ(describe(r), "") << batch;
        return rowsOf(r);
    }

    EngineHarness h;
};

struct CallCase {
    const char* name;
    const char* batch;
    Rows rows;  // every result set's rows, in order
};

class ProcedureCalls : public Procedures, public ::testing::WithParamInterface<CallCase> {};

TEST_P(ProcedureCalls, RunWithTheirArguments) { EXPECT_EQ(allRows(GetParam().batch), GetParam().rows); }

const CallCase kCalls[] = {
    {"ByPosition", "EXEC spOrdersOf 'ACME'", {{"1", "10.0000"}, {"2", "25.0000"}}},
    {"ByName", "EXECUTE spOrdersOf @minimum = 20, @customer = 'ACME'", {{"2", "25.0000"}}},
    {"DefaultKeyword", "EXEC spOrdersOf 'OLIVEIRA', DEFAULT", {{"3", "7.0000"}}},
    {"AsTheFirstStatement", "spOrdersOf 'OLIVEIRA'", {{"3", "7.0000"}}},
    {"StatusAndOutput",
     "DECLARE @n int, @status int\n"
     "EXEC @status = spOrdersOf 'ACME', 15, @n OUTPUT\n"
     "EXEC spOrdersOf 'NOBODY', @count = @n\n"
     "SELECT @status, @n",
     {{"2", "25.0000"}, {"1", "1"}}},
    {"NoRowsReturnsItsStatus",
     "DECLARE @status int EXEC @status = spOrdersOf 'NOBODY' SELECT @status, @@NESTLEVEL", {{"-1", "0"}}},
    {"VariablesAsArguments",
     "DECLARE @who varchar(10), @n int SET @who = 'ACME'\n"
     "EXEC spOrdersOf @who, @count = @n OUTPUT SELECT @n",
     {{"1", "10.0000"}, {"2", "25.0000"}, {"2"}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ProcedureCalls, ::testing::ValuesIn(kCalls),
                         [](const ::testing::TestParamInfo<CallCase>& info) { return std::string(info.param.name); });

struct ErrorCase {
    const char* name;
    const char* batch;
    const char* messages;
};

class ProcedureCallErrors : public Procedures, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ProcedureCallErrors, AreSqlServersErrors) { EXPECT_EQ(messageLines(h.run(GetParam().batch)), GetParam().messages); }

const ErrorCase kErrors[] = {
    {"MissingParameter", "EXEC spOrdersOf @minimum = 1",
     "201/16: Procedure 'spOrdersOf' expects parameter '@customer', which was not supplied.\n"},
    {"TooManyArguments", "EXEC spOrdersOf 'ACME', 1, NULL, 4",
     "8144/16: Procedure or function spOrdersOf has too many arguments specified.\n"},
    {"UnknownParameter", "EXEC spOrdersOf 'ACME', @nope = 1", "8145/16: @nope is not a parameter for procedure spOrdersOf.\n"},
    {"PositionAfterName", "EXEC spOrdersOf @customer = 'ACME', 5",
     "119/15: Must pass parameter number 2 and subsequent parameters as '@name = value'. After the form '@name = value' "
     "has been used, all subsequent parameters must be passed in the form '@name = value'.\n"},
    {"UnknownProcedure", "EXEC spNone", "2812/16: Could not find stored procedure 'spNone'.\n"},
    {"ReturnValueOutsideAProcedure", "RETURN 1",
     "178/15: A RETURN statement with a return value cannot be used in this context.\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ProcedureCallErrors, ::testing::ValuesIn(kErrors),
                         [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST_F(Procedures, KeepTheirParametersInSyscolumns) {
    EXPECT_EQ(h.rows("SELECT c.name, c.colid, c.number, c.isoutparam, t.name, c.length FROM syscolumns c JOIN systypes t "
                     "ON t.xusertype = c.xusertype WHERE c.id = OBJECT_ID('spOrdersOf') ORDER BY c.colid"),
              (Rows{{"@customer", "1", "1", "0", "varchar", "10"},
                    {"@minimum", "2", "1", "0", "money", "8"},
                    {"@count", "3", "1", "1", "int", "4"}}));
}

// A procedure's messages name it; its SET options end with it; an error inside it lets
// the procedure and the caller's batch go on, as a statement error does.
TEST_F(Procedures, RunAsABatchOfTheirOwn) {
    ASSERT_EQ(describe(h.run("CREATE PROCEDURE spNoisy AS\n"
                             "SET NOCOUNT ON\n"
                             "INSERT INTO tbOrders VALUES (1, 'X', 1)\n"
                             "SELECT @@NESTLEVEL")),
              "");
    Response r = h.run("EXEC spNoisy\nSELECT COUNT(*) FROM tbOrders");
    std::vector<std::string> procedures;
    for (const auto& item : r.items)
        if (const auto* m = std::get_if<Message>(&item)) procedures.push_back(std::to_string(m->number) + " " + m->procName);
    EXPECT_EQ(procedures, (std::vector<std::string>{"2627 spNoisy", "3621 spNoisy"}));
    std::vector<std::string> values;
    std::vector<bool> counted;
    for (const auto& item : r.items) {
        if (const auto* rs = std::get_if<RowSet>(&item)) values.push_back(valueText(rs->rows.at(0).at(0)));
        if (const auto* d = std::get_if<Done>(&item); d && d->counted) counted.push_back(true);
    }
    EXPECT_EQ(values, (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(counted.size(), 1u) << "NOCOUNT stays on only inside the procedure";
}

TEST_F(Procedures, AlterReplacesTheTextAndKeepsTheIdAndPermissions) {
    ASSERT_EQ(describe(h.run("GRANT EXECUTE ON spOrdersOf TO public")), "");
    const Rows before = h.rows("SELECT id, crdate FROM sysobjects WHERE name = 'spOrdersOf'");
    ASSERT_EQ(describe(h.run("ALTER PROCEDURE spOrdersOf @customer varchar(10) AS SELECT COUNT(*) FROM tbOrders "
                             "WHERE customer = @customer")),
              "");
    EXPECT_EQ(h.rows("SELECT id, crdate FROM sysobjects WHERE name = 'spOrdersOf'"), before);
    EXPECT_EQ(h.rows("SELECT text FROM syscomments WHERE id = OBJECT_ID('spOrdersOf')"),
              (Rows{{"CREATE PROCEDURE spOrdersOf @customer varchar(10) AS SELECT COUNT(*) FROM tbOrders WHERE "
                     "customer = @customer"}}));
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM syscolumns WHERE id = OBJECT_ID('spOrdersOf')"), (Rows{{"1"}}));
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysprotects WHERE id = OBJECT_ID('spOrdersOf')"), (Rows{{"1"}}));
    EXPECT_EQ(allRows("EXEC spOrdersOf 'ACME'"), (Rows{{"2"}}));
    EXPECT_EQ(messageLines(h.run("ALTER PROCEDURE spNone AS SELECT 1")), "208/16: Invalid object name 'spNone'.\n");
}

TEST_F(Procedures, CallEachOtherUpToThirtyTwoLevels) {
    ASSERT_EQ(describe(h.run("CREATE PROCEDURE spDeep @n int AS IF @n > 0 BEGIN DECLARE @m int SET @m = @n - 1 "
                             "EXEC spDeep @m END ELSE SELECT @@NESTLEVEL")),
              "");
    EXPECT_EQ(allRows("EXEC spDeep 5"), (Rows{{"6"}}));
    EXPECT_EQ(messageLines(h.run("EXEC spDeep 40")),
              "217/16: Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).\n");
}

}  // namespace
}  // namespace sandbox::testing
