// The shop fixture (tests/fixtures/shop.sql) through unixODBC and FreeTDS, as the product
// reaches a database: foreign keys, checks, the audit trigger, the alias type, the computed
// column, permissions and a script batch, each answering as SQL Server 2000 would.
#include <gtest/gtest.h>

#include "db/ado_types.h"
#include "db/error.h"
#include "db/odbc/odbc_connection.h"
#include "sandbox_server.h"

namespace {

constexpr const char* kDatabase = "shop";

class ShopOverOdbc : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testsupport::SandboxOptions options;
        options.loads.emplace_back(kDatabase, "tests/fixtures/shop.sql");
        s_server = new testsupport::SandboxServer(options);
    }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }

    void SetUp() override {
        m_db = db::odbc::openServer({"127.0.0.1," + std::to_string(s_server->port()), kDatabase,
                                     "sa", s_server->password()});
        // Each test changes the rows in a transaction it rolls back, so the next one finds
        // the fixture as loaded.
        m_db->execute("BEGIN TRANSACTION");
    }
    void TearDown() override { m_db->execute("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION"); }

    // The rows of a query, each row's columns joined by '|'.
    std::vector<std::string> rows(const std::string& query) {
        db::Recordset rs = m_db->open(query, db::CursorType::Static);
        std::vector<std::string> out;
        for (; !rs.eof(); rs.moveNext()) {
            std::string line;
            for (std::size_t i = 0; i < rs.fieldCount(); ++i)
                line +=
                    (i ? "|" : "") + (rs.field(i).value().isNull() ? std::string("NULL")
                                                                   : rs.field(i).value().toText());
            out.push_back(line);
        }
        return out;
    }

    // The error a statement raises (number 0 when it raises none).
    db::Error errorOf(const std::string& sql) {
        try {
            m_db->execute(sql);
        } catch (const db::Error& e) {
            return e;
        }
        return db::Error(0, "");
    }

    static testsupport::SandboxServer* s_server;
    std::unique_ptr<db::Connection> m_db;
};

testsupport::SandboxServer* ShopOverOdbc::s_server = nullptr;

TEST_F(ShopOverOdbc, ForeignKeysAndChecksRefuseRowsThatBreakThem) {
    const db::Error orphan = errorOf("INSERT INTO tbOrders (customerId, quantity) VALUES (9, 1)");
    EXPECT_EQ(orphan.number(), db::errc::kIntegrityViolation);
    EXPECT_EQ(orphan.nativeError(), 547);
    EXPECT_EQ(orphan.description(),
              "INSERT statement conflicted with COLUMN FOREIGN KEY constraint "
              "'FK_tbOrders_tbCustomers'. The conflict "
              "occurred in database 'shop', table 'tbCustomers', column 'id'.");
    const db::Error check = errorOf("UPDATE tbOrders SET quantity = 0 WHERE id = 1");
    EXPECT_EQ(check.nativeError(), 547);
    EXPECT_EQ(check.description(),
              "UPDATE statement conflicted with COLUMN CHECK constraint 'CK_tbOrders_quantity'. "
              "The conflict occurred "
              "in database 'shop', table 'tbOrders', column 'quantity'.");
    EXPECT_EQ(errorOf("DELETE FROM tbProducts WHERE code = 'INK002'").description(),
              "DELETE statement conflicted with COLUMN REFERENCE constraint "
              "'FK_tbOrderLines_tbProducts'. The conflict "
              "occurred in database 'shop', table 'tbOrderLines', column 'product'.");
    EXPECT_EQ(errorOf("DROP TABLE tbCustomers").description(),
              "Could not drop object 'tbCustomers' because it is referenced by a FOREIGN KEY "
              "constraint.");
    EXPECT_EQ(
        rows("SELECT o.name, r.name FROM sysforeignkeys k JOIN sysobjects o ON o.id = k.fkeyid "
             "JOIN sysobjects r ON r.id = k.rkeyid ORDER BY o.name, r.name"),
        (std::vector<std::string>{"tbOrderLines|tbOrders", "tbOrderLines|tbProducts",
                                  "tbOrders|tbCustomers"}));
    EXPECT_EQ(rows("SELECT name FROM sysobjects WHERE xtype = 'C' ORDER BY name"),
              (std::vector<std::string>{"CK_tbCustomers_creditLimit", "CK_tbOrders_quantity",
                                        "CK_tbOrders_status", "CK_tbProducts_price"}));
}

