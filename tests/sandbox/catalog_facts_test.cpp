// Catalog rows as SQL Server 2000 keeps them, after the statements that create them.
#include <gtest/gtest.h>

#include <fstream>

#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

TEST(CatalogColumns, RecordLengthsPrecisionNullabilityIdentityAndOrder) {
    EngineHarness h;
    h.run("CREATE TABLE [dbo].[tbC] ([id] [bigint] IDENTITY (10, 5) NOT NULL, [nome] [nvarchar] (50) NULL, "
          "[codigo] [char] (3) COLLATE Latin1_General_CS_AS NOT NULL, [valor] [decimal] (12, 4) NULL, "
          "[n] [numeric] (5) NULL, [quando] [smalldatetime] NULL, [foto] [image] NULL, [u] [uniqueidentifier] NULL)");
    EXPECT_EQ(h.rows("SELECT name, colid, colorder, length, xprec, xscale, prec, isnullable, colstat, status & 0x88, "
                     "collation FROM syscolumns WHERE id = object_id('tbC') ORDER BY colid"),
              (Rows{{"id", "1", "1", "8", "19", "0", "19", "0", "1", "128", "NULL"},
                    {"nome", "2", "2", "100", "0", "0", "50", "1", "0", "8", "SQL_Latin1_General_CP1_CI_AS"},
                    {"codigo", "3", "3", "3", "0", "0", "3", "0", "0", "0", "Latin1_General_CS_AS"},
                    {"valor", "4", "4", "9", "12", "4", "12", "1", "0", "8", "NULL"},
                    {"n", "5", "5", "5", "5", "0", "5", "1", "0", "8", "NULL"},
                    {"quando", "6", "6", "4", "16", "0", "16", "1", "0", "8", "NULL"},
                    {"foto", "7", "7", "16", "0", "0", "0", "1", "0", "8", "NULL"},
                    {"u", "8", "8", "16", "0", "0", "0", "1", "0", "8", "NULL"}}));
    // Identity seed and increment drive the generated values.
    h.run("INSERT INTO tbC (codigo) VALUES ('a') INSERT INTO tbC (codigo) VALUES ('b')");
    EXPECT_EQ(h.rows("SELECT id, codigo FROM tbC ORDER BY id"), (Rows{{"10", "a  "}, {"15", "b  "}}));
}

TEST(CatalogDefaults, NamedAndGeneratedDefaultsPointAtTheirText) {
    EngineHarness h;
    h.run("CREATE TABLE tbD (a int CONSTRAINT DF_tbD_a DEFAULT ((0)), b varchar(5) DEFAULT '', c datetime DEFAULT GETDATE(), "
          "d int DEFAULT (-1), e int)");
    Rows rows = h.rows("SELECT c.name, o.name, o.xtype, o.parent_obj - c.id, t.text, t.colid FROM syscolumns c "
                       "JOIN sysobjects o ON o.id = c.cdefault JOIN syscomments t ON t.id = o.id "
                       "WHERE c.id = object_id('tbD') ORDER BY c.colid");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"a", "DF_tbD_a", "D ", "0", "(0)", "1"}));
    EXPECT_EQ(rows[1][4], "('')");
    EXPECT_EQ(rows[2][4], "(getdate())");
    EXPECT_EQ(rows[3][4], "(-1)");
    // Generated names: DF__<table>__<column>__<8 hex digits of the default's id>.
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysobjects WHERE name LIKE 'DF__tbD__b__________' AND xtype = 'D'"),
              (Rows{{"1"}}));
    EXPECT_EQ(h.rows("SELECT cdefault FROM syscolumns WHERE id = object_id('tbD') AND name = 'e'"), (Rows{{"0"}}));
    // Defaults fill the columns an INSERT leaves out.
    h.run("INSERT INTO tbD (e) VALUES (5)");
    EXPECT_EQ(h.rows("SELECT a, b, d, e, CASE WHEN c IS NULL THEN 'no date' ELSE 'dated' END FROM tbD"),
              (Rows{{"0", "", "-1", "5", "dated"}}));
}

