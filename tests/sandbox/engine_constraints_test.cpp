// FOREIGN KEY and CHECK constraints: their catalog rows, their enforcement with SQL Server
// 2000's 547 texts, NOCHECK/CHECK CONSTRAINT, and the DDL they refuse (3726, 3725,
// 5074/4922, the creation errors followed by 1750).
#include <gtest/gtest.h>

#include "catalog_snapshot.h"
#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Lines = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

// Customers, their orders (a column-level key on customerId, a table-level one on the
// customer's code, checks on one column each) and order lines with a two-column key that
// line notes reference.
const char* const kShop =
    "CREATE TABLE tbCustomers (id int NOT NULL CONSTRAINT PK_tbCustomers PRIMARY KEY, "
    "code varchar(10) NOT NULL CONSTRAINT UQ_tbCustomers_code UNIQUE, "
    "creditLimit money NOT NULL DEFAULT (0) CONSTRAINT CK_tbCustomers_creditLimit CHECK "
    "(creditLimit >= 0), "
    "CONSTRAINT CK_tbCustomers_acme CHECK (creditLimit <= 1000 OR code = 'ACME'))\n"
    "CREATE TABLE tbOrders (id int NOT NULL PRIMARY KEY, "
    "customerId int NULL CONSTRAINT FK_tbOrders_tbCustomers REFERENCES tbCustomers (id), "
    "customerCode varchar(10) NULL, quantity smallint NOT NULL, status char(1) NOT NULL DEFAULT "
    "('N'), "
    "CONSTRAINT FK_tbOrders_code FOREIGN KEY (customerCode) REFERENCES tbCustomers (code), "
    "CONSTRAINT CK_tbOrders_quantity CHECK (quantity > 0 AND quantity <= 1000), "
    "CONSTRAINT CK_tbOrders_status CHECK (status IN ('N', 'S', 'C')))\n"
    "CREATE TABLE tbLines (orderId int NOT NULL, lineNumber int NOT NULL, "
    "CONSTRAINT PK_tbLines PRIMARY KEY (orderId, lineNumber))\n"
    "CREATE TABLE tbLineNotes (orderId int NULL, lineNumber int NULL, note varchar(20) NULL CHECK "
    "(note <> ''), "
    "CONSTRAINT FK_tbLineNotes_tbLines FOREIGN KEY (orderId, lineNumber) REFERENCES tbLines "
    "(orderId, lineNumber))\n"
    "INSERT INTO tbCustomers VALUES (1, 'ACME', 5000) INSERT INTO tbCustomers VALUES (2, "
    "'OLIVEIRA', 0)\n"
    "INSERT INTO tbOrders (id, customerId, customerCode, quantity) VALUES (10, 1, 'ACME', 5)\n"
    "INSERT INTO tbLines VALUES (10, 1)";

// Every row of the shop's tables, to show that a refused statement left nothing behind.
Rows shopRows(EngineHarness& h) {
    Rows all;
    for (const char* query :
         {"SELECT id, code, creditLimit FROM tbCustomers ORDER BY id",
          "SELECT id, customerId, customerCode, quantity, status FROM tbOrders ORDER BY id",
          "SELECT orderId, lineNumber FROM tbLines ORDER BY orderId, lineNumber",
          "SELECT orderId, lineNumber, note FROM tbLineNotes"})
        for (auto& row : h.rows(query)) all.push_back(std::move(row));
    return all;
}

class ShopTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(describe(h.run(kShop)), ""); }
    EngineHarness h;
};

