// The public pubs and Northwind install scripts load whole into the sandbox, giving the
// catalog SQL Server 2000 gives them (the counts below are read off the scripts), and
// the scripts that make an older copy of each run after them.
#include <gtest/gtest.h>

#include <map>

#include "engine_harness.h"
#include "sample_databases.h"

namespace sandbox::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// What one install script creates, counted from its text.
struct ExpectedCatalog {
    const char* name;
    const char* database;
    int tables, columns, indexes, primaryKeys, foreignKeys, checks, defaults, triggers, views,
        procedures, aliasTypes;
    std::map<std::string, int> rows;  // rows per table
};

const ExpectedCatalog kPubs{
    "pubs", "pubs", 11, 64, 16, 9, 10, 6, 9, 1, 1, 4, 3,
    {{"authors", 23}, {"discounts", 3}, {"employee", 43}, {"jobs", 14}, {"pub_info", 8},
     {"publishers", 8}, {"roysched", 86}, {"sales", 21}, {"stores", 6}, {"titleauthor", 25},
     {"titles", 18}}};

const ExpectedCatalog kNorthwind{
    "Northwind", "Northwind", 13, 88, 39, 13, 13, 8, 9, 0, 16, 7, 0,
    {{"Categories", 8}, {"CustomerCustomerDemo", 0}, {"CustomerDemographics", 0},
     {"Customers", 91}, {"Employees", 9}, {"EmployeeTerritories", 49}, {"Order Details", 2155},
     {"Orders", 830}, {"Products", 77}, {"Region", 4}, {"Shippers", 3}, {"Suppliers", 29},
     {"Territories", 53}}};

// The catalog counts of the current database, in ExpectedCatalog's order.
std::vector<int> catalogCounts(Session& session) {
    auto count = [&](const std::string& sql) {
        Response r = session.executeBatch(sql);
        for (const auto& item : r.items)
            if (const auto* rs = std::get_if<RowSet>(&item)) return static_cast<int>(rs->rows.at(0).at(0).asInteger());
        ADD_FAILURE() << describe(r) << sql;
        return -1;
    };
    auto objects = [&](const char* xtype) {
        return count(std::string("SELECT COUNT(*) FROM sysobjects WHERE xtype = '") + xtype +
                     "' AND OBJECTPROPERTY(id, 'IsMSShipped') = 0");
    };
    return {objects("U"),
            count("SELECT COUNT(*) FROM syscolumns c JOIN sysobjects o ON o.id = c.id WHERE o.xtype = 'U'"),
            count("SELECT COUNT(*) FROM sysindexes i JOIN sysobjects o ON o.id = i.id WHERE o.xtype = 'U' "
                  "AND i.indid BETWEEN 1 AND 250"),
            objects("PK"), objects("F"), objects("C"), objects("D"), objects("TR"), objects("V"), objects("P"),
            count("SELECT COUNT(*) FROM systypes WHERE xusertype > 256")};
}

std::map<std::string, int> rowsPerTable(Session& session) {
    std::map<std::string, int> rows;
    Response names = session.executeBatch("SELECT name FROM sysobjects WHERE xtype = 'U' ORDER BY name");
    for (const auto& row : std::get<RowSet>(names.items.front()).rows) {
        const std::string table = row[0].asText();
        Response r = session.executeBatch("SELECT COUNT(*) FROM [" + table + "]");
        rows[table] = static_cast<int>(std::get<RowSet>(r.items.front()).rows.at(0).at(0).asInteger());
    }
    return rows;
}

// Loads pubs (its script creates its database from master) and Northwind (its script
// fills the database it runs in) into one engine.
void loadBoth(EngineHarness& h, const testsupport::SampleDatabases& samples) {
    h.engine().loadScript("master", samples.pubs);
    h.engine().loadScript("Northwind", samples.northwind);
}

