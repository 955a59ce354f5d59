#include "db/odbc/connection_string.h"

#include <gtest/gtest.h>

#include "db/error.h"
#include "db/odbc/odbc_connection.h"

namespace db::odbc {
namespace {

struct StringCase {
    const char* name;
    ServerSettings settings;
    std::string driver;
    std::string expected;
};

class ConnectionStringBuilds : public ::testing::TestWithParam<StringCase> {};

TEST_P(ConnectionStringBuilds, EveryValueBracedTheWayTheDriverReadsIt) {
    EXPECT_EQ(connectionString(GetParam().settings, GetParam().driver), GetParam().expected);
}

const std::string kTdsTail = "TDS_Version={7.1};ClientCharset={UTF-8};";

INSTANTIATE_TEST_SUITE_P(
    ConnectionString, ConnectionStringBuilds,
    ::testing::Values(
        StringCase{
            "FreeTdsPlainHost",
            {"db01", "Gestao", "sa", "pw"},
            "FreeTDS",
            "Driver={FreeTDS};Server={db01};Database={Gestao};UID={sa};PWD={pw};" + kTdsTail},
        StringCase{"FreeTdsPortApart",
                   {"10.0.0.5, 1444", "Gestao", "sa", "pw"},
                   "FreeTDS",
                   "Driver={FreeTDS};Server={10.0.0.5};Port={1444};Database={Gestao};UID={sa};"
                   "PWD={pw};" +
                       kTdsTail},
        StringCase{"FreeTdsInstance",
                   {"db01\\SQL2000", "Gestao", "sa", "pw"},
                   "FreeTDS",
                   "Driver={FreeTDS};Server={db01\\SQL2000};Database={Gestao};UID={sa};PWD={pw};" +
                       kTdsTail},
        // tdsodbc takes a '}' inside braces as it is, and ';' and '=' are plain characters.
        StringCase{
            "FreeTdsPasswordWithSeparators",
            {"db01", "Gestao", "sa", "p;w=d}x"},
            "FreeTDS",
            "Driver={FreeTDS};Server={db01};Database={Gestao};UID={sa};PWD={p;w=d}x};" + kTdsTail},
        StringCase{"FreeTdsByLibraryPath",
                   {"db01", "", "sa", ""},
                   "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so",
                   "Driver={/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so};Server={db01};"
                   "Database={};UID={sa};PWD={};" +
                       kTdsTail},
        StringCase{"StandardDriverDoublesBraces",
                   {"db01,1433", "Ges}tao", "sa", "p;w=d}x"},
                   "ODBC Driver 18 for SQL Server",
                   "Driver={ODBC Driver 18 for SQL Server};Server={db01,1433};Database={Ges}}tao};"
                   "UID={sa};PWD={p;w=d}}x};"},
        StringCase{"StandardDriverPortWinsOverInstance",
                   {"db01\\A,1500", "d", "u", "}};"},
                   "ODBC Driver 18 for SQL Server",
                   "Driver={ODBC Driver 18 for SQL Server};Server={db01,1500};Database={d};UID={u};"
                   "PWD={}}}};};"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    std::string password;
};

class ConnectionStringRefuses : public ::testing::TestWithParam<RefusedCase> {};

// tdsodbc ends a braced value at the first "};" and the driver manager at the first lone
// '}': a password that either of them would read as more attributes is refused.
TEST_P(ConnectionStringRefuses, PasswordThatWouldAddAttributes) {
    try {
        connectionString({"db01", "Gestao", "sa", GetParam().password}, "FreeTDS");
        FAIL() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errc::kUnreachable);
        EXPECT_EQ(e.description(),
                  "The password holds characters that the ODBC driver cannot be given safely.");
    }
}

INSTANTIATE_TEST_SUITE_P(
    ConnectionString, ConnectionStringRefuses,
    ::testing::Values(RefusedCase{"DriverAfterBraceSemicolon", "a};Driver={/tmp/x.so"},
                      RefusedCase{"DriverAfterLoneBrace", "a}Driver=/tmp/x.so;"},
                      RefusedCase{"FileDsnAfterLoneBrace", "a} FILEDSN=/tmp/x;"},
                      RefusedCase{"BraceSemicolonAlone", "};"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectionString, ReadBackAsTheDriverManagerAndTdsodbcDo) {
    // The driver manager undoubles "}}" and stops at a lone '}'; tdsodbc stops at "};".
    const std::string text = "Driver={FreeTDS};PWD={a}}b};UID=u;";
    EXPECT_EQ(parseAsDriverManager(text),
              (std::vector<Attribute>{{"Driver", "FreeTDS"}, {"PWD", "a}b"}, {"UID", "u"}}));
    EXPECT_EQ(parseAsFreeTds(text),
              (std::vector<Attribute>{{"Driver", "FreeTDS"}, {"PWD", "a}}b"}, {"UID", "u"}}));
    // What follows a lone '}' is read as attributes by the driver manager.
    EXPECT_EQ(parseAsDriverManager("PWD={a}Driver=x;y};"),
              (std::vector<Attribute>{{"PWD", "a"}, {"Driver", "x"}}));
}

struct DataSourceCase {
    const char* name;
    std::string text;
    DataSource expected;
};

class DataSourceParses : public ::testing::TestWithParam<DataSourceCase> {};

TEST_P(DataSourceParses, HostInstanceAndPort) {
    const DataSource ds = parseDataSource(GetParam().text);
    EXPECT_EQ(ds.host, GetParam().expected.host);
    EXPECT_EQ(ds.instance, GetParam().expected.instance);
    EXPECT_EQ(ds.port, GetParam().expected.port);
}

INSTANTIATE_TEST_SUITE_P(
    DataSource, DataSourceParses,
    ::testing::Values(DataSourceCase{"Host", "db01", {"db01", "", ""}},
                      DataSourceCase{"HostAndPort", " db01 , 1433 ", {"db01", "", "1433"}},
                      DataSourceCase{"Instance", "db01\\SQL2000", {"db01", "SQL2000", ""}},
                      // A port reaches the instance's listener without the browser service.
                      DataSourceCase{"InstanceAndPort", "db01\\SQL2000,1500", {"db01", "", "1500"}},
                      DataSourceCase{"LocalAlias", "(LOCAL)", {"127.0.0.1", "", ""}},
                      DataSourceCase{
                          "DotWithInstance", ".\\SQLEXPRESS", {"127.0.0.1", "SQLEXPRESS", ""}},
                      DataSourceCase{"Empty", "", {"127.0.0.1", "", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataSource, BadPortIsRefused) {
    for (const char* text : {"db01,", "db01,abc", "db01,0", "db01,65536", "db01,14 33"}) {
        try {
            parseDataSource(text);
            ADD_FAILURE() << text << " accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errc::kUnreachable);
            EXPECT_EQ(e.description(),
                      "Invalid port in the server name '" + std::string(text) + "'.");
        }
    }
}

}  // namespace
}  // namespace db::odbc