TEST_F(ShopTest, ConstraintsHaveSqlServersCatalogRows) {
    EXPECT_EQ(catalogOf(h, "tbLineNotes"),
              (Lines{"column orderId int length=4 prec=10 scale=0 nullable=1 colstat=0 collation=- "
                     "default=-",
                     "column lineNumber int length=4 prec=10 scale=0 nullable=1 colstat=0 "
                     "collation=- default=-",
                     "column note varchar length=20 prec=0 scale=0 nullable=1 colstat=0 "
                     "collation=SQL_Latin1_General_CP1_CI_AS default=-",
                     "object CK__tbLineNot__note__* C", "object FK_tbLineNotes_tbLines F",
                     "index 0 tbLineNotes status=0 keys=-"}));
    EXPECT_EQ(
        h.rows("SELECT k.keyno, f.name, k.fkey, r.name, k.rkey FROM sysforeignkeys k "
               "JOIN syscolumns f ON f.id = k.fkeyid AND f.colid = k.fkey "
               "JOIN syscolumns r ON r.id = k.rkeyid AND r.colid = k.rkey "
               "WHERE k.constid = OBJECT_ID('FK_tbLineNotes_tbLines') ORDER BY k.keyno"),
        (Rows{{"1", "orderId", "1", "orderId", "1"}, {"2", "lineNumber", "2", "lineNumber", "2"}}));
    EXPECT_EQ(h.rows("SELECT keycnt, rkeyindid, forkeys, refkeys, fkey1, fkey2, fkey3, rkey1, "
                     "rkey2 FROM sysreferences "
                     "WHERE constid = OBJECT_ID('FK_tbLineNotes_tbLines')"),
              (Rows{{"2", "1", "0x01000200", "0x01000200", "1", "2", "0", "1", "2"}}));
    // One column: a column constraint with its colid (status + 16); several: a table one.
    EXPECT_EQ(h.rows("SELECT o.xtype, c.colid, c.status FROM sysconstraints c JOIN sysobjects o ON "
                     "o.id = c.constid "
                     "WHERE c.id = OBJECT_ID('tbOrders') ORDER BY o.xtype, c.colid"),
              (Rows{{"C ", "4", "20"},
                    {"C ", "5", "20"},
                    {"D ", "5", "21"},
                    {"F ", "2", "19"},
                    {"F ", "3", "19"},
                    {"PK", "1", "17"}}));
    EXPECT_EQ(h.rows("SELECT c.status, c.colid FROM sysconstraints c WHERE c.constid = "
                     "OBJECT_ID('CK_tbCustomers_acme')"),
              (Rows{{"36", "0"}}));
    EXPECT_EQ(h.rows("SELECT text FROM syscomments WHERE id = OBJECT_ID('CK_tbOrders_status')"),
              (Rows{{"(status IN ('N', 'S', 'C'))"}}));
}

struct ChangeCase {
    const char* name;
    const char* batch;
    const char* messages;  // empty: accepted
};

class ConstraintEnforcement : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ConstraintEnforcement, RefusesWith547AndUndoesTheStatement) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kShop)), "");
    const Rows before = shopRows(h);
    EXPECT_EQ(messageLines(h.run(GetParam().batch)), GetParam().messages);
    if (*GetParam().messages) {
        EXPECT_EQ(shopRows(h), before);
    }
}