TEST(SampleDatabases, LoadWholeWithSqlServersCatalogCounts) {
    SQLUPGRADE_REQUIRE_SAMPLE_DATABASES(samples);
    EngineHarness h("master");
    ASSERT_NO_THROW(loadBoth(h, samples));
    for (const ExpectedCatalog* expected : {&kPubs, &kNorthwind}) {
        SCOPED_TRACE(expected->name);
        auto session = h.login(expected->database);
        EXPECT_EQ(catalogCounts(*session),
                  (std::vector<int>{expected->tables, expected->columns, expected->indexes, expected->primaryKeys,
                                    expected->foreignKeys, expected->checks, expected->defaults, expected->triggers,
                                    expected->views, expected->procedures, expected->aliasTypes}));
        EXPECT_EQ(rowsPerTable(*session), expected->rows);
    }
}

// The scripts that make an older copy of each database run whole after its install
// script, and leave the differences they describe.
TEST(SampleDatabases, OlderCopiesAreMadeByTheirScripts) {
    SQLUPGRADE_REQUIRE_SAMPLE_DATABASES(samples);
    EngineHarness h("master");
    ASSERT_NO_THROW(loadBoth(h, samples));
    const std::filesystem::path fixtures = std::filesystem::path(SQLUPGRADE_SOURCE_DIR) / "tests/fixtures/samples";
    ASSERT_NO_THROW(h.engine().loadScript("pubs", fixtures / "pubs_older.sql"));
    ASSERT_NO_THROW(h.engine().loadScript("Northwind", fixtures / "northwind_older.sql"));

    auto pubs = h.login("pubs");
    auto facts = [](Session& session, const std::string& query) {
        Response r = session.executeBatch(query);
        EXPECT_EQ(describe(r), "") << query;
        return rowsOf(r);
    };
    EXPECT_EQ(facts(*pubs,
                    "SELECT COLUMNPROPERTY(OBJECT_ID('authors'), 'contract', 'AllowsNull'), "
                    "COLUMNPROPERTY(OBJECT_ID('publishers'), 'pub_name', 'Precision'), "
                    "(SELECT collation FROM syscolumns WHERE id = OBJECT_ID('authors') AND name = 'city'), "
                    "OBJECTPROPERTY(OBJECT_ID('jobs'), 'TableHasIdentity'), "
                    "(SELECT COUNT(*) FROM sysreferences WHERE fkeyid = OBJECT_ID('employee') AND rkeyid = "
                    "OBJECT_ID('jobs')), "
                    "(SELECT COUNT(*) FROM syscomments WHERE id = OBJECT_ID('titleview') AND text LIKE '%au_ord%'), "
                    "(SELECT COUNT(*) FROM sysprotects WHERE uid = USER_ID('pubs_readers')), "
                    "(SELECT COUNT(*) FROM stores), (SELECT COUNT(*) FROM jobs)"),
              (Rows{{"NULL", "30", "Latin1_General_CI_AI", "0", "1", "0", "2", "8", "14"}}));
    EXPECT_EQ(facts(*pubs, "EXEC byroyalty 40"), (Rows{{"213-46-8915"}, {"267-41-2394"}, {"672-71-3249"}}));

    auto northwind = h.login("Northwind");
    EXPECT_EQ(facts(*northwind,
                    "SELECT COLUMNPROPERTY(OBJECT_ID('Employees'), 'PhotoPath', 'AllowsNull'), "
                    "COLUMNPROPERTY(OBJECT_ID('Shippers'), 'ShipperID', 'IsIdentity'), "
                    "COLUMNPROPERTY(OBJECT_ID('Shippers'), 'CompanyName', 'Precision'), "
                    "OBJECTPROPERTY(OBJECT_ID('FK_Orders_Shippers'), 'IsForeignKey'), "
                    "(SELECT COUNT(*) FROM sysprotects WHERE uid = USER_ID('NorthwindReaders')), "
                    "(SELECT COUNT(*) FROM Customers), (SELECT COUNT(*) FROM Orders WHERE CustomerID = 'OLIVR')"),
              (Rows{{"NULL", "0", "30", "1", "3", "94", "1"}}));
    EXPECT_EQ(facts(*northwind, "EXEC CustOrderHist 'OLIVR'"), (Rows{{"Queso Cabrales", "10"}}));
}

}  // namespace
}  // namespace sandbox::testing
