#include <gtest/gtest.h>

#include "catalog_snapshot.h"
#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Lines = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

// The statements the table structure update sends to give a column the identity property
// or take it away, one batch each, exactly as it writes them: the rebuild itself is one
// transaction.
struct RebuildCase {
    const char* name;
    const char* table;  // creates tbR and its rows
    std::vector<std::string> batches;
    Lines catalog;      // tbR afterwards
    Rows rows;          // SELECT id, nome FROM tbR after one more INSERT INTO tbR (nome) VALUES ('novo')
};

void PrintTo(const RebuildCase& c, std::ostream* os) { *os << c.name; }

const std::string kCreateWithIdentity =
    "CREATE TABLE [Tmp_tbR] ( [id] [int]  IDENTITY (1, 1)  NOT NULL  ,  [nome] [varchar] (20)  NULL ) ON [PRIMARY]";
const std::string kCreateWithoutIdentity =
    "CREATE TABLE [Tmp_tbR] ( [id] [int]  NOT NULL  ,  [nome] [varchar] (20)  NULL ) ON [PRIMARY]";

// The batches that give id the identity property, and tbR's catalog afterwards.
const std::vector<std::string> kGainIdentity = {
    "SET QUOTED_IDENTIFIER ON", "SET TRANSACTION ISOLATION LEVEL SERIALIZABLE", "SELECT TOP 1 * FROM [tbR]",
    "BEGIN TRANSACTION", kCreateWithIdentity,
    "SET IDENTITY_INSERT dbo.[Tmp_tbR] ON IF EXISTS(SELECT * FROM [tbR]) EXEC('INSERT INTO [Tmp_tbR]([id], [nome]) "
    "SELECT [id], [nome] FROM [tbR]') ",
    " SET IDENTITY_INSERT dbo.[Tmp_tbR] OFF ", "DROP TABLE [tbR]", "EXECUTE sp_rename 'Tmp_tbR', 'tbR'",
    "COMMIT TRANSACTION"};
const Lines kCatalogWithIdentity = {
    "column id int length=4 prec=10 scale=0 nullable=0 colstat=1 collation=- default=-",
    "column nome varchar length=20 prec=0 scale=0 nullable=1 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS default=-",
    "index 0 tbR status=0 keys=-"};

const RebuildCase kCases[] = {
    {"GainsIdentity",
     "CREATE TABLE tbR (id int NOT NULL, nome varchar(20) NULL) "
     "INSERT INTO tbR VALUES (5, 'cinco') INSERT INTO tbR VALUES (9, 'nove')",
     kGainIdentity, kCatalogWithIdentity,
     {{"5", "cinco"}, {"9", "nove"}, {"10", "novo"}}},
    {"LosesIdentity",
     "CREATE TABLE tbR (id int IDENTITY(1,1) NOT NULL, nome varchar(20) NULL) "
     "INSERT INTO tbR (nome) VALUES ('um') INSERT INTO tbR (nome) VALUES ('dois')",
     {"SET QUOTED_IDENTIFIER ON", "SET TRANSACTION ISOLATION LEVEL SERIALIZABLE", "SELECT TOP 1 * FROM [tbR]",
      "BEGIN TRANSACTION", kCreateWithoutIdentity,
      "IF EXISTS(SELECT * FROM [tbR]) EXEC('INSERT INTO [Tmp_tbR]([id], [nome]) SELECT [id], [nome] FROM [tbR]') ",
      "DROP TABLE [tbR]", "EXECUTE sp_rename 'Tmp_tbR', 'tbR'", "COMMIT TRANSACTION"},
     {"column id int length=4 prec=10 scale=0 nullable=0 colstat=0 collation=- default=-",
      "column nome varchar length=20 prec=0 scale=0 nullable=1 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS default=-",
      "index 0 tbR status=0 keys=-"},
     {}},  // without identity the extra insert is refused (515 on id): the table keeps its two rows
    {"EmptyTableCopiesNothing", "CREATE TABLE tbR (id int NOT NULL, nome varchar(20) NULL)",
     kGainIdentity, kCatalogWithIdentity,
     {{"1", "novo"}}},
};

class IdentityRebuild : public ::testing::TestWithParam<RebuildCase> {};