const ChangeCase kEnforcementCases[] = {
    {"InsertWithoutTheReferencedRow",
     "INSERT INTO tbOrders (id, customerId, quantity) VALUES (11, 9, 1)",
     "547/16: INSERT statement conflicted with COLUMN FOREIGN KEY constraint "
     "'FK_tbOrders_tbCustomers'. The "
     "conflict occurred in database 'app', table 'tbCustomers', column 'id'.\n3621/0: The "
     "statement has been terminated.\n"},
    {"NullKeysReferenceNothing",
     "INSERT INTO tbOrders (id, customerId, quantity) VALUES (11, NULL, 1)", ""},
    {"UpdateToAMissingKey", "UPDATE tbOrders SET customerCode = 'NONE'",
     "547/16: UPDATE statement conflicted with COLUMN FOREIGN KEY constraint 'FK_tbOrders_code'. "
     "The conflict "
     "occurred in database 'app', table 'tbCustomers', column 'code'.\n3621/0: The statement has "
     "been terminated.\n"},
    {"DeleteOfAReferencedRow", "DELETE FROM tbCustomers WHERE id = 1",
     "547/16: DELETE statement conflicted with COLUMN REFERENCE constraint "
     "'FK_tbOrders_tbCustomers'. The conflict "
     "occurred in database 'app', table 'tbOrders', column 'customerId'.\n3621/0: The statement "
     "has been terminated.\n"},
    {"DeleteOfAnUnreferencedRow", "DELETE FROM tbCustomers WHERE id = 2", ""},
    {"UpdateOfAReferencedKey",
     "UPDATE tbCustomers SET code = 'ACME2', creditLimit = 1000 WHERE id = 1",
     "547/16: UPDATE statement conflicted with COLUMN REFERENCE constraint 'FK_tbOrders_code'. The "
     "conflict "
     "occurred in database 'app', table 'tbOrders', column 'customerCode'.\n3621/0: The statement "
     "has been terminated.\n"},
    {"UpdateOfAnotherColumnOfAReferencedRow",
     "UPDATE tbCustomers SET creditLimit = 6000 WHERE id = 1", ""},
    {"TwoColumnKey", "INSERT INTO tbLineNotes VALUES (10, 2, 'x')",
     "547/16: INSERT statement conflicted with TABLE FOREIGN KEY constraint "
     "'FK_tbLineNotes_tbLines'. The conflict "
     "occurred in database 'app', table 'tbLines'.\n3621/0: The statement has been terminated.\n"},
    {"CheckOnInsert", "INSERT INTO tbOrders (id, quantity) VALUES (12, 0)",
     "547/16: INSERT statement conflicted with COLUMN CHECK constraint 'CK_tbOrders_quantity'. The "
     "conflict "
     "occurred in database 'app', table 'tbOrders', column 'quantity'.\n3621/0: The statement has "
     "been terminated.\n"},
    {"CheckOnUpdate", "UPDATE tbOrders SET status = 'X'",
     "547/16: UPDATE statement conflicted with COLUMN CHECK constraint 'CK_tbOrders_status'. The "
     "conflict "
     "occurred in database 'app', table 'tbOrders', column 'status'.\n3621/0: The statement has "
     "been terminated.\n"},
    {"TableCheck", "UPDATE tbCustomers SET creditLimit = 2000 WHERE id = 2",
     "547/16: UPDATE statement conflicted with TABLE CHECK constraint 'CK_tbCustomers_acme'. The "
     "conflict "
     "occurred in database 'app', table 'tbCustomers'.\n3621/0: The statement has been "
     "terminated.\n"},
    {"NullPassesACheck", "INSERT INTO tbLineNotes VALUES (10, 1, NULL)", ""},
    {"OneBadRowUndoesAllRows",
     "INSERT INTO tbOrders (id, customerId, quantity) SELECT id + 100, id, 1 FROM tbCustomers "
     "UNION ALL SELECT 999, 5, 1",
     "547/16: INSERT statement conflicted with COLUMN FOREIGN KEY constraint "
     "'FK_tbOrders_tbCustomers'. The "
     "conflict occurred in database 'app', table 'tbCustomers', column 'id'.\n3621/0: The "
     "statement has been terminated.\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ConstraintEnforcement, ::testing::ValuesIn(kEnforcementCases),
                         [](const ::testing::TestParamInfo<ChangeCase>& info) {
                             return std::string(info.param.name);
                         });

class ConstraintDdl : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ConstraintDdl, IsRefusedAsSqlServerRefusesIt) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kShop)), "");
    ASSERT_EQ(describe(h.run("INSERT INTO tbLines VALUES (77, 1)")), "");
    const Lines catalogBefore = catalogOf(h, "tbOrders");
    EXPECT_EQ(messageLines(h.run(GetParam().batch)), GetParam().messages);
    EXPECT_EQ(catalogOf(h, "tbOrders"), catalogBefore);
}

