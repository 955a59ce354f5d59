// Triggers: their catalog rows, firing after INSERT, UPDATE and DELETE with inserted and
// deleted, RAISERROR + ROLLBACK TRANSACTION inside one undoing the statement and ending the
// batch, nesting, disabling, and their going with their table.
#include <gtest/gtest.h>

#include "catalog_snapshot.h"
#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Lines = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

const char* const kTables =
    "CREATE TABLE tbOrders (id int IDENTITY NOT NULL PRIMARY KEY, quantity smallint NOT NULL, "
    "status char(1) NOT NULL DEFAULT ('N'))\n"
    "CREATE TABLE tbAudit (id int IDENTITY NOT NULL PRIMARY KEY, orderId int NULL, action "
    "varchar(10) NULL, "
    "quantity smallint NULL, level int NULL, rowsSeen int NULL)";

// Writes one audit row per changed order; refuses to cancel a large order.
const char* const kAuditTrigger =
    "CREATE TRIGGER trOrders ON tbOrders FOR INSERT, UPDATE, DELETE\n"
    "AS\n"
    "SET NOCOUNT ON\n"
    "DECLARE @rows int\n"
    "SET @rows = @@ROWCOUNT\n"
    "IF EXISTS (SELECT * FROM inserted WHERE quantity > 100 AND status = 'C')\n"
    "BEGIN\n"
    "    RAISERROR ('Orders over %d units cannot be cancelled.', 16, 1, 100)\n"
    "    ROLLBACK TRANSACTION\n"
    "    RETURN\n"
    "END\n"
    "INSERT INTO tbAudit (orderId, action, quantity, level, rowsSeen)\n"
    "    SELECT id, CASE WHEN EXISTS (SELECT * FROM deleted) THEN 'UPDATE' ELSE 'INSERT' END, "
    "quantity, @@NESTLEVEL, "
    "@rows FROM inserted\n"
    "INSERT INTO tbAudit (orderId, action, quantity, level, rowsSeen)\n"
    "    SELECT d.id, 'DELETE', d.quantity, @@NESTLEVEL, @rows FROM deleted d WHERE NOT EXISTS "
    "(SELECT * FROM inserted)";

class Triggers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(describe(h.run(kTables)), "");
        ASSERT_EQ(describe(h.run(kAuditTrigger)), "");
    }
    Rows audit() {
        return h.rows("SELECT orderId, action, quantity, level, rowsSeen FROM tbAudit ORDER BY id");
    }
    EngineHarness h;
};

TEST_F(Triggers, HaveSqlServersCatalogRows) {
    EXPECT_EQ(
        h.rows(
            "SELECT o.type, o.status & 1610612736, o.deltrig - t.id, o.sysstat FROM sysobjects o "
            "JOIN sysobjects t ON t.id = o.parent_obj WHERE o.name = 'trOrders' AND t.name = "
            "'tbOrders'"),
        (Rows{{"TR", "1610612736", "0", "8"}}));
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysobjects t WHERE t.name = 'tbOrders' AND t.instrig = "
                     "OBJECT_ID('trOrders') "
                     "AND t.updtrig = t.instrig AND t.deltrig = t.instrig"),
              (Rows{{"1"}}));
    EXPECT_EQ(h.rows("SELECT text FROM syscomments WHERE id = OBJECT_ID('trOrders')"),
              (Rows{{kAuditTrigger}}));
    EXPECT_EQ(h.rows("SELECT OBJECTPROPERTY(OBJECT_ID('trOrders'), 'IsTrigger'), "
                     "OBJECTPROPERTY(OBJECT_ID('trOrders'), 'ExecIsDeleteTrigger'), "
                     "OBJECTPROPERTY(OBJECT_ID('tbOrders'), 'TableHasInsertTrigger')"),
              (Rows{{"1", "1", "1"}}));
}

TEST_F(Triggers, FireAfterEachStatementWithTheRowsItChanged) {
    ASSERT_EQ(describe(h.run(
                  "INSERT INTO tbOrders (quantity) VALUES (5)\nINSERT INTO tbOrders (quantity) "
                  "VALUES (7)\n"
                  "UPDATE tbOrders SET quantity = quantity + 1\nDELETE FROM tbOrders WHERE id = 2\n"
                  "DELETE FROM tbOrders WHERE id = 99")),
              "");
    EXPECT_EQ(audit(), (Rows{{"1", "INSERT", "5", "1", "1"},
                             {"2", "INSERT", "7", "1", "1"},
                             {"1", "UPDATE", "6", "1", "2"},
                             {"2", "UPDATE", "8", "1", "2"},
                             {"2", "DELETE", "8", "1", "1"}}));
}

