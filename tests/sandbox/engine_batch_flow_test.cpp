#include <gtest/gtest.h>

#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// tbA: an identity column and a nullable varchar(10), rows (1, 'um') and (2, NULL);
// tbB: a NOT NULL int and a varchar(3).
constexpr const char* kFixture =
    "CREATE TABLE tbA (id int IDENTITY(1,1) NOT NULL, t varchar(10) NULL) "
    "CREATE TABLE tbB (n int NOT NULL, t varchar(3) NULL) "
    "INSERT INTO tbA (t) VALUES ('um') INSERT INTO tbA (t) VALUES (NULL)";

struct FlowCase {
    const char* name;
    const char* batch;
    const char* messages;  // "number: text" lines
    const char* query;
    Rows rows;
};

void PrintTo(const FlowCase& c, std::ostream* os) { *os << c.name; }

const FlowCase kCases[] = {
    {"ExecRunsTextWithDoubledQuotes", "EXEC('INSERT INTO tbA (t) VALUES (''it''''s'')')", "",
     "SELECT id, t FROM tbA ORDER BY id", {{"1", "um"}, {"2", "NULL"}, {"3", "it's"}}},
    {"ExecErrorDoesNotEndTheCallersBatch", "EXEC('SELECT * FROM tbNone') INSERT INTO tbB (n) VALUES (1)",
     "208: Invalid object name 'tbNone'.\n", "SELECT n FROM tbB", {{"1"}}},
    {"ExecSyntaxErrorIsReported", "EXECUTE('INSERT INTO tbB (n) VALUES (') INSERT INTO tbB (n) VALUES (2)",
     "102: Incorrect syntax near '('.\n", "SELECT n FROM tbB", {{"2"}}},
    {"IfFalseSkipsItsStatement",
     "IF EXISTS(SELECT * FROM tbA WHERE t = 'dois') INSERT INTO tbB (n) VALUES (1) INSERT INTO tbB (n) VALUES (2)", "",
     "SELECT n FROM tbB", {{"2"}}},
    {"IfTrueRunsItsStatement", "IF EXISTS(SELECT * FROM tbA WHERE t = 'UM') INSERT INTO tbB (n) VALUES (1)", "",
     "SELECT n FROM tbB", {{"1"}}},
    {"IfElseWithBlock",
     "IF (SELECT COUNT(*) FROM tbA) > 5 INSERT INTO tbB (n) VALUES (1) "
     "ELSE BEGIN INSERT INTO tbB (n) VALUES (2) INSERT INTO tbB (n) VALUES (3) END",
     "", "SELECT n FROM tbB ORDER BY n", {{"2"}, {"3"}}},
    {"NameErrorInsideIfEndsTheBatch", "IF 1 = 1 SELECT * FROM tbNone INSERT INTO tbB (n) VALUES (1)",
     "208: Invalid object name 'tbNone'.\n", "SELECT n FROM tbB", {}},
    {"DefaultFillsNulls", "UPDATE [tbA] SET [t] = ('x') WHERE [t] is null SELECT COUNT(*) as no FROM tbA", "",
     "SELECT id, t FROM tbA ORDER BY id", {{"1", "um"}, {"2", "x"}}},
    {"InsertSelectGeneratesIdentityValues", "INSERT INTO tbA (t) SELECT t FROM tbA", "",
     "SELECT id, t FROM tbA ORDER BY id", {{"1", "um"}, {"2", "NULL"}, {"3", "um"}, {"4", "NULL"}}},
    {"InsertSelectWithIdentityInsert",
     "SET IDENTITY_INSERT dbo.tbA ON INSERT INTO tbA(id, t) SELECT id + 10, t FROM tbA SET IDENTITY_INSERT dbo.tbA OFF "
     "INSERT INTO tbA (t) VALUES ('novo')",
     "", "SELECT id, t FROM tbA ORDER BY id",
     {{"1", "um"}, {"2", "NULL"}, {"11", "um"}, {"12", "NULL"}, {"13", "novo"}}},
    {"InsertSelectConvertsValues", "INSERT INTO tbB (n, t) SELECT id, id * 7 FROM tbA", "",
     "SELECT n, t FROM tbB ORDER BY n", {{"1", "7"}, {"2", "14"}}},
    {"InsertSelectIdentityWithoutIdentityInsert", "INSERT INTO tbA (id, t) SELECT id + 10, t FROM tbA",
     "544: Cannot insert explicit value for identity column in table 'tbA' when IDENTITY_INSERT is set to OFF.\n",
     "SELECT COUNT(*) FROM tbA", {{"2"}}},
    {"InsertSelectTooFewItems", "INSERT INTO tbB (n, t) SELECT id FROM tbA",
     "120: The select list for the INSERT statement contains fewer items than the insert list. The number of SELECT "
     "values must match the number of INSERT columns.\n",
     "SELECT COUNT(*) FROM tbB", {{"0"}}},
    {"InsertSelectTruncationInsertsNothing", "INSERT INTO tbB (n, t) SELECT id, t + 'xx' FROM tbA",
     "8152: String or binary data would be truncated.\n3621: The statement has been terminated.\n",
     "SELECT COUNT(*) FROM tbB", {{"0"}}},
    {"InsertSelectNullIntoNotNullInsertsNothing", "INSERT INTO tbB (n) SELECT CASE WHEN id = 2 THEN NULL ELSE id END FROM tbA",
     "515: Cannot insert the value NULL into column 'n', table 'app.dbo.tbB'; column does not allow nulls. INSERT "
     "fails.\n3621: The statement has been terminated.\n",
     "SELECT COUNT(*) FROM tbB", {{"0"}}},
};

class BatchFlow : public ::testing::TestWithParam<FlowCase> {};

TEST_P(BatchFlow, RunsAsSqlServerRunsIt) {
    const FlowCase& c = GetParam();
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kFixture)), "");
    EXPECT_EQ(describe(h.run(c.batch)), c.messages);
    EXPECT_EQ(h.rows(c.query), c.rows);
}

INSTANTIATE_TEST_SUITE_P(Batches, BatchFlow, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FlowCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sandbox::testing