const ChangeCase kDdlCases[] = {
    {"DropOfAReferencedTable", "DROP TABLE tbCustomers",
     "3726/16: Could not drop object 'tbCustomers' because it is referenced by a FOREIGN KEY "
     "constraint.\n"},
    {"DropOfAReferencedKey", "ALTER TABLE tbCustomers DROP CONSTRAINT PK_tbCustomers",
     "3725/16: The constraint 'PK_tbCustomers' is being referenced by table 'tbOrders', foreign "
     "key constraint "
     "'FK_tbOrders_tbCustomers'.\n3727/16: Could not drop constraint. See previous errors.\n"},
    {"AlterOfAReferencingColumn", "ALTER TABLE tbOrders ALTER COLUMN customerId bigint NULL",
     "5074/16: The object 'FK_tbOrders_tbCustomers' is dependent on column 'customerId'.\n4922/16: "
     "ALTER TABLE "
     "ALTER COLUMN customerId failed because one or more objects access this column.\n"},
    {"AlterOfAReferencedColumn", "ALTER TABLE tbCustomers ALTER COLUMN code varchar(20) NOT NULL",
     "5074/16: The object 'CK_tbCustomers_acme' is dependent on column 'code'.\n5074/16: The "
     "object "
     "'FK_tbOrders_code' is dependent on column 'code'.\n4922/16: ALTER TABLE ALTER COLUMN code "
     "failed because one or more objects access this column.\n"},
    {"AlterOfACheckedColumn", "ALTER TABLE tbOrders ALTER COLUMN quantity int NOT NULL",
     "5074/16: The object 'CK_tbOrders_quantity' is dependent on column 'quantity'.\n4922/16: "
     "ALTER TABLE ALTER "
     "COLUMN quantity failed because one or more objects access this column.\n"},
    {"ReferenceToAMissingTable",
     "ALTER TABLE tbOrders ADD CONSTRAINT FK_x FOREIGN KEY (customerId) REFERENCES tbNone (id)",
     "1767/16: Foreign key 'FK_x' references invalid table 'tbNone'.\n1750/16: Could not create "
     "constraint. See "
     "previous errors.\n"},
    {"ReferenceFromAMissingColumn",
     "ALTER TABLE tbOrders ADD CONSTRAINT FK_x FOREIGN KEY (nope) REFERENCES tbCustomers (id)",
     "1769/16: Foreign key 'FK_x' references invalid column 'nope' in referencing table "
     "'tbOrders'.\n1750/16: Could "
     "not create constraint. See previous errors.\n"},
    {"ReferenceToAMissingColumn",
     "ALTER TABLE tbOrders ADD CONSTRAINT FK_x FOREIGN KEY (customerId) REFERENCES tbCustomers "
     "(nope)",
     "1770/16: Foreign key 'FK_x' references invalid column 'nope' in referenced table "
     "'tbCustomers'.\n1750/16: "
     "Could not create constraint. See previous errors.\n"},
    {"ReferenceToANonKey",
     "ALTER TABLE tbOrders ADD CONSTRAINT FK_x FOREIGN KEY (quantity) REFERENCES tbCustomers "
     "(creditLimit)",
     "1776/16: There are no primary or candidate keys in the referenced table 'tbCustomers' that "
     "match the "
     "referencing column list in the foreign key 'FK_x'.\n1750/16: Could not create constraint. "
     "See previous errors.\n"},
    {"ReferenceOfAnotherType",
     "ALTER TABLE tbOrders ADD CONSTRAINT FK_x FOREIGN KEY (customerCode) REFERENCES tbCustomers "
     "(id)",
     "1778/16: Column 'tbCustomers.id' is not the same data type as referencing column "
     "'tbOrders.customerCode' in "
     "foreign key 'FK_x'.\n1750/16: Could not create constraint. See previous errors.\n"},
    {"ReferenceWithOtherColumnCount",
     "ALTER TABLE tbOrders ADD CONSTRAINT FK_x FOREIGN KEY (id) REFERENCES tbLines (orderId, "
     "lineNumber)",
     "8139/16: Number of referencing columns in foreign key differs from number of referenced "
     "columns, table "
     "'tbOrders'.\n1750/16: Could not create constraint. See previous errors.\n"},
    {"CascadeOntoItself",
     "ALTER TABLE tbCustomers ADD CONSTRAINT FK_x FOREIGN KEY (id) REFERENCES tbCustomers (id) "
     "ON DELETE CASCADE",
     "1785/16: Introducing FOREIGN KEY constraint 'FK_x' on table 'tbCustomers' may cause cycles or "
     "multiple cascade paths. Specify ON DELETE NO ACTION or ON UPDATE NO ACTION, or modify other "
     "FOREIGN KEY constraints.\n1750/16: Could not create constraint. See previous errors.\n"},
    {"SecondCascadePath",
     "ALTER TABLE tbOrders ADD CONSTRAINT FK_a FOREIGN KEY (customerId) REFERENCES tbCustomers (id) "
     "ON UPDATE CASCADE, CONSTRAINT FK_b FOREIGN KEY (customerCode) REFERENCES tbCustomers (code) "
     "ON UPDATE CASCADE",
     "1785/16: Introducing FOREIGN KEY constraint 'FK_b' on table 'tbOrders' may cause cycles or "
     "multiple cascade paths. Specify ON DELETE NO ACTION or ON UPDATE NO ACTION, or modify other "
     "FOREIGN KEY constraints.\n1750/16: Could not create constraint. See previous errors.\n"},
    {"CheckOverRowsThatBreakIt", "ALTER TABLE tbOrders ADD CONSTRAINT CK_x CHECK (quantity > 10)",
     "547/16: ALTER TABLE statement conflicted with COLUMN CHECK constraint 'CK_x'. The conflict "
     "occurred in "
     "database 'app', table 'tbOrders', column 'quantity'.\n"},
    {"KeyOverRowsThatBreakIt",
     "ALTER TABLE tbOrders ADD CONSTRAINT FK_x FOREIGN KEY (id) REFERENCES tbCustomers (id)",
     "547/16: ALTER TABLE statement conflicted with COLUMN FOREIGN KEY constraint 'FK_x'. The "
     "conflict occurred in "
     "database 'app', table 'tbCustomers', column 'id'.\n"},
    {"NocheckOfAnUnknownConstraint", "ALTER TABLE tbOrders NOCHECK CONSTRAINT CK_nope",
     "4917/16: Constraint 'CK_nope' does not exist.\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ConstraintDdl, ::testing::ValuesIn(kDdlCases),
                         [](const ::testing::TestParamInfo<ChangeCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ShopTest, NocheckLetsRowsInAndCheckTurnsTheRulesBackOn) {
    ASSERT_EQ(describe(h.run("ALTER TABLE tbOrders NOCHECK CONSTRAINT ALL")), "");
    EXPECT_EQ(
        h.rows("SELECT OBJECTPROPERTY(OBJECT_ID('FK_tbOrders_tbCustomers'), 'CnstIsDisabled'), "
               "OBJECTPROPERTY(OBJECT_ID('CK_tbOrders_quantity'), 'CnstIsDisabled')"),
        (Rows{{"1", "1"}}));
    ASSERT_EQ(describe(h.run("INSERT INTO tbOrders (id, customerId, quantity) VALUES (11, 9, 0)")),
              "");
    // Enabled again without WITH CHECK: the rows already in stay, new ones are checked.
    ASSERT_EQ(describe(h.run("ALTER TABLE tbOrders CHECK CONSTRAINT ALL")), "");
    EXPECT_EQ(
        h.rows("SELECT OBJECTPROPERTY(OBJECT_ID('FK_tbOrders_tbCustomers'), 'CnstIsDisabled'), "
               "OBJECTPROPERTY(OBJECT_ID('FK_tbOrders_tbCustomers'), 'CnstIsNotTrusted')"),
        (Rows{{"0", "1"}}));
    EXPECT_EQ(
        h.firstError("INSERT INTO tbOrders (id, customerId, quantity) VALUES (12, 9, 1)").number,
        547);
    EXPECT_EQ(messageLines(h.run(
                  "ALTER TABLE tbOrders WITH CHECK CHECK CONSTRAINT FK_tbOrders_tbCustomers")),
              "547/16: ALTER TABLE statement conflicted with COLUMN FOREIGN KEY constraint "
              "'FK_tbOrders_tbCustomers'. "
              "The conflict occurred in database 'app', table 'tbCustomers', column 'id'.\n");
    ASSERT_EQ(describe(h.run("DELETE FROM tbOrders WHERE id = 11")), "");
    ASSERT_EQ(describe(h.run("ALTER TABLE tbOrders WITH CHECK CHECK CONSTRAINT ALL")), "");
    EXPECT_EQ(
        h.rows("SELECT OBJECTPROPERTY(OBJECT_ID('FK_tbOrders_tbCustomers'), 'CnstIsNotTrusted')"),
        (Rows{{"0"}}));
    // WITH NOCHECK adds a key over rows that break it.
    ASSERT_EQ(describe(h.run("INSERT INTO tbLines VALUES (77, 1)\n"
                             "ALTER TABLE tbLines WITH NOCHECK ADD CONSTRAINT FK_tbLines_tbOrders "
                             "FOREIGN KEY (orderId) "
                             "REFERENCES tbOrders (id)")),
              "");
    EXPECT_EQ(h.firstError("INSERT INTO tbLines VALUES (78, 1)").number, 547);
}

// What NOCHECK, CHECK, WITH NOCHECK, NOT FOR REPLICATION and the cascades leave in
// sysobjects.status and OBJECTPROPERTY: status, CnstIsDisabled, CnstIsNotTrusted,
// CnstIsNotRepl, CnstIsDeleteCascade, CnstIsUpdateCascade.
struct StateCase {
    const char* name;
    const char* batch;
    const char* constraint;
    std::vector<std::string> state;
};

const StateCase kStateCases[] = {
    {"ColumnCheck", "", "CK_tbOrders_quantity", {"0", "0", "0", "0", "0", "0"}},
    {"CheckWrittenWithItsColumn", "", "CK__tbLineNot__note__", {"2", "0", "0", "0", "0", "0"}},
    {"DisabledIsNotTrusted", "ALTER TABLE tbOrders NOCHECK CONSTRAINT CK_tbOrders_quantity",
     "CK_tbOrders_quantity", {"2304", "1", "1", "0", "0", "0"}},
    {"EnabledWithoutCheckStaysNotTrusted",
     "ALTER TABLE tbOrders NOCHECK CONSTRAINT ALL ALTER TABLE tbOrders CHECK CONSTRAINT ALL",
     "FK_tbOrders_tbCustomers", {"2048", "0", "1", "0", "0", "0"}},
    {"EnabledWithCheckIsTrustedAgain",
     "ALTER TABLE tbOrders NOCHECK CONSTRAINT ALL ALTER TABLE tbOrders WITH CHECK CHECK CONSTRAINT ALL",
     "FK_tbOrders_tbCustomers", {"0", "0", "0", "0", "0", "0"}},
    {"AddedWithNocheck",
     "ALTER TABLE tbLines WITH NOCHECK ADD CONSTRAINT FK_x FOREIGN KEY (orderId) REFERENCES tbOrders (id)",
     "FK_x", {"2048", "0", "1", "0", "0", "0"}},
    {"NotForReplication",
     "ALTER TABLE tbLines ADD CONSTRAINT CK_x CHECK NOT FOR REPLICATION (lineNumber > 0)", "CK_x",
     {"3072", "0", "1", "1", "0", "0"}},
    {"NotForReplicationStaysNotTrustedWithCheck",
     "ALTER TABLE tbLines ADD CONSTRAINT CK_x CHECK NOT FOR REPLICATION (lineNumber > 0) "
     "ALTER TABLE tbLines NOCHECK CONSTRAINT CK_x ALTER TABLE tbLines WITH CHECK CHECK CONSTRAINT CK_x",
     "CK_x", {"3072", "0", "1", "1", "0", "0"}},
    {"Cascades",
     "ALTER TABLE tbLines ADD CONSTRAINT FK_x FOREIGN KEY (orderId) REFERENCES tbOrders (id) "
     "ON DELETE CASCADE ON UPDATE CASCADE NOT FOR REPLICATION",
     "FK_x", {"15360", "0", "1", "1", "1", "1"}},
};

class ConstraintStates : public ::testing::TestWithParam<StateCase> {};

TEST_P(ConstraintStates, ShowInStatusAndObjectproperty) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kShop)), "");
    ASSERT_EQ(describe(h.run(GetParam().batch)), "");
    const std::string id =
        "(SELECT id FROM sysobjects WHERE name LIKE '" + std::string(GetParam().constraint) + "%')";
    Rows rows = h.rows("SELECT status, OBJECTPROPERTY(id, 'CnstIsDisabled'), OBJECTPROPERTY(id, "
                       "'CnstIsNotTrusted'), OBJECTPROPERTY(id, 'CnstIsNotRepl'), OBJECTPROPERTY(id, "
                       "'CnstIsDeleteCascade'), OBJECTPROPERTY(id, 'CnstIsUpdateCascade') FROM "
                       "sysobjects WHERE id = " + id);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], GetParam().state);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConstraintStates, ::testing::ValuesIn(kStateCases),
                         [](const ::testing::TestParamInfo<StateCase>& info) {
                             return std::string(info.param.name);
                         });

