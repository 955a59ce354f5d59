#include <gtest/gtest.h>

#include "catalog_snapshot.h"
#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kColumnCollations =
    "SELECT o.name, c.name, c.collation FROM syscolumns c JOIN sysobjects o ON o.id = c.id "
    "WHERE o.xtype = 'U' ORDER BY o.name, c.colid";

// New character columns take the new default (CREATE TABLE, ALTER TABLE ADD, a rebuild
// table of the upgrade); existing ones keep theirs; comparisons on a new column ignore
// accents under the _AI collation; the setting outlives a restart.
TEST(EngineDatabaseCollation, NewColumnsTakeTheNewDefaultExistingOnesKeepTheirs) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run("CREATE TABLE tbOld (a varchar(10) NULL, n int NULL) INSERT INTO tbOld VALUES ('é', 1)")), "");
    ASSERT_EQ(describe(h.run("ALTER DATABASE app COLLATE Latin1_General_CI_AI")), "");
    ASSERT_EQ(describe(h.run("CREATE TABLE [tbNew] ( [b] [varchar] (10)  NULL ) ON [PRIMARY] "
                             "ALTER TABLE [tbOld] ADD  [c] [char] (2)  NULL ")),
              "");
    EXPECT_EQ(h.rows(kColumnCollations), (Rows{{"tbNew", "b", "Latin1_General_CI_AI"},
                                              {"tbOld", "a", "SQL_Latin1_General_CP1_CI_AS"},
                                              {"tbOld", "n", "NULL"},
                                              {"tbOld", "c", "Latin1_General_CI_AI"}}));
    EXPECT_EQ(h.rows("SELECT DISTINCT collation FROM systypes WHERE name = 'varchar' OR name = 'sysname'"),
              (Rows{{"Latin1_General_CI_AI"}}));
    ASSERT_EQ(describe(h.run("INSERT INTO tbNew VALUES ('é')")), "");
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM tbNew WHERE b = 'E'"), (Rows{{"1"}}));
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM tbOld WHERE a = 'E'"), (Rows{{"0"}}));

    h.restart();
    ASSERT_EQ(describe(h.run("CREATE TABLE tbLater (d nvarchar(5) NULL)")), "");
    EXPECT_EQ(h.rows("SELECT c.collation FROM syscolumns c JOIN sysobjects o ON o.id = c.id WHERE o.name = 'tbLater'"),
              (Rows{{"Latin1_General_CI_AI"}}));
}

// CREATE DATABASE ... COLLATE gives the new database that default, its system tables'
// names included (compared case-sensitively under a _CS collation).
TEST(EngineDatabaseCollation, CreateDatabaseTakesItsCollation) {
    EngineHarness h("master");
    ASSERT_EQ(describe(h.run("CREATE DATABASE casedb COLLATE Latin1_General_CS_AS")), "");
    auto session = h.login("casedb");
    Response r = session->executeBatch(
        "CREATE TABLE tbA (a varchar(5) NULL) "
        "SELECT DATABASEPROPERTYEX('casedb', 'Collation'), (SELECT collation FROM syscolumns WHERE name = 'a'), "
        "(SELECT COUNT(*) FROM sysobjects WHERE name = 'tba')");
    ASSERT_EQ(describe(r), "");
    const auto& rows = std::get<RowSet>(r.items.at(r.items.size() - 2)).rows;
    EXPECT_EQ(valueText(rows.at(0).at(0)), "Latin1_General_CS_AS");
    EXPECT_EQ(valueText(rows.at(0).at(1)), "Latin1_General_CS_AS");
    EXPECT_EQ(valueText(rows.at(0).at(2)), "0");
    // Asked from another database, as a script that has just created it asks; NULL for a
    // database the server does not have.
    EXPECT_EQ(h.rows("SELECT DATABASEPROPERTYEX('CASEDB', 'Collation'), DATABASEPROPERTYEX('master', 'Collation'), "
                     "DATABASEPROPERTYEX('nowhere', 'Collation'), DATABASEPROPERTYEX('casedb', 'Status'), "
                     "DATABASEPROPERTYEX('nowhere', 'Status')"),
              (Rows{{"Latin1_General_CS_AS", "SQL_Latin1_General_CP1_CI_AS", "NULL", "ONLINE", "NULL"}}));
    EXPECT_EQ(messageLines(h.run("CREATE DATABASE baddb COLLATE Klingon_CI_AI")),
              "448/16: Invalid collation 'Klingon_CI_AI'.\n");
    EXPECT_EQ(h.firstError("USE baddb").number, 911);
}

struct RefusalCase {
    const char* name;
    const char* batch;
    const char* messages;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

const RefusalCase kRefusals[] = {
    {"UnknownCollation", "ALTER DATABASE app COLLATE Klingon_CI_AI", "448: Invalid collation 'Klingon_CI_AI'.\n"},
    {"UnknownDatabase", "ALTER DATABASE nowhere COLLATE Latin1_General_CI_AI",
     "911: Could not locate entry in sysdatabases for database 'nowhere'. No entry found with that name. Make sure that "
     "the name is entered correctly.\n"},
    {"Master", "ALTER DATABASE master COLLATE Latin1_General_CI_AI",
     "3708: Cannot alter the database 'master' because it is a system database.\n"},
};

class DatabaseCollationRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(DatabaseCollationRefusals, ReportSqlServersErrorAndKeepTheCollation) {
    const RefusalCase& c = GetParam();
    EngineHarness h;
    EXPECT_EQ(describe(h.run(c.batch)), c.messages);
    ASSERT_EQ(describe(h.run("CREATE TABLE tbT (a varchar(1) NULL)")), "");
    EXPECT_EQ(h.rows("SELECT c.collation FROM syscolumns c JOIN sysobjects o ON o.id = c.id WHERE o.name = 'tbT'"),
              (Rows{{"SQL_Latin1_General_CP1_CI_AS"}}));
}

INSTANTIATE_TEST_SUITE_P(Statements, DatabaseCollationRefusals, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sandbox::testing