TEST_P(IdentityRebuild, KeepsRowsAndGivesTheCatalogTheNewIdentity) {
    const RebuildCase& c = GetParam();
    EngineHarness h;
    ASSERT_EQ(describe(h.run(c.table)), "");
    Rows before = h.rows("SELECT id, nome FROM tbR ORDER BY id");
    for (const auto& batch : c.batches) {
        std::string expected = batch.rfind("EXECUTE sp_rename", 0) == 0
                                   ? "15477: Caution: Changing any part of an object name could break scripts and stored "
                                     "procedures.\n"
                                   : "";
        ASSERT_EQ(describe(h.run(batch)), expected) << batch;
    }
    EXPECT_EQ(catalogOf(h, "tbR"), c.catalog);
    EXPECT_EQ(catalogOf(h, "Tmp_tbR"), Lines{});
    EXPECT_EQ(orphanedCatalogRows(h), Lines{});
    EXPECT_EQ(h.rows("SELECT id, nome FROM tbR ORDER BY id"), before);
    Response insert = h.run("INSERT INTO tbR (nome) VALUES ('novo')");
    Rows expected = before;
    if (c.rows.empty()) {
        EXPECT_EQ(h.firstError("INSERT INTO tbR (nome) VALUES ('novo')").number, 515);
    } else {
        EXPECT_EQ(describe(insert), "");
        expected = c.rows;
    }
    EXPECT_EQ(h.rows("SELECT id, nome FROM tbR ORDER BY id"), expected);
}

// The same rebuild rolled back just before its COMMIT leaves the table, its catalog rows and
// its rows as they were, with no rebuild table behind.
TEST_P(IdentityRebuild, RolledBackBeforeItsCommitLeavesTheOldTable) {
    const RebuildCase& c = GetParam();
    EngineHarness h;
    ASSERT_EQ(describe(h.run(c.table)), "");
    const Lines catalogBefore = catalogOf(h, "tbR");
    const Rows rowsBefore = h.rows("SELECT id, nome FROM tbR ORDER BY id");
    for (std::size_t i = 0; i + 1 < c.batches.size(); ++i) h.run(c.batches[i]);
    EXPECT_EQ(h.rows("SELECT @@TRANCOUNT"), Rows{{"1"}});
    ASSERT_EQ(describe(h.run("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION")), "");
    EXPECT_EQ(h.rows("SELECT @@TRANCOUNT"), Rows{{"0"}});
    EXPECT_EQ(catalogOf(h, "tbR"), catalogBefore);
    EXPECT_EQ(catalogOf(h, "Tmp_tbR"), Lines{});
    EXPECT_EQ(orphanedCatalogRows(h), Lines{});
    EXPECT_EQ(h.rows("SELECT id, nome FROM tbR ORDER BY id"), rowsBefore);
}

INSTANTIATE_TEST_SUITE_P(Sequences, IdentityRebuild, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RebuildCase>& info) { return std::string(info.param.name); });

// DBCC CHECKIDENT on tbI (identity seed 10, increment 5; rows 10, 15 and 30 given by hand):
// the messages, then the identity functions and the next row's value.
struct CheckIdentCase {
    const char* name;
    const char* batch;
    const char* messages;
    Rows after;  // IDENT_CURRENT, IDENT_SEED, IDENT_INCR, and the id the next row gets
};

constexpr const char* kCheckIdentTable =
    "CREATE TABLE tbI (id int IDENTITY(10, 5) NOT NULL, v int NULL) "
    "INSERT INTO tbI (v) VALUES (1) INSERT INTO tbI (v) VALUES (2) "
    "SET IDENTITY_INSERT tbI ON INSERT INTO tbI (id, v) VALUES (30, 3) SET IDENTITY_INSERT tbI OFF";

