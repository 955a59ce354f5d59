// sysdepends as SQL Server 2000 fills it when a view, procedure, function or trigger is
// created (a row per column used, readobj / resultobj / selall), sp_depends reading it,
// and the rows going with the objects.
#include <gtest/gtest.h>

#include "catalog_snapshot.h"
#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kSchema =
    "CREATE TABLE tbCustomers (id int NOT NULL PRIMARY KEY, name varchar(20) NOT NULL, city varchar(20) NULL) "
    "CREATE TABLE tbOrders (id int NOT NULL PRIMARY KEY, customerId int NOT NULL, total money NOT NULL) "
    "CREATE TABLE tbAudit (orderId int NULL, note varchar(20) NULL)";

class Dependencies : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(describe(h.run(kSchema)), "");
        for (const char* module :
             {"CREATE VIEW vwOrders AS SELECT o.id, c.name, o.total FROM tbOrders o JOIN tbCustomers c ON c.id = "
              "o.customerId",
              "CREATE VIEW vwCustomers AS SELECT * FROM tbCustomers",
              "CREATE VIEW vwNested AS SELECT c.name, total FROM (tbCustomers c INNER JOIN (tbOrders o INNER JOIN "
              "tbAudit a ON a.orderId = o.id) ON o.customerId = c.id)",
              "CREATE PROCEDURE spClose @id int AS UPDATE tbOrders SET total = 0 WHERE id = @id INSERT INTO tbAudit "
              "(orderId, note) VALUES (@id, 'closed') SELECT c.name FROM tbCustomers c, vwOrders v WHERE v.id = @id",
              "CREATE PROCEDURE spCloseAll AS EXEC spClose 1 DELETE FROM tbAudit",
              "CREATE TRIGGER trOrders ON tbOrders FOR DELETE AS INSERT INTO tbAudit (orderId) SELECT id FROM deleted",
              "CREATE PROCEDURE spLater AS SELECT a FROM tbNotYet"})
            ASSERT_EQ(describe(h.run(module)), "") << module;
    }

    // Each sysdepends row of a module as "object.column read/updated/selall".
    Rows dependsOf(const std::string& module) {
        return h.rows("SELECT o.name, COALESCE(c.name, '-'), d.readobj, d.resultobj, d.selall FROM sysdepends d "
                      "JOIN sysobjects o ON o.id = d.depid LEFT JOIN syscolumns c ON c.id = d.depid AND c.colid = "
                      "d.depnumber AND c.number = 0 WHERE d.id = OBJECT_ID('" + module + "') ORDER BY 1, 2");
    }

    EngineHarness h;
};

struct DependsCase {
    const char* module;
    Rows rows;
};

TEST_F(Dependencies, AreRecordedForEveryModuleAsItIsCreated) {
    const DependsCase cases[] = {
        {"vwOrders",
         {{"tbCustomers", "id", "1", "0", "0"},
          {"tbCustomers", "name", "1", "0", "0"},
          {"tbOrders", "customerId", "1", "0", "0"},
          {"tbOrders", "id", "1", "0", "0"},
          {"tbOrders", "total", "1", "0", "0"}}},
        {"vwCustomers",
         {{"tbCustomers", "city", "1", "0", "1"}, {"tbCustomers", "id", "1", "0", "1"}, {"tbCustomers", "name", "1", "0", "1"}}},
        // Joins nested in parentheses, as query designers write them.
        {"vwNested",
         {{"tbAudit", "orderId", "1", "0", "0"},
          {"tbCustomers", "id", "1", "0", "0"},
          {"tbCustomers", "name", "1", "0", "0"},
          {"tbOrders", "customerId", "1", "0", "0"},
          {"tbOrders", "id", "1", "0", "0"},
          {"tbOrders", "total", "1", "0", "0"}}},
        {"spClose",
         {{"tbAudit", "note", "0", "1", "0"},
          {"tbAudit", "orderId", "0", "1", "0"},
          {"tbCustomers", "name", "1", "0", "0"},
          {"tbOrders", "id", "0", "1", "0"},
          {"tbOrders", "total", "0", "1", "0"},
          {"vwOrders", "-", "1", "0", "0"}}},
        {"spCloseAll", {{"spClose", "-", "1", "0", "0"}, {"tbAudit", "-", "0", "1", "0"}}},
        {"trOrders", {{"tbAudit", "orderId", "0", "1", "0"}}},
        // Deferred name resolution: a table created later leaves no row.
        {"spLater", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(dependsOf(c.module), c.rows) << c.module;
    EXPECT_EQ(h.rows("SELECT DISTINCT number FROM sysdepends WHERE id = OBJECT_ID('spClose')"), (Rows{{"1"}}));
}

TEST_F(Dependencies, GoWithTheModuleAndWithWhatTheyUse) {
    ASSERT_EQ(describe(h.run("DROP VIEW vwCustomers")), "");
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysdepends WHERE id NOT IN (SELECT id FROM sysobjects)"), (Rows{{"0"}}));
    // Quirk (SQL Server 2000): a dropped table takes the rows that pointed at it; the
    // procedure keeps none for it even once the table is there again.
    ASSERT_EQ(describe(h.run("DROP TABLE tbAudit")), "");
    ASSERT_EQ(describe(h.run("CREATE TABLE tbAudit (orderId int NULL, note varchar(20) NULL)")), "");
    EXPECT_EQ(dependsOf("spClose"),
              (Rows{{"tbCustomers", "name", "1", "0", "0"},
                    {"tbOrders", "id", "0", "1", "0"},
                    {"tbOrders", "total", "0", "1", "0"},
                    {"vwOrders", "-", "1", "0", "0"}}));
    ASSERT_EQ(describe(h.run("ALTER PROCEDURE spClose @id int AS DELETE FROM tbAudit WHERE orderId = @id")), "");
    EXPECT_EQ(dependsOf("spClose"), (Rows{{"tbAudit", "orderId", "0", "1", "0"}}));
    EXPECT_EQ(orphanedCatalogRows(h), std::vector<std::string>{});
}

TEST_F(Dependencies, SpDependsReportsBothWays) {
    Response r = h.run("EXEC sp_depends 'vwOrders'");
    EXPECT_EQ(messageLines(r),
              "15459/10: In the current database, the specified object references the following:\n"
              "15460/10: In the current database, the specified object is referenced by the following:\n");
    // What the view uses (five columns of two tables), then what uses it.
    const Rows rows = rowsOf(r);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows.front(), (std::vector<std::string>{"dbo.tbCustomers", "user table", "no", "yes", "id"}));
    EXPECT_EQ(rows.back(), (std::vector<std::string>{"dbo.spClose", "stored procedure"}));
    EXPECT_EQ(messageLines(h.run("EXEC sp_depends 'spLater'")),
              "15461/10: Object does not reference any object, and no objects reference it.\n");
    EXPECT_EQ(messageLines(h.run("EXEC sp_depends 'nothing'")),
              "15009/16: The object 'nothing' does not exist in database 'app'.\n");
}

}  // namespace
}  // namespace sandbox::testing
