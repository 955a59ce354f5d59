// BEGIN/COMMIT/ROLLBACK TRANSACTION and @@TRANCOUNT, DDL inside a transaction, and what
// other sessions and a dropped session see.
#include <gtest/gtest.h>

#include <thread>

#include "catalog_snapshot.h"
#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Lines = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

// A table with rows, created and committed before each case.
const char* const kSeed =
    "CREATE TABLE tbA (id int NOT NULL, nome varchar(20) NULL) "
    "INSERT INTO tbA VALUES (1, 'um') INSERT INTO tbA VALUES (2, 'dois')";

// Work that touches rows, DDL and the catalog: a new table with a row, one row less in
// tbA, and tbA renamed.
const char* const kWork =
    "CREATE TABLE tbB (x int NULL) INSERT INTO tbB VALUES (7) DELETE FROM tbA WHERE id = 1 "
    "EXEC sp_rename 'tbA', 'tbC'";

Rows trancount(EngineHarness& h) { return h.rows("SELECT @@TRANCOUNT"); }

TEST(Transactions, CommitKeepsDdlAndRows) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kSeed)), "");
    EXPECT_EQ(trancount(h), Rows{{"0"}});
    ASSERT_EQ(describe(h.run("BEGIN TRANSACTION")), "");
    EXPECT_EQ(trancount(h), Rows{{"1"}});
    h.run(kWork);
    ASSERT_EQ(describe(h.run("COMMIT TRANSACTION")), "");
    EXPECT_EQ(trancount(h), Rows{{"0"}});
    EXPECT_EQ(h.rows("SELECT x FROM tbB"), Rows{{"7"}});
    EXPECT_EQ(h.rows("SELECT id FROM tbC"), Rows{{"2"}});
    EXPECT_EQ(catalogOf(h, "tbA"), Lines{});
}

TEST(Transactions, RollbackUndoesDdlRowsAndCatalog) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kSeed)), "");
    const Lines catalogBefore = catalogOf(h, "tbA");
    ASSERT_EQ(describe(h.run("BEGIN TRAN")), "");
    h.run(kWork);
    EXPECT_EQ(h.rows("SELECT id FROM tbC"), Rows{{"2"}});  // the transaction sees its own work
    ASSERT_EQ(describe(h.run("ROLLBACK")), "");
    EXPECT_EQ(trancount(h), Rows{{"0"}});
    EXPECT_EQ(catalogOf(h, "tbA"), catalogBefore);
    EXPECT_EQ(catalogOf(h, "tbB"), Lines{});
    EXPECT_EQ(catalogOf(h, "tbC"), Lines{});
    EXPECT_EQ(orphanedCatalogRows(h), Lines{});
    EXPECT_EQ(h.rows("SELECT id, nome FROM tbA ORDER BY id"), (Rows{{"1", "um"}, {"2", "dois"}}));
    EXPECT_EQ(h.firstError("SELECT * FROM tbB").number, 208);
}

TEST(Transactions, NestingCountsAndOneRollbackEndsEverything) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kSeed)), "");
    h.run("BEGIN TRANSACTION outer_one BEGIN TRANSACTION");
    EXPECT_EQ(trancount(h), Rows{{"2"}});
    h.run("DELETE FROM tbA COMMIT");
    EXPECT_EQ(trancount(h), Rows{{"1"}});  // the inner COMMIT only counts down
    ASSERT_EQ(describe(h.run("ROLLBACK TRANSACTION outer_one")), "");
    EXPECT_EQ(trancount(h), Rows{{"0"}});
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM tbA"), Rows{{"2"}});
}

TEST(Transactions, AnOpenTransactionSpansBatchesAndADroppedSessionRollsItBack) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kSeed)), "");
    {
        auto other = h.login("app");
        other->executeBatch("BEGIN TRANSACTION");
        other->executeBatch("DROP TABLE tbA");
        other->executeBatch("CREATE TABLE tbB (x int NULL)");
    }  // the connection ends without a COMMIT
    EXPECT_EQ(h.rows("SELECT id FROM tbA ORDER BY id"), (Rows{{"1"}, {"2"}}));
    EXPECT_EQ(catalogOf(h, "tbB"), Lines{});
    EXPECT_EQ(orphanedCatalogRows(h), Lines{});
}

// Another session's batch waits for the transaction to end, as it would wait for its
// locks; one with LOCK_TIMEOUT 0 (set by an earlier batch: the wait comes before the
// batch runs) gives up at once.
TEST(Transactions, OtherSessionsWaitForTheTransaction) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kSeed)), "");
    auto impatient = h.login("app");
    auto patient = h.login("app");
    impatient->executeBatch("SET LOCK_TIMEOUT 0");
    h.run("BEGIN TRANSACTION DELETE FROM tbA");
    EXPECT_EQ(describe(impatient->executeBatch("SELECT COUNT(*) FROM tbA")),
              "1222: Lock request time out period exceeded.\n");

    std::thread ender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        h.run("ROLLBACK TRANSACTION");
    });
    Response waited = patient->executeBatch("SELECT COUNT(*) FROM tbA");
    ender.join();
    ASSERT_EQ(describe(waited), "");
    const auto* rows = std::get_if<RowSet>(&waited.items.at(0));
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(valueText(rows->rows.at(0).at(0)), "2");
}

struct ErrorCase {
    const char* name;
    const char* batch;
    const char* messages;
};

class TransactionErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(TransactionErrors, AsSqlServerReportsThem) {
    EngineHarness h;
    EXPECT_EQ(describe(h.run(GetParam().batch)), GetParam().messages);
    EXPECT_EQ(trancount(h), Rows{{"0"}});
}

const ErrorCase kErrorCases[] = {
    {"CommitWithoutBegin", "COMMIT TRANSACTION",
     "3902: The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.\n"},
    {"RollbackWithoutBegin", "ROLLBACK",
     "3903: The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.\n"},
    {"GuardedRollbackWithoutBegin", "IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION", ""},
    {"RollbackOfAnotherName", "BEGIN TRAN t1 ROLLBACK TRAN t2 ROLLBACK",
     "6401: Cannot roll back t2. No transaction or savepoint of that name was found.\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, TransactionErrors, ::testing::ValuesIn(kErrorCases),
                         [](const ::testing::TestParamInfo<ErrorCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace sandbox::testing
