// Alias types (sp_addtype, sp_droptype), computed columns and permissions (GRANT, REVOKE,
// DENY) with the catalog rows SQL Server 2000 keeps for them.
#include <gtest/gtest.h>

#include "catalog_snapshot.h"
#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Lines = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

TEST(AliasTypes, LiveInSystypesAndGiveColumnsTheirPhysicalType) {
    EngineHarness h;
    EXPECT_EQ(messageLines(h.run("EXEC sp_addtype CustomerCode, 'varchar(10)', 'NOT NULL'\n"
                                 "EXEC sp_addtype Amount, 'decimal(12,2)', 'NULL'")),
              "15449/10: Type added.\n15449/10: Type added.\n");
    EXPECT_EQ(h.rows("SELECT name, xtype, xusertype, length, xprec, xscale, status, allownulls, "
                     "variable, usertype "
                     "FROM systypes WHERE xusertype > 256 ORDER BY xusertype"),
              (Rows{{"CustomerCode", "167", "257", "10", "0", "0", "1", "0", "1", "257"},
                    {"Amount", "106", "258", "9", "12", "2", "0", "1", "0", "258"}}));
    ASSERT_EQ(describe(h.run(
                  "CREATE TABLE tbC (code CustomerCode, spare CustomerCode NULL, credit Amount)\n"
                  "INSERT INTO tbC VALUES ('ACME-PT', NULL, 12.5)")),
              "");
    // The type the column was declared with, and its physical type as capture queries join it.
    EXPECT_EQ(
        h.rows(
            "SELECT c.name, u.name, p.name, c.length, c.isnullable FROM syscolumns c "
            "JOIN systypes u ON u.xusertype = c.xusertype JOIN systypes p ON p.xusertype = c.xtype "
            "WHERE c.id = OBJECT_ID('tbC') ORDER BY c.colid"),
        (Rows{{"code", "CustomerCode", "varchar", "10", "0"},
              {"spare", "CustomerCode", "varchar", "10", "1"},
              {"credit", "Amount", "decimal", "9", "1"}}));
    // A variable of an alias type takes its size.
    EXPECT_EQ(h.rows("DECLARE @c CustomerCode SET @c = 'PORTO-NORTE-SUL' SELECT @c"),
              (Rows{{"PORTO-NORT"}}));
}

TEST(AliasTypes, DropOnlyWhenUnused) {
    EngineHarness h;
    ASSERT_EQ(h.firstError("EXEC sp_addtype CustomerCode, 'varchar(10)', 'NOT NULL'\n"
                           "EXEC sp_addtype Unused, 'int'\nCREATE TABLE tbC (code CustomerCode)")
                  .number,
              0);
    EXPECT_EQ(messageLines(h.run("EXEC sp_droptype 'CustomerCode'")),
              "15180/16: Cannot drop. The data type is being used.\n");
    EXPECT_EQ(messageLines(h.run("EXEC sp_droptype 'Unused'")), "");
    EXPECT_EQ(h.rows("SELECT name FROM systypes WHERE xusertype > 256"), (Rows{{"CustomerCode"}}));
}

struct RefusalCase {
    const char* name;
    const char* batch;
    const char* messages;
};

class AliasTypeRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(AliasTypeRefusals, AreSqlServersErrors) {
    EngineHarness h;
    ASSERT_EQ(h.firstError("EXEC sp_addtype CustomerCode, 'varchar(10)'").number, 0);
    EXPECT_EQ(messageLines(h.run(GetParam().batch)), GetParam().messages);
}