TEST_F(Triggers, ARollbackInsideUndoesTheStatementAndEndsTheBatch) {
    ASSERT_EQ(describe(h.run("INSERT INTO tbOrders (quantity) VALUES (150)")), "");
    Response r = h.run("UPDATE tbOrders SET status = 'C'\nSELECT 'not reached'");
    EXPECT_EQ(messageLines(r), "50000/16: Orders over 100 units cannot be cancelled.\n");
    for (const auto& item : r.items) {
        EXPECT_FALSE(std::holds_alternative<RowSet>(item));
        if (const auto* m = std::get_if<Message>(&item)) {
            EXPECT_EQ(m->procName, "trOrders");
            EXPECT_EQ(m->line, 8);  // the RAISERROR's line in the trigger's text
        }
    }
    EXPECT_EQ(h.rows("SELECT status, @@TRANCOUNT FROM tbOrders"), (Rows{{"N", "0"}}));
    EXPECT_EQ(audit(), (Rows{{"1", "INSERT", "150", "1", "1"}}));
}

TEST_F(Triggers, ARollbackInsideUndoesTheWholeOpenTransaction) {
    ASSERT_EQ(describe(h.run("BEGIN TRANSACTION\nINSERT INTO tbOrders (quantity) VALUES (1)")), "");
    EXPECT_EQ(messageLines(h.run("INSERT INTO tbOrders (quantity, status) VALUES (500, 'C')")),
              "50000/16: Orders over 100 units cannot be cancelled.\n");
    EXPECT_EQ(
        h.rows(
            "SELECT @@TRANCOUNT, (SELECT COUNT(*) FROM tbOrders), (SELECT COUNT(*) FROM tbAudit)"),
        (Rows{{"0", "0", "0"}}));
}

// A fatal error inside a trigger (here a table its body names that does not exist: the
// name is resolved when it runs) rolls the transaction back and ends the batch.
TEST_F(Triggers, AFatalErrorInsideUndoesTheStatement) {
    ASSERT_EQ(
        describe(h.run(
            "CREATE TRIGGER trBroken ON tbAudit FOR INSERT AS INSERT INTO tbNowhere VALUES (1)")),
        "");
    Response r = h.run("INSERT INTO tbOrders (quantity) VALUES (3)\nSELECT 'not reached'");
    EXPECT_EQ(messageLines(r), "208/16: Invalid object name 'tbNowhere'.\n");
    EXPECT_EQ(
        h.rows(
            "SELECT (SELECT COUNT(*) FROM tbOrders), (SELECT COUNT(*) FROM tbAudit), @@TRANCOUNT"),
        (Rows{{"0", "0", "0"}}));
}

TEST_F(Triggers, NestAndDoNotFireThemselves) {
    // tbAudit's trigger fires inside trOrders (level 2) and updates tbAudit, which does not
    // fire it again.
    ASSERT_EQ(
        describe(h.run(
            "CREATE TRIGGER trAudit ON tbAudit FOR INSERT, UPDATE AS "
            "UPDATE tbAudit SET level = @@NESTLEVEL * 10 WHERE id IN (SELECT id FROM inserted)")),
        "");
    ASSERT_EQ(describe(h.run("INSERT INTO tbOrders (quantity) VALUES (4)")), "");
    EXPECT_EQ(audit(), (Rows{{"1", "INSERT", "4", "20", "1"}}));
}

TEST_F(Triggers, UpdateOfAColumnTellsWhichColumnsAStatementSet) {
    ASSERT_EQ(describe(h.run("CREATE TRIGGER trStatus ON tbOrders FOR UPDATE AS\n"
                             "IF UPDATE(status) INSERT INTO tbAudit (action) VALUES ('STATUS')")),
              "");
    ASSERT_EQ(describe(h.run(
                  "INSERT INTO tbOrders (quantity) VALUES (1)\nUPDATE tbOrders SET quantity = 2\n"
                  "UPDATE tbOrders SET status = 'S'")),
              "");
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM tbAudit WHERE action = 'STATUS'"), (Rows{{"1"}}));
}

TEST_F(Triggers, ADisabledTriggerDoesNotFire) {
    ASSERT_EQ(describe(h.run("ALTER TABLE tbOrders DISABLE TRIGGER trOrders\nINSERT INTO tbOrders "
                             "(quantity) VALUES (1)")),
              "");
    EXPECT_EQ(audit(), Rows{});
    const char* state =
        "SELECT status & 2048, OBJECTPROPERTY(id, 'ExecIsTriggerDisabled') FROM sysobjects WHERE name = 'trOrders'";
    EXPECT_EQ(h.rows(state), (Rows{{"2048", "1"}}));
    ASSERT_EQ(
        describe(h.run(
            "ALTER TABLE tbOrders ENABLE TRIGGER ALL\nINSERT INTO tbOrders (quantity) VALUES (2)")),
        "");
    EXPECT_EQ(audit(), (Rows{{"2", "INSERT", "2", "1", "1"}}));
    EXPECT_EQ(h.rows(state), (Rows{{"0", "0"}}));
}

