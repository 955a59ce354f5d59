// What a client sees from the engine beyond the catalog: comparisons under collations,
// padding, date-time precision, result metadata, the Done items and USE.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

struct ComparisonCase {
    const char* name;
    const char* predicate;  // over tbC (ci: default collation, ai: Latin1_General_CI_AI, cs: Latin1_General_CS_AS, ch: char(5))
    const char* expected;   // the ids found, comma-separated
};

const ComparisonCase kComparisons[] = {
    {"CaseIgnored", "ci = 'JOSE'", "1"},
    {"TrailingBlanksIgnored", "ci = 'jose   '", "1"},
    {"AccentsKeptUnderAS", "ci = 'josé'", "2"},
    {"AccentsIgnoredUnderAI", "ai = 'jose'", "1,2"},
    {"CaseKeptUnderCS", "cs = 'jose'", "1"},
    {"PaddedCharEqualsShortLiteral", "ch = 'ab'", "1"},
    {"LikeIgnoresCase", "ci LIKE 'J%'", "1,2"},
    {"LikeWithSet", "ci LIKE '[a-j]ose'", "1"},
    {"ExpressionsUseTheDatabaseCollation", "UPPER(ci) = 'jose'", "1"},
    {"InListUsesColumnCollation", "ci IN ('JOSE', 'x')", "1"},
    {"OrderedByCollation", "ci > 'JOSE'", "2"},
};

class Comparisons : public ::testing::TestWithParam<ComparisonCase> {};