const CheckIdentCase kCheckIdentCases[] = {
    {"NoReseedReports", "DBCC CHECKIDENT ('tbI', NORESEED)",
     "7998/0: Checking identity information: current identity value '30', current column value '30'.\n"
     "2528/0: DBCC execution completed. If DBCC printed error messages, contact your system administrator.\n",
     {{"30", "10", "5", "35"}}},
    {"ReseedToAValue", "DBCC CHECKIDENT ('dbo.tbI', RESEED, 100)",
     "7998/0: Checking identity information: current identity value '30', current column value '100'.\n"
     "2528/0: DBCC execution completed. If DBCC printed error messages, contact your system administrator.\n",
     {{"100", "10", "5", "105"}}},
    {"ReseedBelowAndBackUp", "DBCC CHECKIDENT (tbI, RESEED, 5) WITH NO_INFOMSGS DBCC CHECKIDENT (tbI)",
     "7998/0: Checking identity information: current identity value '5', current column value '30'.\n"
     "2528/0: DBCC execution completed. If DBCC printed error messages, contact your system administrator.\n",
     {{"30", "10", "5", "35"}}},
    {"UnknownTable", "DBCC CHECKIDENT ('tbNone')",
     "2501/16: Could not find a table or object named 'tbNone'. Check sysobjects.\n", {{"30", "10", "5", "35"}}},
    {"TableWithoutIdentity", "CREATE TABLE tbN (a int) DBCC CHECKIDENT ('tbN', NORESEED)",
     "7997/16: 'tbN' does not contain an identity column.\n", {{"30", "10", "5", "35"}}},
};

class CheckIdent : public ::testing::TestWithParam<CheckIdentCase> {};

TEST_P(CheckIdent, ReportsAndSetsTheIdentityAsSqlServerDoes) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kCheckIdentTable)), "");
    EXPECT_EQ(messageLines(h.run(GetParam().batch)), GetParam().messages);
    ASSERT_EQ(describe(h.run("INSERT INTO tbI (v) VALUES (9)")), "");
    EXPECT_EQ(h.rows("SELECT IDENT_CURRENT('tbI') - 5, IDENT_SEED('tbI'), IDENT_INCR('tbI'), MAX(id) FROM tbI "
                     "WHERE v = 9"),
              GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Cases, CheckIdent, ::testing::ValuesIn(kCheckIdentCases),
                         [](const ::testing::TestParamInfo<CheckIdentCase>& info) { return std::string(info.param.name); });

TEST(CheckIdent, IdentCurrentOfATableWithoutRowsIsItsSeed) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run("CREATE TABLE tbE (id int IDENTITY(7, 2) NOT NULL) CREATE TABLE tbN (a int)")), "");
    EXPECT_EQ(h.rows("SELECT IDENT_CURRENT('tbE'), IDENT_SEED('dbo.tbE'), IDENT_INCR('tbE'), IDENT_CURRENT('tbN'), "
                     "IDENT_CURRENT('tbNone')"),
              (Rows{{"7", "7", "2", "NULL", "NULL"}}));
}

// RESEED before a table's first row gives that row the value itself; once a row has been
// inserted (even if it is deleted again) the next row gets the value plus the increment.
TEST(CheckIdent, ReseedBeforeTheFirstRowGivesItTheValueItself) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run("CREATE TABLE tbE (id int IDENTITY(7, 2) NOT NULL, v int NULL) "
                             "CREATE TABLE tbD (id int IDENTITY(7, 2) NOT NULL, v int NULL) "
                             "INSERT INTO tbD (v) VALUES (0) DELETE FROM tbD")),
              "");
    EXPECT_EQ(messageLines(h.run("DBCC CHECKIDENT ('tbE', RESEED, 100)")),
              "7998/0: Checking identity information: current identity value 'NULL', current column value '100'.\n"
              "2528/0: DBCC execution completed. If DBCC printed error messages, contact your system administrator.\n");
    ASSERT_EQ(describe(h.run("DBCC CHECKIDENT ('tbD', RESEED, 100) WITH NO_INFOMSGS")), "");
    EXPECT_EQ(h.rows("SELECT IDENT_CURRENT('tbE'), IDENT_CURRENT('tbD')"), (Rows{{"100", "100"}}));
    ASSERT_EQ(describe(h.run("INSERT INTO tbE (v) VALUES (1) INSERT INTO tbE (v) VALUES (2) "
                             "INSERT INTO tbD (v) VALUES (1)")),
              "");
    EXPECT_EQ(h.rows("SELECT id FROM tbE ORDER BY id"), (Rows{{"100"}, {"102"}}));
    EXPECT_EQ(h.rows("SELECT id FROM tbD"), (Rows{{"102"}}));
}

}  // namespace
}  // namespace sandbox::testing
