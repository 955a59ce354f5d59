#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "sandbox_server.h"
#include "temp_dir.h"

// The sandbox program as independent clients see it: FreeTDS tsql and bsqldb, and the
// FreeTDS ODBC driver through unixODBC isql, each pointed at 127.0.0.1:<port>.
namespace {

using testsupport::CommandResult;
using testsupport::SandboxOptions;
using testsupport::SandboxServer;
using testsupport::TempDir;
using testsupport::writeFile;

// A table with a column of every common type, one row of values and one of NULLs.
const char* const kEveryTypeScript = R"(CREATE TABLE everytype (
  id int IDENTITY(1,1) NOT NULL PRIMARY KEY,
  ti tinyint NULL, bi bigint NULL, b bit NULL, r real NULL, f float NULL,
  m money NULL, sm smallmoney NULL, dt datetime NULL, sdt smalldatetime NULL,
  de decimal(10,2) NULL, nu numeric(18,4) NULL, g uniqueidentifier NULL,
  c char(5) NULL, vc varchar(20) NULL, tx text NULL, nc nchar(4) NULL, nvc nvarchar(20) NULL,
  ntx ntext NULL, bn binary(4) NULL, vb varbinary(10) NULL, img image NULL)
GO
INSERT INTO everytype (ti, bi, b, r, f, m, sm, dt, sdt, de, nu, g, c, vc, tx, nc, nvc, ntx, bn, vb, img)
VALUES (255, 9000000000, 1, 1.5, -2.25, 12.3456, -3.5, '2004-03-07 14:05:09.997', '2004-03-07 14:05:00',
  -12345678.99, 3.1416, '00112233-4455-6677-8899-AABBCCDDEEFF', 'ab', 'O''Neil é €', 'long text',
  N'ção', N'日本', N'ntext ção', 0xDEAD, 0x0001FF, 0x0102)
GO
INSERT INTO everytype (ti) VALUES (NULL)
GO
)";

const char* const kEveryTypeColumns =
    "id, ti, bi, b, r, f, m, sm, dt, sdt, de, nu, g, c, vc, tx, nc, nvc, ntx, bn, vb, img";

class SandboxClients : public ::testing::Test {
protected:
    SandboxOptions withEveryType() {
        writeFile(m_scripts / "every_type.sql", kEveryTypeScript);
        SandboxOptions options;
        options.loads = {{"app", m_scripts / "every_type.sql"}};
        return options;
    }
    // Runs unixODBC isql through a private odbc.ini naming the FreeTDS driver; -e makes
    // isql use SQLExecDirect (its default, SQLPrepare, would be an RPC the sandbox refuses).
    CommandResult isql(const SandboxServer& server, const std::string& sql, const std::string& database) {
        writeFile(m_scripts / "odbc.ini", "[sandbox]\nDriver = /usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so\n"
                                          "Server = 127.0.0.1\nPort = " + std::to_string(server.port()) +
                                              "\nTDS_Version = 7.1\nDatabase = " + database +
                                              "\nClientCharset = UTF-8\n");
        return testsupport::runCommand({"isql", "-e", "-b", "-d|", "-c", "sandbox", "sa", server.password()}, sql,
                                       {"ODBCINI=" + (m_scripts / "odbc.ini").string()});
    }

    TempDir m_scripts{"scripts"};
};

TEST_F(SandboxClients, TsqlReadsEveryTypeAndCatalogRows) {
    SandboxServer server(withEveryType());
    const CommandResult result = server.tsql(std::string("select ") + kEveryTypeColumns +
                                                 " from everytype order by id\ngo\n"
                                                 "select o.name, o.xtype, c.name, c.length from sysobjects o "
                                                 "join syscolumns c on c.id = o.id where o.name = 'everytype' "
                                                 "and c.name in ('nvc', 'tx') order by c.colid\ngo\n",
                                             "app");
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ(
        "id\tti\tbi\tb\tr\tf\tm\tsm\tdt\tsdt\tde\tnu\tg\tc\tvc\ttx\tnc\tnvc\tntx\tbn\tvb\timg\n"
        "1\t255\t9000000000\t1\t1.5\t-2.25\t12.3456\t-3.5000\tMar  7 2004 02:05PM\tMar  7 2004 02:05PM\t"
        "-12345678.99\t3.1416\t00112233-4455-6677-8899-AABBCCDDEEFF\tab   \tO'Neil é €\tlong text\tção \t日本\t"
        "ntext ção\tdead0000\t0001ff\t0102\n"
        "2\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\t"
        "NULL\tNULL\tNULL\tNULL\n"
        "name\txtype\tname\tlength\n"
        "everytype\tU \ttx\t16\n"
        "everytype\tU \tnvc\t40\n",
        result.out);
}

TEST_F(SandboxClients, BsqldbShowsDateTimesToTheMillisecond) {
    SandboxServer server(withEveryType());
    const CommandResult result =
        server.bsqldb("select id, dt, m, vc, img from everytype order by id\n", "app", {"-q", "-t", "|"});
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ("1|Mar  7 2004  2:05:09:997PM|12.3456|O'Neil é €|0x0102\n2|NULL|NULL|NULL|NULL\n", result.out);
}

TEST_F(SandboxClients, OdbcDriverThroughIsqlReadsEveryType) {
    SandboxServer server(withEveryType());
    const CommandResult result =
        isql(server, std::string("select ") + kEveryTypeColumns + " from everytype order by id\n", "app");
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ(
        "id|ti|bi|b|r|f|m|sm|dt|sdt|de|nu|g|c|vc|tx|nc|nvc|ntx|bn|vb|img\n"
        "1|255|9000000000|1|1.5|-2.25|12.3456|-3.5000|2004-03-07 14:05:09.997|2004-03-07 14:05:00|-12345678.99|"
        "3.1416|00112233-4455-6677-8899-AABBCCDDEEFF|ab   |O'Neil é €|long text|ção |日本|ntext ção|dead0000|0001ff|"
        "0102\n"
        "2|||||||||||||||||||||\n",
        result.out);
}