// Orders whose lines cascade: deleting an order deletes its lines (and the notes of those
// lines, a cascade further), changing its id moves them; a NO ACTION key still stops a
// delete that would orphan its rows, undoing the cascades too. Triggers of the tables a
// cascade reaches fire after the statement's own.
TEST_F(ShopTest, CascadesCarryDeletesAndKeyChangesIntoReferencingRows) {
    ASSERT_EQ(
        describe(h.run(
            "ALTER TABLE tbLines ADD CONSTRAINT FK_tbLines_tbOrders FOREIGN KEY (orderId) REFERENCES "
            "tbOrders (id) ON DELETE CASCADE ON UPDATE CASCADE\n"
            "ALTER TABLE tbLineNotes DROP CONSTRAINT FK_tbLineNotes_tbLines\n"
            "ALTER TABLE tbLineNotes ADD CONSTRAINT FK_tbLineNotes_tbLines FOREIGN KEY (orderId, "
            "lineNumber) REFERENCES tbLines (orderId, lineNumber) ON DELETE CASCADE ON UPDATE CASCADE\n"
            "INSERT INTO tbLines VALUES (10, 2) INSERT INTO tbLineNotes VALUES (10, 2, 'fragile')\n"
            "CREATE TABLE tbLog (event varchar(40))")),
        "");
    ASSERT_EQ(describe(h.run("CREATE TRIGGER trLinesGone ON tbLines FOR DELETE AS INSERT INTO tbLog "
                             "SELECT 'line ' + CONVERT(varchar, orderId) + '/' + CONVERT(varchar, "
                             "lineNumber) FROM deleted")),
              "");
    ASSERT_EQ(describe(h.run("UPDATE tbOrders SET id = 20 WHERE id = 10")), "");
    EXPECT_EQ(h.rows("SELECT orderId, lineNumber FROM tbLines ORDER BY lineNumber"),
              (Rows{{"20", "1"}, {"20", "2"}}));
    EXPECT_EQ(h.rows("SELECT orderId, lineNumber, note FROM tbLineNotes"),
              (Rows{{"20", "2", "fragile"}}));

    ASSERT_EQ(describe(h.run("CREATE TABLE tbInvoices (orderId int NULL CONSTRAINT FK_tbInvoices "
                             "REFERENCES tbOrders (id)) INSERT INTO tbInvoices VALUES (20)")),
              "");
    EXPECT_EQ(messageLines(h.run("DELETE FROM tbOrders WHERE id = 20")),
              "547/16: DELETE statement conflicted with COLUMN REFERENCE constraint 'FK_tbInvoices'. "
              "The conflict occurred in database 'app', table 'tbInvoices', column 'orderId'.\n"
              "3621/0: The statement has been terminated.\n");
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM tbLines"), (Rows{{"2"}}));

    ASSERT_EQ(describe(h.run("DELETE FROM tbInvoices DELETE FROM tbOrders WHERE id = 20")), "");
    EXPECT_EQ(h.rows("SELECT (SELECT COUNT(*) FROM tbOrders), (SELECT COUNT(*) FROM tbLines), "
                     "(SELECT COUNT(*) FROM tbLineNotes)"),
              (Rows{{"0", "0", "0"}}));
    EXPECT_EQ(h.rows("SELECT event FROM tbLog ORDER BY event"),
              (Rows{{"line 20/1"}, {"line 20/2"}}));
}