TEST(CatalogIndexes, HeapClusteredNonclusteredAndKeyRows) {
    EngineHarness h;
    h.run("CREATE TABLE tbHeap (a int, b text)\n"
          "CREATE TABLE tbK (x int NOT NULL, y int NOT NULL, z varchar(10), CONSTRAINT PK_tbK PRIMARY KEY (y, x))\n"
          "CREATE TABLE tbN (x int NOT NULL PRIMARY KEY NONCLUSTERED, z varchar(10))\n"
          "CREATE INDEX IX_tbK_z ON tbK (z)\n"
          "CREATE UNIQUE CLUSTERED INDEX IX_tbN_z ON tbN (z)\n"
          "CREATE INDEX IX_same ON tbHeap (a)\n"
          "CREATE INDEX IX_same ON tbN (x)");
    Rows rows = h.rows("SELECT o.name, i.indid, i.name, i.status, i.keycnt FROM sysindexes i JOIN sysobjects o ON o.id = i.id "
                       "WHERE o.xtype = 'U' ORDER BY o.name, i.indid");
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"tbHeap", "0", "tbHeap", "0", "0"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"tbHeap", "255", "ttbHeap", "0", "0"}));
    EXPECT_EQ(rows[3], (std::vector<std::string>{"tbK", "1", "PK_tbK", "2066", "2"}));
    EXPECT_EQ(rows[5], (std::vector<std::string>{"tbN", "1", "IX_tbN_z", "18", "1"}));
    EXPECT_EQ(rows[6][2].substr(0, 9), "PK__tbN__");
    EXPECT_EQ(rows[6][3], "2050");
    // The key's index is named after its constraint, and keyno follows the key order.
    EXPECT_EQ(h.rows("SELECT c.name, k.keyno FROM sysindexkeys k JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid "
                     "WHERE k.id = object_id('tbK') AND k.indid = 1 ORDER BY k.keyno"),
              (Rows{{"y", "1"}, {"x", "2"}}));
    EXPECT_EQ(h.rows("SELECT COUNT(*) FROM sysobjects WHERE xtype = 'PK' AND parent_obj = object_id('tbN') "
                     "AND name = (SELECT name FROM sysindexes WHERE id = object_id('tbN') AND indid = 2)"),
              (Rows{{"1"}}));
    EXPECT_EQ(h.firstError("CREATE INDEX IX_tbK_z ON tbK (x)").text, "There is already an index on table 'tbK' named 'IX_tbK_z'.");
}

TEST(CatalogUsers, FixedUsersAndRoles) {
    EngineHarness h;
    EXPECT_EQ(h.rows("SELECT uid, name, issqlrole, gid FROM sysusers ORDER BY uid"),
              (Rows{{"0", "public", "1", "0"},
                    {"1", "dbo", "0", "0"},
                    {"2", "guest", "0", "0"},
                    {"3", "INFORMATION_SCHEMA", "0", "0"},
                    {"4", "system_function_schema", "0", "0"},
                    {"16384", "db_owner", "1", "16384"},
                    {"16385", "db_accessadmin", "1", "16385"},
                    {"16386", "db_securityadmin", "1", "16386"},
                    {"16387", "db_ddladmin", "1", "16387"},
                    {"16389", "db_backupoperator", "1", "16389"},
                    {"16390", "db_datareader", "1", "16390"},
                    {"16391", "db_datawriter", "1", "16391"},
                    {"16392", "db_denydatareader", "1", "16392"},
                    {"16393", "db_denydatawriter", "1", "16393"}}));
}

TEST(CatalogFiles, ShowTheRealFileOrAWindowsPath) {
    EngineHarness h;
    Rows real = h.rows("SELECT TOP 1 filename FROM sysfiles");
    ASSERT_EQ(real.size(), 1u);
    std::string path = real[0][0].substr(0, real[0][0].find_last_not_of(' ') + 1);
    EXPECT_TRUE(std::filesystem::exists(path)) << path;
    h.restart(std::nullopt, true);
    EXPECT_EQ(h.rows("SELECT fileid, RTRIM(name), RTRIM(filename) FROM sysfiles ORDER BY fileid"),
              (Rows{{"1", "app_Data", "C:\\MSSQL\\Data\\app_Data.MDF"}, {"2", "app_Log", "C:\\MSSQL\\Data\\app_Log.LDF"}}));
}