TEST_F(SandboxClients, WrongPasswordIsRefusedWith18456) {
    SandboxOptions options;
    options.saPassword = "right";
    SandboxServer server(options);
    const CommandResult result = testsupport::runCommand(
        {"tsql", "-S", "127.0.0.1:" + std::to_string(server.port()), "-U", "sa", "-P", "wrong", "-o", "q"},
        "select 1\ngo\n", {"TDSVER=7.1"});
    EXPECT_NE(0, result.exitCode);
    EXPECT_NE(std::string::npos, (result.out + result.err).find("Login failed for user 'sa'."))
        << result.out << result.err;
    EXPECT_NE(std::string::npos, (result.out + result.err).find("18456")) << result.out << result.err;
}

TEST_F(SandboxClients, OdbcConnectionStringCarriesAPasswordWithDelimiters) {
    SandboxOptions options;
    options.saPassword = "p;w=d}x";
    SandboxServer server(options);
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::string text = server.odbcConnectionString("master");
    const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr,
                                          0, nullptr, SQL_DRIVER_NOPROMPT);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << text;
    if (SQL_SUCCEEDED(rc)) SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

TEST_F(SandboxClients, ConcurrentConnectionsKeepTheirOwnDatabase) {
    writeFile(m_scripts / "a.sql", "CREATE TABLE t (v varchar(10))\nGO\nINSERT INTO t VALUES ('in a')\n");
    writeFile(m_scripts / "b.sql", "CREATE TABLE t (v varchar(10))\nGO\nINSERT INTO t VALUES ('in b')\n");
    SandboxOptions options;
    options.loads = {{"a", m_scripts / "a.sql"}, {"b", m_scripts / "b.sql"}};
    SandboxServer server(options);
    std::vector<std::future<std::string>> runs;
    for (int i = 0; i < 6; ++i) {
        const std::string database = i % 2 == 0 ? "a" : "b";
        runs.push_back(std::async(std::launch::async, [&server, database] {
            return server.tsql("select v from t\ngo\nselect v from t\ngo\nselect v from t\ngo\n", database).out;
        }));
    }
    for (int i = 0; i < 6; ++i) {
        const std::string v = i % 2 == 0 ? "in a" : "in b";
        EXPECT_EQ("v\n" + v + "\nv\n" + v + "\nv\n" + v + "\n", runs[static_cast<std::size_t>(i)].get()) << i;
    }
    EXPECT_EQ("v\nin a\nv\nin b\n", server.tsql("select v from t\ngo\nuse b\ngo\nselect v from t\ngo\n", "a").out);
}

TEST_F(SandboxClients, SigtermStopsCleanlyAndARestartKeepsTheData) {
    TempDir data("data");
    SandboxOptions options;
    options.dataDir = data.path();
    {
        SandboxServer server(options);
        const CommandResult created = server.tsql(
            "CREATE DATABASE kept\ngo\nuse kept\ngo\nCREATE TABLE k (n int)\ngo\nINSERT INTO k VALUES (42)\ngo\n");
        EXPECT_EQ(0, created.exitCode) << created.out << created.err;
        EXPECT_EQ(0, server.stop()) << server.stderrText();
        EXPECT_EQ("", server.stderrText());
    }
    SandboxServer restarted(options);
    EXPECT_EQ("n\n42\n", restarted.tsql("select n from k\ngo\n", "kept").out);
}

TEST_F(SandboxClients, LoadErrorNamesFileBatchAndLineAndStopsTheStart) {
    TempDir data("data");
    writeFile(m_scripts / "broken.sql", "CREATE TABLE ok (n int)\nGO\n\n-- the second batch\nSELECT * FROM nosuch\nGO\n");
    const std::string script = (m_scripts / "broken.sql").string();
    const CommandResult result = testsupport::runCommand(
        {SandboxServer::programPath().string(), "--data", data.path().string(), "--load", "app=" + script});
    EXPECT_EQ(1, result.exitCode);
    EXPECT_EQ("", result.out);
    EXPECT_EQ("sqlupgrade-sandbox: " + script + ": batch 2, line 5: Msg 208, Level 16: Invalid object name 'nosuch'.\n",
              result.err);

    // The test fixture reports the same failure with the server's standard error.
    SandboxOptions options;
    options.loads = {{"app", m_scripts / "broken.sql"}};
    try {
        SandboxServer server(options);
        ADD_FAILURE() << "the server started";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("exited with code 1")) << e.what();
        EXPECT_NE(std::string::npos, std::string(e.what()).find("batch 2, line 5")) << e.what();
    }
}

TEST_F(SandboxClients, TraceRecordsEveryBatchOfARun) {
    SandboxOptions options;
    options.traceFile = m_scripts / "trace.txt";
    {
        SandboxServer server(options);
        server.tsql("select 1\ngo\nselect 'a\\b'\n+ 'c'\ngo\n");
        server.tsql("select 2\ngo\n");
    }
    // tsql sends each batch with the line feed that ended its last line.
    EXPECT_EQ("51\tselect 1\\n\n51\tselect 'a\\\\b'\\n+ 'c'\\n\n52\tselect 2\\n\n",
              testsupport::readFile(m_scripts / "trace.txt"));
}

}  // namespace