TEST_F(ShopTest, TablesGoInTheirOrderAndTakeTheirRowsWithThem) {
    ASSERT_EQ(describe(h.run("DROP TABLE tbLineNotes DROP TABLE tbOrders DROP TABLE tbCustomers")),
              "");
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysforeignkeys"), (Rows{{"0"}}));
    EXPECT_EQ(orphanedCatalogRows(h), Lines{});
    // A table that references itself can go.
    ASSERT_EQ(describe(h.run("CREATE TABLE tbTree (id int NOT NULL PRIMARY KEY, parent int NULL "
                             "REFERENCES tbTree (id)) "
                             "INSERT INTO tbTree VALUES (1, NULL) INSERT INTO tbTree VALUES (2, 1) "
                             "INSERT INTO tbTree VALUES (3, 3)")),
              "");
    EXPECT_EQ(h.firstError("DELETE FROM tbTree WHERE id = 1").number, 547);
    ASSERT_EQ(describe(h.run("DELETE FROM tbTree WHERE id IN (1, 2)")), "");
    ASSERT_EQ(describe(h.run("DROP TABLE tbTree")), "");
}

TEST_F(ShopTest, ARenamedTableKeepsItsReferences) {
    ASSERT_EQ(h.firstError("EXEC sp_rename 'tbCustomers', 'tbClients'").number, 0);
    EXPECT_EQ(
        messageLines(h.run("INSERT INTO tbOrders (id, customerId, quantity) VALUES (11, 9, 1)")),
        "547/16: INSERT statement conflicted with COLUMN FOREIGN KEY constraint "
        "'FK_tbOrders_tbCustomers'. The "
        "conflict occurred in database 'app', table 'tbClients', column 'id'.\n3621/0: The "
        "statement has been "
        "terminated.\n");
    EXPECT_EQ(h.firstError("DROP TABLE tbClients").number, 3726);
}

}  // namespace
}  // namespace sandbox::testing