TEST(CatalogModules, TextInChunksAndStatusFromSessionSettings) {
    EngineHarness h;
    std::string body(9000, 'x');
    std::string text = "CREATE PROCEDURE spLong AS\n/*" + body + "*/\nRETURN 0";
    h.run(text);
    Rows chunks = h.rows("SELECT colid, number, LEN(text) FROM syscomments WHERE id = object_id('spLong') ORDER BY colid");
    EXPECT_EQ(chunks, (Rows{{"1", "1", "4000"}, {"2", "1", "4000"}, {"3", "1", std::to_string(text.size() - 8000)}}));
    Response r = h.run("SELECT text FROM syscomments WHERE id = object_id('spLong') ORDER BY colid");
    std::string joined;
    for (const auto& row : std::get<RowSet>(r.items.front()).rows) joined += row[0].asText();
    EXPECT_EQ(joined, text);
    EXPECT_EQ(h.rows("SELECT xtype, status FROM sysobjects WHERE name = 'spLong'"), (Rows{{"P ", "1610612736"}}));

    h.run("CREATE FUNCTION dbo.fnT (@a int) RETURNS TABLE AS RETURN (SELECT 1 AS x)");
    h.run("CREATE FUNCTION fnS (@a int) RETURNS int AS BEGIN RETURN @a END");
    EXPECT_EQ(h.rows("SELECT name, xtype FROM sysobjects WHERE name LIKE 'fn%' ORDER BY name"),
              (Rows{{"fnS", "FN"}, {"fnT", "IF"}}));
    // A DB-Library login has ANSI_NULLS and QUOTED_IDENTIFIER off unless it sets them.
    auto dblib = h.login("app", false);
    dblib->executeBatch("CREATE PROCEDURE spOff AS RETURN 0");
    dblib->executeBatch("SET ANSI_NULLS ON SET QUOTED_IDENTIFIER ON");
    dblib->executeBatch("CREATE PROCEDURE spOn AS RETURN 0");
    EXPECT_EQ(h.rows("SELECT name, status FROM sysobjects WHERE name IN ('spOff', 'spOn') ORDER BY name"),
              (Rows{{"spOff", "0"}, {"spOn", "1610612736"}}));
    EXPECT_EQ(h.firstError("SELECT 1\nCREATE VIEW v AS SELECT 1 AS a").number, 111);
}

TEST(CatalogPersistence, RestartOnTheSameFolderKeepsEverything) {
    EngineHarness h;
    h.run("CREATE TABLE tbP (id int IDENTITY(1,1) PRIMARY KEY, v varchar(10) DEFAULT ('x'))\n"
          "INSERT INTO tbP (v) VALUES ('um')\nINSERT INTO tbP DEFAULT VALUES");
    h.run("CREATE VIEW vwP AS SELECT id, v FROM tbP");
    h.restart();
    EXPECT_EQ(h.rows("SELECT id, v FROM vwP ORDER BY id"), (Rows{{"1", "um"}, {"2", "x"}}));
    h.run("INSERT INTO tbP (v) VALUES ('tres')");
    EXPECT_EQ(h.rows("SELECT MAX(id) FROM tbP"), (Rows{{"3"}}));
    EXPECT_EQ(h.firstError("CREATE TABLE tbP (a int)").number, 2714);
}

TEST(ScriptLoading, ReportsFileBatchLineAndServerText) {
    EngineHarness h("master");
    auto dir = h.dataDir() / "scripts";
    std::filesystem::create_directories(dir);
    {
        std::ofstream out(dir / "bad.sql", std::ios::binary);
        out << "CREATE TABLE t1 (a int)\ngo\n\n-- second batch\nINSERT INTO t1 VALUES (1)\nSELECT nope FROM t1\nGO\n";
    }
    try {
        h.engine().loadScript("scripted", dir / "bad.sql");
        FAIL() << "the script should fail";
    } catch (const ScriptError& e) {
        EXPECT_EQ(e.batch, 2);
        EXPECT_EQ(e.line, 6);
        EXPECT_EQ(e.message, "Msg 207, Level 16: Invalid column name 'nope'.");
    }
    {
        // UTF-16 with a byte-order mark.
        std::u16string text = u"CREATE TABLE t2 (nome nvarchar(10))\r\nGO\r\nINSERT INTO t2 VALUES (N'Açaí')\r\n";
        std::ofstream out(dir / "utf16.sql", std::ios::binary);
        out.put(static_cast<char>(0xFF));
        out.put(static_cast<char>(0xFE));
        for (char16_t c : text) {
            out.put(static_cast<char>(c & 0xFF));
            out.put(static_cast<char>(c >> 8));
        }
    }
    h.engine().loadScript("scripted", dir / "utf16.sql");
    auto session = h.login("scripted");
    Response r = session->executeBatch("SELECT nome FROM t2");
    EXPECT_EQ(std::get<RowSet>(r.items.front()).rows.at(0).at(0).asText(), "Açaí");
}

}  // namespace
}  // namespace sandbox::testing