const RefusalCase kAliasTypeRefusals[] = {
    {"NameTaken", "EXEC sp_addtype CustomerCode, 'int'",
     "15029/16: The data type 'CustomerCode' already exists in the current database.\n"},
    {"NameOfABuiltInType", "EXEC sp_addtype varchar, 'int'",
     "15029/16: The data type 'varchar' already exists in the current database.\n"},
    {"UnknownPhysicalType", "EXEC sp_addtype Other, 'varchar2(10)'",
     "15036/16: The data type 'varchar2(10)' does not exist.\n"},
    {"Timestamp", "EXEC sp_addtype Other, 'timestamp'",
     "15038/16: User-defined data types based on timestamp are not allowed.\n"},
    {"DropOfAnUnknownType", "EXEC sp_droptype 'Other'",
     "15036/16: The data type 'Other' does not exist.\n"},
    {"WidthOfAnAliasType", "CREATE TABLE tbC (code CustomerCode(5))",
     "2716/16: Column or parameter #1: Cannot specify a column width on data type CustomerCode.\n"},
    // The collation belongs to the type (the database's when sp_addtype ran).
    {"CollationOfAnAliasTypeColumn", "CREATE TABLE tbC (code CustomerCode COLLATE Latin1_General_CS_AS NULL)",
     "452/16: COLLATE clause cannot be used on user-defined data types.\n"},
    {"CollationOfAnAlteredAliasTypeColumn",
     "CREATE TABLE tbC (code varchar(10) NULL) ALTER TABLE tbC ALTER COLUMN code CustomerCode COLLATE "
     "Latin1_General_CS_AS NULL",
     "452/16: COLLATE clause cannot be used on user-defined data types.\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, AliasTypeRefusals, ::testing::ValuesIn(kAliasTypeRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                             return std::string(info.param.name);
                         });

class ComputedColumns : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(describe(h.run("CREATE TABLE tbL (id int NOT NULL, quantity smallint NOT NULL, "
                                 "unitPrice money NOT NULL, "
                                 "total AS quantity * unitPrice, label AS 'L' + "
                                 "CONVERT(varchar(10), id), note varchar(10) NULL)\n"
                                 "INSERT INTO tbL (id, quantity, unitPrice) VALUES (1, 3, $2.50)\n"
                                 "INSERT INTO tbL VALUES (2, 4, $1.25, 'x')")),
                  "");
    }
    EngineHarness h;
};

TEST_F(ComputedColumns, AreComputedAndKeptInTheCatalog) {
    EXPECT_EQ(h.rows("SELECT id, total, label FROM tbL ORDER BY id"),
              (Rows{{"1", "7.5000", "L1"}, {"2", "5.0000", "L2"}}));
    EXPECT_EQ(h.rows("SELECT c.name, t.name, c.iscomputed, c.colstat, c.isnullable, m.text FROM "
                     "syscolumns c "
                     "JOIN systypes t ON t.xusertype = c.xusertype LEFT JOIN syscomments m ON m.id "
                     "= c.id AND "
                     "m.number = c.colid WHERE c.id = OBJECT_ID('tbL') AND c.iscomputed = 1 ORDER "
                     "BY c.colid"),
              (Rows{{"total", "money", "1", "4", "1", "(quantity * unitPrice)"},
                    {"label", "varchar", "1", "4", "1", "('L' + CONVERT(varchar(10), id))"}}));
    EXPECT_EQ(h.rows("SELECT COLUMNPROPERTY(OBJECT_ID('tbL'), 'total', 'IsComputed')"),
              (Rows{{"1"}}));
}

TEST_F(ComputedColumns, AreNotWritten) {
    EXPECT_EQ(messageLines(
                  h.run("INSERT INTO tbL (id, quantity, unitPrice, total) VALUES (3, 1, $1, $1)")),
              "271/16: Column 'total' cannot be modified because it is a computed column.\n");
    EXPECT_EQ(messageLines(h.run("UPDATE tbL SET label = 'x'")),
              "271/16: Column 'label' cannot be modified because it is a computed column.\n");
    EXPECT_EQ(messageLines(h.run("ALTER TABLE tbL ALTER COLUMN quantity int NOT NULL")),
              "5074/16: The column 'total' is dependent on column 'quantity'.\n4922/16: ALTER "
              "TABLE ALTER COLUMN "
              "quantity failed because one or more objects access this column.\n");
}