// A cancellation the trigger refuses rolls back the transaction it ran in: the earlier
// update of this test and its audit row go too.
TEST_F(ShopOverOdbc, TheAuditTriggerWritesARowAndRefusesALargeCancellation) {
    m_db->execute("UPDATE tbOrders SET status = 'S' WHERE id = 1");
    EXPECT_EQ(rows("SELECT orderId, action, quantity FROM tbOrderAudit ORDER BY id"),
              (std::vector<std::string>{"1|INSERT|10", "2|INSERT|150", "1|UPDATE|10"}));
    const db::Error refused = errorOf("UPDATE tbOrders SET status = 'C' WHERE id = 2");
    EXPECT_EQ(refused.nativeError(), 50000);
    EXPECT_EQ(refused.description(), "Orders over 100 units cannot be cancelled.");
    EXPECT_EQ(rows("SELECT id, status, @@TRANCOUNT FROM tbOrders ORDER BY id"),
              (std::vector<std::string>{"1|N|0", "2|S|0"}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM tbOrderAudit"), (std::vector<std::string>{"2"}));
}

TEST_F(ShopOverOdbc, TheAliasTypeAndTheComputedColumn) {
    EXPECT_EQ(rows("SELECT c.name, t.name, c.iscomputed FROM syscolumns c JOIN systypes t ON "
                   "t.xusertype = c.xusertype "
                   "WHERE c.name IN ('code', 'total') AND c.id IN (OBJECT_ID('tbCustomers'), "
                   "OBJECT_ID('tbOrderLines')) "
                   "ORDER BY c.name"),
              (std::vector<std::string>{"code|CustomerCode|0", "total|money|1"}));
    db::Recordset lines =
        m_db->open("SELECT total FROM tbOrderLines ORDER BY lineNumber", db::CursorType::Static);
    EXPECT_EQ(lines.field(0).type(), db::ado::kCurrency);
    EXPECT_EQ(lines.field(0).value().toText(), "25");
    lines.close();
    EXPECT_EQ(rows("SELECT total FROM vwOrderTotals"), (std::vector<std::string>{"49"}));
    EXPECT_EQ(errorOf("UPDATE tbOrderLines SET total = 1").description(),
              "Column 'total' cannot be modified because it is a computed column.");
}

TEST_F(ShopOverOdbc, PermissionsAreInSysprotects) {
    EXPECT_EQ(
        rows("SELECT o.name, u.name, p.action, p.protecttype FROM sysprotects p JOIN sysobjects o "
             "ON o.id = p.id "
             "JOIN sysusers u ON u.uid = p.uid ORDER BY o.name, u.name, p.action"),
        (std::vector<std::string>{"tbCustomers|public|193|205", "tbOrders|public|196|206",
                                  "tbOrders|rlShop|193|205", "tbOrders|rlShop|195|205",
                                  "tbOrders|rlShop|197|205", "vwOrderTotals|public|193|205"}));
}

TEST_F(ShopOverOdbc, AScriptBatchRunsItsControlFlow) {
    EXPECT_EQ(rows("DECLARE @n int, @total money\nSET @n = 0\nSET @total = $0\n"
                   "WHILE @n < 3\nBEGIN\n  SET @n = @n + 1\n  SELECT @total = @total + price FROM "
                   "tbProducts "
                   "WHERE code = 'INK002'\nEND\n"
                   "IF OBJECTPROPERTY(OBJECT_ID('tbOrders'), 'TableHasForeignKey') = 1 "
                   "AND COLUMNPROPERTY(OBJECT_ID('tbOrderLines'), 'total', 'IsComputed') = 1\n"
                   "  SELECT @n, @total\nELSE\n  RAISERROR('not reached', 16, 1)"),
              (std::vector<std::string>{"3|9"}));
    const db::Error raised =
        errorOf("IF DB_NAME() = 'shop' RAISERROR('Stop at %s.', 16, 1, 'shop')");
    EXPECT_EQ(raised.nativeError(), 50000);
    EXPECT_EQ(raised.description(), "Stop at shop.");
}

}  // namespace