TEST_P(Comparisons, FollowTheColumnCollation) {
    EngineHarness h;
    h.run("CREATE TABLE tbC (id int, ci varchar(10), ai varchar(10) COLLATE Latin1_General_CI_AI, "
          "cs varchar(10) COLLATE Latin1_General_CS_AS, ch char(5))\n"
          "INSERT INTO tbC VALUES (1, 'jose', 'jose', 'jose', 'ab')\n"
          "INSERT INTO tbC VALUES (2, 'josé', 'JOSÉ', 'JOSE', 'abc')");
    Rows rows = h.rows(std::string("SELECT id FROM tbC WHERE ") + GetParam().predicate + " ORDER BY id");
    std::string found;
    for (const auto& r : rows) found += (found.empty() ? "" : ",") + r[0];
    EXPECT_EQ(found, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Comparisons, ::testing::ValuesIn(kComparisons),
                         [](const ::testing::TestParamInfo<ComparisonCase>& info) { return std::string(info.param.name); });

TEST(EngineValues, StoredAsSqlServerKeepsThem) {
    EngineHarness h;
    h.run("CREATE TABLE tbV (c char(4), d datetime, s smalldatetime, m money, b bit, n nchar(3), x varbinary(4))");
    h.run("INSERT INTO tbV VALUES ('ab', '2004-03-07 14:05:09.002', '2004-03-07 14:05:31', 1.23456, 5, N'é', 0x0102)");
    EXPECT_EQ(h.rows("SELECT c, d, s, m, b, n, x, DATALENGTH(c) FROM tbV"),
              (Rows{{"ab  ", "2004-03-07 14:05:09.003", "2004-03-07 14:06:00.000", "1.2346", "1", "é  ", "0x0102", "4"}}));
    // Date-times round to 1/300 s: .001 -> .000, .005 -> .007, .998 -> .997.
    EXPECT_EQ(h.rows("SELECT CONVERT(datetime, '2004-03-07 00:00:00.001', 121), CONVERT(datetime, '2004-03-07 00:00:00.005', 121), "
                     "CONVERT(datetime, '2004-03-07 00:00:00.998', 121), CONVERT(varchar(10), CONVERT(datetime, '2004-03-07', 102), 103)"),
              (Rows{{"2004-03-07 00:00:00.000", "2004-03-07 00:00:00.007", "2004-03-07 00:00:00.997", "07/03/2004"}}));
    // The date styles and DATENAME that Northwind's procedures use.
    EXPECT_EQ(h.rows("SELECT CONVERT(nvarchar(22), d, 111), CONVERT(varchar(8), d, 1), CONVERT(varchar(12), d, 106), "
                     "DATENAME(yy, d), DATENAME(month, d), DATENAME(dw, d) FROM tbV"),
              (Rows{{"2004/03/07", "03/07/04", "07 Mar 2004", "2004", "March", "Sunday"}}));
    // Character data goes into an image column implicitly, not into varbinary.
    h.run("CREATE TABLE tbI (i image, v varbinary(30))");
    EXPECT_EQ(describe(h.run("INSERT INTO tbI (i) VALUES ('BINARYUPDATE1E10414936DE')")), "");
    EXPECT_EQ(h.rows("SELECT DATALENGTH(i) FROM tbI"), (Rows{{"24"}}));
    EXPECT_EQ(h.firstError("INSERT INTO tbI (v) VALUES ('abc')").number, 257);
    EXPECT_EQ(h.rows("SELECT 'a' + 'b', 'O' + CHAR(39) + 'Neil', 1 + '2', NULL + 'x', substring('abcdef', 2, 3)"),
              (Rows{{"ab", "O'Neil", "3", "NULL", "bcd"}}));
}

// A chain of additions runs left to right, each step by its operands' types: texts
// concatenate (a Null makes the whole Null), numbers add, a number and a text add as
// numbers.
TEST(EngineValues, AdditionChainsKeepTheirLeftToRightMeaning) {
    EngineHarness h;
    EXPECT_EQ(h.rows("SELECT 'a' + 'b' + 'c' + 'd' + 'e', 1 + 2 + 3, 'a' + NULL + 'b', 1 + '2' + 3, "
                     "'1' + '2' + 3, 'x' + CHAR(39) + N'ção' + 'y'"),
              (Rows{{"abcde", "6", "NULL", "6", "15", "x'çãoy"}}));
}

TEST(EngineResults, ColumnMetadataComesFromTheCatalog) {
    EngineHarness h;
    h.run("CREATE TABLE tbM (id int IDENTITY(1,1) NOT NULL, nome nvarchar(50) COLLATE Latin1_General_CI_AI NOT NULL, "
          "valor decimal(10,2), t text, x char(2))");
    Response r = h.run("SELECT id, nome, valor, t, x, COUNT(*) AS total, 'abc' AS lit FROM tbM GROUP BY id, nome, valor, t, x");
    const auto& cols = std::get<RowSet>(r.items.front()).columns;
    ASSERT_EQ(cols.size(), 7u);
    EXPECT_EQ(cols[0].type, SqlType::Int);
    EXPECT_TRUE(cols[0].identity);
    EXPECT_FALSE(cols[0].nullable);
    EXPECT_EQ(cols[1].type, SqlType::NVarChar);
    EXPECT_EQ(cols[1].length, 100);
    EXPECT_EQ(cols[1].collation, "Latin1_General_CI_AI");
    EXPECT_EQ(cols[2].type, SqlType::Decimal);
    EXPECT_EQ(cols[2].precision, 10);
    EXPECT_EQ(cols[2].scale, 2);
    EXPECT_EQ(cols[3].type, SqlType::Text);
    EXPECT_EQ(cols[4].type, SqlType::Char);
    EXPECT_EQ(cols[4].length, 2);
    EXPECT_EQ(cols[5].name, "total");
    EXPECT_EQ(cols[5].type, SqlType::Int);
    EXPECT_EQ(cols[6].type, SqlType::VarChar);
    EXPECT_EQ(cols[6].length, 3);
}

TEST(EngineResults, DonesCountRowsOnlyForRowStatements) {
    EngineHarness h;
    Response r = h.run("CREATE TABLE tbD (a int) INSERT INTO tbD VALUES (1) INSERT INTO tbD VALUES (2) "
                       "UPDATE tbD SET a = a + 1 SELECT a FROM tbD DELETE FROM tbD WHERE a = 3 SET NOCOUNT ON "
                       "INSERT INTO tbD VALUES (4)");
    std::vector<std::string> dones;
    for (const auto& item : r.items)
        if (const auto* d = std::get_if<Done>(&item)) dones.push_back(d->counted ? std::to_string(d->rowCount) : "-");
    EXPECT_EQ(dones, (std::vector<std::string>{"-", "1", "1", "2", "2", "1", "-", "-"}));
}

TEST(EngineDatabases, UseChangesTheContextAndCreateDatabaseMakesOne) {
    EngineHarness h;
    Response created = h.run("CREATE DATABASE second");
    EXPECT_EQ(describe(created), "");
    Response r = h.run("USE second");
    ASSERT_EQ(r.items.size(), 3u);
    const auto& change = std::get<DatabaseChange>(r.items[0]);
    EXPECT_EQ(change.oldName, "app");
    EXPECT_EQ(change.newName, "second");
    EXPECT_EQ(std::get<Message>(r.items[1]).number, 5701);
    EXPECT_EQ(std::get<Message>(r.items[1]).text, "Changed database context to 'second'.");
    EXPECT_EQ(h.session().currentDatabase(), "second");
    EXPECT_EQ(h.firstError("CREATE DATABASE SECOND").text, "Database 'SECOND' already exists.");
    EXPECT_EQ(h.firstError("USE nowhere").number, 911);
}

TEST(EngineBatches, StatementsFollowEachOtherWithoutSeparators) {
    EngineHarness h;
    h.run("CREATE TABLE x (a int IDENTITY(1,1), b varchar(5))");
    Response r = h.run("SET IDENTITY_INSERT x ON INSERT INTO x (a, b) VALUES (1, 'y')  SET IDENTITY_INSERT x OFF ");
    EXPECT_EQ(describe(r), "");
    EXPECT_EQ(h.rows("SELECT a, b FROM x"), (Rows{{"1", "y"}}));
    EXPECT_EQ(h.firstError("INSERT INTO x (a, b) VALUES (2, 'z')").number, 544);
}

}  // namespace
}  // namespace sandbox::testing