TEST_F(ComputedColumns, SurviveTheTableBeingRebuiltAndCanBeAdded) {
    ASSERT_EQ(describe(h.run("ALTER TABLE tbL ALTER COLUMN note varchar(30) NULL\n"
                             "ALTER TABLE tbL ADD doubled AS total * 2")),
              "");
    EXPECT_EQ(h.rows("SELECT id, total, doubled, note FROM tbL ORDER BY id"),
              (Rows{{"1", "7.5000", "15.0000", "NULL"}, {"2", "5.0000", "10.0000", "x"}}));
}

TEST(Permissions, AreKeptInSysprotectsAndGoWithTheirObject) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(
                  "CREATE TABLE tbO (id int, qty int, note varchar(10)) EXEC sp_addrole 'rlShop'")),
              "");
    ASSERT_EQ(describe(h.run("CREATE PROCEDURE spO AS SELECT 1")), "");
    ASSERT_EQ(
        describe(h.run(
            "GRANT SELECT, INSERT ON tbO TO public\nGRANT UPDATE (qty, note) ON tbO TO rlShop\n"
            "DENY DELETE ON tbO TO guest\nGRANT EXECUTE ON spO TO rlShop WITH GRANT OPTION\n"
            "GRANT CREATE TABLE TO rlShop\nREVOKE INSERT ON tbO FROM public")),
        "");
    EXPECT_EQ(h.rows("SELECT COALESCE(o.name, '-'), u.name, p.action, p.protecttype, p.columns, "
                     "p.grantor FROM sysprotects p "
                     "JOIN sysusers u ON u.uid = p.uid LEFT JOIN sysobjects o ON o.id = p.id ORDER "
                     "BY o.name, p.action"),
              (Rows{{"-", "rlShop", "198", "205", "NULL", "1"},
                    {"spO", "rlShop", "224", "204", "NULL", "1"},
                    {"tbO", "public", "193", "205", "0x01", "1"},
                    {"tbO", "guest", "196", "206", "NULL", "1"},
                    {"tbO", "rlShop", "197", "205", "0x0C", "1"}}));
    ASSERT_EQ(describe(h.run("GRANT ALL ON tbO TO rlShop")), "");
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysprotects WHERE id = OBJECT_ID('tbO') AND uid = "
                     "USER_ID('rlShop')"),
              (Rows{{"5"}}));
    ASSERT_EQ(describe(h.run("DROP TABLE tbO")), "");
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysprotects WHERE id <> 0 AND id <> OBJECT_ID('spO')"),
              (Rows{{"0"}}));
    EXPECT_EQ(orphanedCatalogRows(h), Lines{});
}

// Column permissions: each protecttype's row holds the columns it covers; a GRANT takes
// its columns out of the DENY row and the reverse; a whole-table permission covers the
// columns to come (bit 0); REVOKE takes columns away and drops an emptied row.
struct ProtectCase {
    const char* name;
    const char* batch;
    Rows rows;  // grantee, action, protecttype, columns
};

const ProtectCase kProtectCases[] = {
    {"ColumnGrantsMerge", "GRANT SELECT (qty) ON tbO TO rlShop GRANT SELECT (note) ON tbO TO rlShop",
     {{"rlShop", "193", "205", "0x0C"}}},
    {"DenyOfAColumnBesideATableGrant", "GRANT SELECT ON tbO TO guest DENY SELECT (note) ON tbO TO guest",
     {{"guest", "193", "205", "0x01"}, {"guest", "193", "206", "0x08"}}},
    {"GrantTakesTheColumnBackFromDeny", "DENY SELECT (qty, note) ON tbO TO guest GRANT SELECT (qty) ON tbO TO guest",
     {{"guest", "193", "205", "0x04"}, {"guest", "193", "206", "0x08"}}},
    {"RevokeOfOneColumnOfATableGrant", "GRANT UPDATE ON tbO TO rlShop REVOKE UPDATE (qty) ON tbO FROM rlShop",
     {{"rlShop", "197", "205", "0x0A"}}},
    {"RevokeOfTheLastColumn", "GRANT UPDATE (qty) ON tbO TO rlShop REVOKE UPDATE (qty) ON tbO FROM rlShop", {}},
    {"WithGrantOption", "GRANT SELECT ON tbO TO rlShop WITH GRANT OPTION GRANT SELECT ON tbO TO rlShop",
     {{"rlShop", "193", "204", "0x01"}}},
    {"RevokeGrantOptionKeepsThePermission",
     "GRANT SELECT ON tbO TO rlShop WITH GRANT OPTION REVOKE GRANT OPTION FOR SELECT ON tbO FROM rlShop CASCADE",
     {{"rlShop", "193", "205", "0x01"}}},
    {"RevokeCascade", "GRANT INSERT ON tbO TO rlShop WITH GRANT OPTION REVOKE INSERT ON tbO FROM rlShop CASCADE", {}},
};