// sp_settriggerorder puts a trigger first or last for one statement; the others fire in
// the order they were created.
TEST_F(Triggers, FireInTheOrderSpSettriggerorderSets) {
    for (const char* name : {"trA", "trB", "trC"})
        ASSERT_EQ(describe(h.run(std::string("CREATE TRIGGER ") + name +
                                 " ON tbOrders FOR INSERT, DELETE AS SET NOCOUNT ON INSERT INTO tbAudit (action) "
                                 "VALUES ('" + name + "')")),
                  "");
    ASSERT_EQ(describe(h.run("EXEC sp_settriggerorder 'trC', 'First', 'INSERT'\n"
                             "EXEC sp_settriggerorder @triggername = '[dbo].[trA]', @order = 'last', @stmttype = 'insert'\n"
                             "INSERT INTO tbOrders (quantity) VALUES (1)\nDELETE FROM tbAudit\n"
                             "DELETE FROM tbOrders")),
              "");
    EXPECT_EQ(h.rows("SELECT action FROM tbAudit WHERE action LIKE 'tr%' ORDER BY id"),
              (Rows{{"trA"}, {"trB"}, {"trC"}}));
    ASSERT_EQ(describe(h.run("DELETE FROM tbAudit INSERT INTO tbOrders (quantity) VALUES (2)")), "");
    EXPECT_EQ(h.rows("SELECT action FROM tbAudit WHERE action LIKE 'tr%' ORDER BY id"),
              (Rows{{"trC"}, {"trB"}, {"trA"}}));
    EXPECT_EQ(h.rows("SELECT OBJECTPROPERTY(OBJECT_ID('trC'), 'ExecIsFirstInsertTrigger'), "
                     "OBJECTPROPERTY(OBJECT_ID('trA'), 'ExecIsLastInsertTrigger'), "
                     "OBJECTPROPERTY(OBJECT_ID('trA'), 'ExecIsLastDeleteTrigger')"),
              (Rows{{"1", "1", "0"}}));
    EXPECT_EQ(messageLines(h.run("EXEC sp_settriggerorder 'trNone', 'First', 'INSERT'")),
              "15009/16: The object 'trNone' does not exist in database 'app'.\n");
}

TEST_F(Triggers, GoWhenDroppedOrWithTheirTable) {
    ASSERT_EQ(describe(h.run("DROP TRIGGER trOrders")), "");
    EXPECT_EQ(h.rows("SELECT instrig, updtrig, deltrig FROM sysobjects WHERE name = 'tbOrders'"),
              (Rows{{"0", "0", "0"}}));
    ASSERT_EQ(describe(h.run("INSERT INTO tbOrders (quantity) VALUES (1)")), "");
    EXPECT_EQ(audit(), Rows{});
    ASSERT_EQ(describe(h.run(kAuditTrigger)), "");
    ASSERT_EQ(describe(h.run("DROP TABLE tbOrders")), "");
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysobjects WHERE name = 'trOrders'"), (Rows{{"0"}}));
    EXPECT_EQ(orphanedCatalogRows(h), Lines{});
}

struct RefusalCase {
    const char* name;
    const char* batch;
    const char* messages;
};

class TriggerRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(TriggerRefusals, AreSqlServersErrors) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kTables)), "");
    EXPECT_EQ(messageLines(h.run(GetParam().batch)), GetParam().messages);
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysobjects WHERE xtype = 'TR'"), (Rows{{"0"}}));
}

const RefusalCase kRefusals[] = {
    {"OnAMissingTable", "CREATE TRIGGER trX ON tbNone FOR INSERT AS PRINT 1",
     "208/16: Invalid object name 'tbNone'.\n"},
    {"NameTaken", "CREATE TRIGGER tbAudit ON tbOrders FOR INSERT AS PRINT 1",
     "2714/16: There is already an object named 'tbAudit' in the database.\n"},
    {"NotFirstInTheBatch", "PRINT 1\nCREATE TRIGGER trX ON tbOrders FOR INSERT AS PRINT 1",
     "111/15: 'CREATE TRIGGER' must be the first statement in a query batch.\n"},
    {"SyntaxErrorInTheBody", "CREATE TRIGGER trX ON tbOrders FOR INSERT AS IF 1 = 1 BEGIN PRINT 1",
     "102/15: Incorrect syntax near '1'.\n"},
    {"DropOfAMissingTrigger", "DROP TRIGGER trNone",
     "3701/11: Cannot drop the trigger 'trNone', because it does not exist in the system "
     "catalog.\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, TriggerRefusals, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(InsteadOfTriggers, AreKeptButNotRun) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kTables)), "");
    ASSERT_EQ(
        describe(h.run("CREATE TRIGGER trInstead ON tbOrders INSTEAD OF DELETE AS PRINT 'no'")),
        "");
    EXPECT_EQ(messageLines(h.run("DELETE FROM tbOrders")),
              "40000/16: The sandbox server does not run INSTEAD OF triggers ('trInstead').\n");
    EXPECT_EQ(h.rows("SELECT OBJECTPROPERTY(OBJECT_ID('trInstead'), 'ExecIsInsteadOfTrigger')"),
              (Rows{{"1"}}));
}

}  // namespace
}  // namespace sandbox::testing