class ColumnPermissions : public ::testing::TestWithParam<ProtectCase> {};

TEST_P(ColumnPermissions, KeepSysprotectsAsSqlServer2000Does) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run("CREATE TABLE tbO (id int, qty int, note varchar(10)) EXEC sp_addrole 'rlShop'")), "");
    ASSERT_EQ(describe(h.run(GetParam().batch)), "");
    EXPECT_EQ(h.rows("SELECT u.name, p.action, p.protecttype, p.columns FROM sysprotects p JOIN sysusers u ON u.uid "
                     "= p.uid WHERE p.id = OBJECT_ID('tbO') ORDER BY u.name, p.action, p.protecttype"),
              GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(Cases, ColumnPermissions, ::testing::ValuesIn(kProtectCases),
                         [](const ::testing::TestParamInfo<ProtectCase>& info) { return std::string(info.param.name); });

TEST(Permissions, SpHelprotectReportsThemByColumn) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run("CREATE TABLE tbO (id int, qty int, note varchar(10)) EXEC sp_addrole 'rlShop'")), "");
    ASSERT_EQ(describe(h.run("CREATE VIEW vwO AS SELECT id FROM tbO")), "");
    ASSERT_EQ(describe(h.run("GRANT SELECT ON vwO TO rlShop WITH GRANT OPTION GRANT UPDATE (qty, note) ON tbO TO "
                             "rlShop DENY DELETE ON tbO TO guest GRANT CREATE VIEW TO rlShop")),
              "");
    Response r = h.run("EXEC sp_helprotect");
    ASSERT_EQ(describe(r), "");
    EXPECT_EQ(rowsOf(r), (Rows{{".", ".", "rlShop", "dbo", "Grant", "Create View", "."},
                          {"dbo", "tbO", "guest", "dbo", "Deny", "Delete", "."},
                          {"dbo", "tbO", "rlShop", "dbo", "Grant", "Update", "note"},
                          {"dbo", "tbO", "rlShop", "dbo", "Grant", "Update", "qty"},
                          {"dbo", "vwO", "rlShop", "dbo", "Grant_WGO", "Select", "(All+New)"}}));
    EXPECT_EQ(messageLines(h.run("EXEC sp_helprotect 'tbO', 'public'")),
              "15330/11: There are no matching rows on which to report.\n");
    EXPECT_EQ(messageLines(h.run("REVOKE SELECT ON vwO FROM rlShop")),
              "4611/16: To revoke or deny grantable privileges, specify the CASCADE option.\n");
}

class PermissionRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(PermissionRefusals, AreSqlServersErrors) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run("CREATE TABLE tbO (id int)")), "");
    EXPECT_EQ(messageLines(h.run(GetParam().batch)), GetParam().messages);
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysprotects"), (Rows{{"0"}}));
}

const RefusalCase kPermissionRefusals[] = {
    {"UnknownGrantee", "GRANT SELECT ON tbO TO nobody",
     "4604/16: There is no such user or group 'nobody'.\n"},
    {"UnknownObject", "GRANT SELECT ON tbNone TO public",
     "208/16: Invalid object name 'tbNone'.\n"},
    {"ExecuteOnATable", "GRANT EXECUTE ON tbO TO public",
     "4606/16: Granted or revoked privilege EXECUTE is not compatible with object.\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, PermissionRefusals, ::testing::ValuesIn(kPermissionRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace sandbox::testing
