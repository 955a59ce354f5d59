// The SQL Server connection against the sandbox server: values and their types, long
// values, errors, logins and batches with several results, through unixODBC and tdsodbc.
//
// To add a case: a row in one of the tables below when it fits one, else a TEST_F on
// OdbcSandbox; seed data goes into fixtures/odbc_types.sql.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "db/ado_types.h"
#include "db/error.h"
#include "db/odbc/odbc_connection.h"
#include "sandbox_server.h"

namespace db::odbc {
namespace {

constexpr const char* kPassword = "p;w=d}x";
constexpr const char* kDatabase = "odbctest";

class OdbcSandbox : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testsupport::SandboxOptions options;
        options.saPassword = kPassword;
        options.loads.emplace_back(kDatabase, "tests/odbc/fixtures/odbc_types.sql");
        s_server = new testsupport::SandboxServer(options);
    }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }

    static ServerSettings settings(std::string password = kPassword,
                                   std::string database = kDatabase) {
        return {"127.0.0.1," + std::to_string(s_server->port()), std::move(database), "sa",
                std::move(password)};
    }

    void SetUp() override { m_connection = openServer(settings()); }

    static Error errorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const Error& e) {
            return e;
        }
        ADD_FAILURE() << "no error";
        return Error(0, "");
    }

    static testsupport::SandboxServer* s_server;
    std::unique_ptr<Connection> m_connection;
};

testsupport::SandboxServer* OdbcSandbox::s_server = nullptr;

struct TypeRow {
    const char* column;
    int adoType;
    Value value;
    long actualSize;
};

// Every SQL Server 2000 type: the ADO code SQLOLEDB reports, the value, and its size in
// bytes as the server counts it (one per character of varchar, two per UTF-16 unit of
// nvarchar) although the text travels as UTF-8.
TEST_F(OdbcSandbox, EveryTypeRoundTripsWithItsAdoCodeAndSize) {
    const std::vector<TypeRow> expected = {
        {"c_tinyint", ado::kUnsignedTinyInt, Value::integer(200), 1},
        {"c_smallint", ado::kSmallInt, Value::integer(-32000), 2},
        {"c_int", ado::kInteger, Value::integer(2147483647), 4},
        {"c_bigint", ado::kBigInt, Value::integer(9223372036854775807), 8},
        {"c_bit", ado::kBoolean, Value::boolean(true), 2},
        {"c_real", ado::kSingle, Value::real(0.1), 4},
        {"c_float", ado::kDouble, Value::real(1.5e300), 8},
        {"c_money", ado::kCurrency, Value::decimal("1234.5678"), 8},
        {"c_smallmoney", ado::kCurrency, Value::decimal("-12.5"), 8},
        {"c_decimal", ado::kNumeric, Value::decimal("12345.67"), 19},
        {"c_numeric", ado::kNumeric, Value::decimal("-42"), 19},
        {"c_datetime", ado::kDBTimeStamp, Value::dateTime({2004, 3, 7, 14, 5, 9, 997}), 16},
        {"c_smalldatetime", ado::kDBTimeStamp, Value::dateTime({2004, 3, 7, 14, 5, 0, 0}), 16},
        {"c_char", ado::kChar, Value::text("ab   "), 5},
        {"c_varchar", ado::kVarChar, Value::text("ação"), 4},
        {"c_text", ado::kLongVarChar, Value::text("texto"), 5},
        {"c_nchar", ado::kWChar, Value::text("€  "), 6},
        {"c_nvarchar", ado::kVarWChar, Value::text("ação€😀"), 14},
        {"c_ntext", ado::kLongVarWChar, Value::text("x"), 2},
        {"c_binary", ado::kBinary, Value::bytes({0x01, 0x02, 0x00, 0x00}), 4},
        {"c_varbinary", ado::kVarBinary, Value::bytes({0xAB, 0xCD}), 2},
        {"c_image", ado::kLongVarBinary, Value::bytes({0x00, 0xFF}), 2},
        {"c_guid", ado::kGUID, Value::text("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"), 16},
        {"c_variant", ado::kVariant, Value::text("42"), 16},
    };
    Recordset rs = m_connection->open("SELECT * FROM tbTypes ORDER BY id", CursorType::Static);
    ASSERT_EQ(rs.recordCount(), 2);
    for (const TypeRow& row : expected) {
        SCOPED_TRACE(row.column);
        const Field field = rs.field(row.column);
        EXPECT_EQ(field.type(), row.adoType);
        EXPECT_EQ(field.value(), row.value);
        EXPECT_EQ(field.actualSize(), row.actualSize);
    }
    rs.moveNext();
    for (const TypeRow& row : expected) {
        SCOPED_TRACE(row.column);
        EXPECT_EQ(rs.field(row.column).value(), Value());
        EXPECT_EQ(rs.field(row.column).actualSize(), 0);
    }
}

TEST_F(OdbcSandbox, TimestampIsEightBytesOfBinary) {
    Recordset rs = m_connection->open("SELECT ts FROM tbStamp", CursorType::Static);
    EXPECT_EQ(rs.field("ts").type(), ado::kBinary);
    EXPECT_EQ(rs.field("ts").actualSize(), 8);
}

// `characters` characters (not bytes) taken in turn from a UTF-8 alphabet.
std::string longText(std::size_t characters, std::string_view alphabet) {
    std::string text;
    std::size_t i = 0;
    for (std::size_t n = 0; n < characters; ++n) {
        std::size_t length = 1;
        while (i + length < alphabet.size() && (alphabet[i + length] & 0xC0) == 0x80) ++length;
        text.append(alphabet.substr(i, length));
        i = (i + length) % alphabet.size();
    }
    return text;
}

struct LongCase {
    const char* name;
    const char* column;
    Value value;
    long actualSize;
};

void PrintTo(const LongCase& c, std::ostream* os) { *os << c.name; }

class OdbcSandboxLongValues : public OdbcSandbox, public ::testing::WithParamInterface<LongCase> {};

// Written as one literal in an UPDATE batch, read back in chunks, nothing lost.
TEST_P(OdbcSandboxLongValues, WrittenAndReadCompletely) {
    const LongCase& c = GetParam();
    m_connection->writeLongValue("tbLong", "id", "1", c.column, c.value);
    Recordset rs = m_connection->open(
        std::string("SELECT ") + c.column + " FROM tbLong WHERE id = 1", CursorType::Static);
    EXPECT_EQ(rs.field(0).value(), c.value);
    EXPECT_EQ(rs.field(0).actualSize(), c.actualSize);
}

Bytes randomBytes(std::size_t n) {
    std::mt19937 generator(7);
    Bytes bytes(n);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(generator());
    return bytes;
}

constexpr std::size_t kMegabyte = 1024 * 1024;

INSTANTIATE_TEST_SUITE_P(
    OdbcSandbox, OdbcSandboxLongValues,
    ::testing::Values(
        LongCase{"EmptyText", "t", Value::text(""), 0},
        LongCase{"OneCharacterText", "t", Value::text("'"), 1},
        LongCase{"TwentyKilobytesText", "t", Value::text(longText(20 * 1024, "abc'ç")), 20 * 1024},
        LongCase{"MegabyteText", "t", Value::text(longText(kMegabyte, "Olá, 'mundo' ção\r\n")),
                 static_cast<long>(kMegabyte)},
        LongCase{"MegabyteNtext", "n", Value::text(longText(kMegabyte, "ação€'😀x")),
                 static_cast<long>(2 * kMegabyte + 2 * (kMegabyte / 8))},
        LongCase{"EmptyImage", "i", Value::bytes({}), 0},
        LongCase{"OneByteImage", "i", Value::bytes({0x27}), 1},
        LongCase{"TwentyKilobytesImage", "i", Value::bytes(randomBytes(20 * 1024)), 20 * 1024},
        LongCase{"MegabyteImage", "i", Value::bytes(randomBytes(kMegabyte)),
                 static_cast<long>(kMegabyte)}),
    [](const auto& info) { return std::string(info.param.name); });

// The server types a constant over 8000 bytes as text or image, as SQL Server 2000 does.
TEST_F(OdbcSandbox, ConstantsOver8000BytesAreLongValues) {
    const std::string text(9000, 'y');
    EXPECT_EQ(m_connection->execute("UPDATE tbLong SET t = '" + text + "', i = 0x" +
                                    std::string(2 * 9000, 'A') + " WHERE id = 1"),
              1);
    Recordset rs = m_connection->open("SELECT t, i FROM tbLong WHERE id = 1", CursorType::Static);
    EXPECT_EQ(rs.field("t").value(), Value::text(text));
    EXPECT_EQ(rs.field("i").value(), Value::bytes(Bytes(9000, 0xAA)));
}

// A kept data command replayed with its apostrophes as ' + CHAR(39) + ' pieces: a chain of
// 10,000 concatenations in one value, as SQL Server takes it.
TEST_F(OdbcSandbox, ALongConcatenationChainIsOneValue) {
    std::string chain = "'p0'";
    std::string expected = "p0";
    for (int i = 1; i <= 5000; ++i) {
        chain += " + CHAR(39) + 'p" + std::to_string(i) + "'";
        expected += "'p" + std::to_string(i);
    }
    m_connection->execute("INSERT INTO tbLong (id, t) VALUES (100, " + chain + ")");
    Recordset rs = m_connection->open("SELECT t FROM tbLong WHERE id = 100", CursorType::Static);
    EXPECT_EQ(rs.field(0).value(), Value::text(expected));
    m_connection->execute("DELETE FROM tbLong WHERE id = 100");
}

// A single statement of 50 MB: a 20 MB image written as a 0x literal beside a 10 MB text.
TEST_F(OdbcSandbox, AFiftyMegabyteStatementIsTaken) {
    const Bytes image = randomBytes(20 * kMegabyte);
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string sql = "INSERT INTO tbLong (id, t, i) VALUES (101, '";
    sql.reserve(51 * kMegabyte);
    sql.append(10 * kMegabyte, 'z');
    sql += "', 0x";
    for (std::uint8_t b : image) {
        sql += kHex[b >> 4];
        sql += kHex[b & 0x0F];
    }
    sql += ")";
    ASSERT_GE(sql.size(), 50 * kMegabyte);
    m_connection->execute(sql);
    sql.clear();
    sql.shrink_to_fit();
    Recordset rs = m_connection->open("SELECT DATALENGTH(t), i FROM tbLong WHERE id = 101", CursorType::Static);
    EXPECT_EQ(rs.field(0).value(), Value::integer(static_cast<std::int64_t>(10 * kMegabyte)));
    EXPECT_TRUE(rs.field(1).value() == Value::bytes(image));
    m_connection->execute("DELETE FROM tbLong WHERE id = 101");
}

// A server that stops answering in the middle of a session: the next statement ends with
// the time-out's error instead of waiting forever.
TEST_F(OdbcSandbox, AStatementToAServerThatStoppedAnsweringTimesOut) {
    ServerSettings timed = settings();
    timed.commandTimeoutSeconds = 1;
    auto connection = openServer(timed);
    s_server->freeze();
    const auto start = std::chrono::steady_clock::now();
    const Error error = errorOf([&] { connection->execute("SELECT 1"); });
    const auto took = std::chrono::steady_clock::now() - start;
    s_server->thaw();
    EXPECT_EQ(error.number(), errc::kTimeout);
    EXPECT_EQ(error.description(), "Timeout expired");
    EXPECT_LT(took, std::chrono::seconds(15));
}

// Character values are read into a buffer that grows past its first size; accented
// letters count one unit each. The statement that read them serves the next batch.
TEST_F(OdbcSandbox, TextOfEveryLengthComesBackWhole) {
    for (const std::size_t length : {0u, 1u, 255u, 256u, 257u, 258u, 511u, 4000u}) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text += i % 3 == 0 ? "\xc3\xa7" : "a";
        Recordset rs = m_connection->open("SELECT N'" + text + "' AS t, N'x' AS u", CursorType::Static);
        EXPECT_EQ(rs.field("t").value(), Value::text(text)) << length;
        EXPECT_EQ(rs.field("u").value(), Value::text("x")) << length;
    }
}

TEST_F(OdbcSandbox, WritingToAMissingRowIsAnError) {
    const Error e = errorOf(
        [&] { m_connection->writeLongValue("tbLong", "id", "999", "t", Value::text("x")); });
    EXPECT_EQ(e.number(), -2147217864);
}

struct FailureCase {
    const char* name;
    const char* sql;
    long number;
    long nativeError;
    const char* description;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.sql; }

class OdbcSandboxFailures : public OdbcSandbox,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(OdbcSandboxFailures, NumberAndServerText) {
    const FailureCase& c = GetParam();
    const Error e = errorOf([&] { m_connection->execute(c.sql); });
    EXPECT_EQ(e.number(), c.number);
    EXPECT_EQ(e.nativeError(), c.nativeError);
    EXPECT_EQ(e.description(), c.description);
    // The connection stays usable.
    EXPECT_EQ(m_connection->open("SELECT 1 AS one", CursorType::Static).field(0).value(),
              Value::integer(1));
}

INSTANTIATE_TEST_SUITE_P(
    OdbcSandbox, OdbcSandboxFailures,
    ::testing::Values(
        FailureCase{"MissingTable", "SELECT * FROM tbNowhere", errc::kObjectNotFound, 208,
                    "Invalid object name 'tbNowhere'."},
        FailureCase{"MissingColumn", "SELECT nowhere FROM tbKeys", errc::kServerError, 207,
                    "Invalid column name 'nowhere'."},
        FailureCase{"DuplicateKey", "INSERT INTO tbKeys VALUES (1, 'outro')",
                    errc::kIntegrityViolation, 2627,
                    "Violation of PRIMARY KEY constraint 'PK_tbKeys'. Cannot insert duplicate key "
                    "in object 'tbKeys'."},
        FailureCase{"NullIntoNotNull", "INSERT INTO tbKeys (id, nome) VALUES (5, NULL)",
                    errc::kIntegrityViolation, 515,
                    "Cannot insert the value NULL into column 'nome', table 'odbctest.dbo.tbKeys'; "
                    "column does not allow nulls. INSERT fails."},
        FailureCase{"SyntaxError", "SELECT 1 +", errc::kServerError, 102,
                    "Incorrect syntax near '+'."},
        FailureCase{"ExistingTable", "CREATE TABLE tbKeys (x int)", errc::kServerError, 2714,
                    "There is already an object named 'tbKeys' in the database."},
        FailureCase{"DropMissingTable", "DROP TABLE tbNowhere", errc::kObjectNotFound, 3701,
                    "Cannot drop the table 'tbNowhere', because it does not exist in the system "
                    "catalog."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OdbcSandbox, DuplicateKeyKeepsEveryRecord) {
    const Error e =
        errorOf([&] { m_connection->execute("INSERT INTO tbKeys VALUES (1, 'outro')"); });
    ASSERT_EQ(e.records().size(), 2u);
    EXPECT_EQ(e.records()[0].sqlstate, "23000");
    EXPECT_EQ(e.records()[0].severity, 14);
    EXPECT_EQ(e.records()[1].nativeError, 3621);
    EXPECT_EQ(e.records()[1].message, "The statement has been terminated.");
}

TEST_F(OdbcSandbox, MessagesOfLowSeverityAreNotErrors) {
    EXPECT_EQ(m_connection->execute("PRINT 'hello'"), -1);
    EXPECT_EQ(m_connection->execute("USE master"), -1);
    EXPECT_EQ(m_connection->execute("USE odbctest"), -1);
}

TEST_F(OdbcSandbox, BatchIsConsumedToTheEndAndItsErrorReported) {
    m_connection->execute("CREATE TABLE tbBatch (id int NOT NULL PRIMARY KEY)");
    const Error e = errorOf([&] {
        m_connection->execute(
            "INSERT INTO tbBatch VALUES (1) INSERT INTO tbBatch VALUES (1) INSERT INTO tbBatch "
            "VALUES (2)");
    });
    EXPECT_EQ(e.nativeError(), 2627);
    // The statement after the failed one ran.
    Recordset rs = m_connection->open("SELECT COUNT(*) AS n FROM tbBatch", CursorType::Static);
    EXPECT_EQ(rs.field("n").value(), Value::integer(2));
    EXPECT_EQ(
        m_connection->execute("UPDATE tbBatch SET id = id + 10 DELETE FROM tbBatch WHERE id = 11"),
        1);
}

TEST_F(OdbcSandbox, RecordSetIsTheFirstRowSetOfTheBatch) {
    Recordset rs =
        m_connection->open("SET NOCOUNT ON SELECT 1 AS a SELECT 2 AS b", CursorType::Static);
    EXPECT_EQ(rs.field("a").value(), Value::integer(1));
    EXPECT_EQ(rs.recordCount(), 1);
    // An error after the row set is not lost.
    const Error e = errorOf(
        [&] { m_connection->open("SELECT 1 AS a SELECT * FROM tbNowhere", CursorType::Static); });
    EXPECT_EQ(e.number(), errc::kObjectNotFound);
    // A batch without a row set gives a closed record set.
    EXPECT_FALSE(m_connection->open("UPDATE tbKeys SET nome = nome").isOpen());
}

TEST_F(OdbcSandbox, ForwardOnlyRowsSurviveAnotherStatementOnTheConnection) {
    Recordset rs = m_connection->open("SELECT id FROM tbMany ORDER BY id");
    EXPECT_EQ(rs.recordCount(), -1);
    EXPECT_EQ(rs.field("id").value(), Value::integer(1));
    // tdsodbc allows one pending result per connection: the rest is read ahead.
    EXPECT_EQ(m_connection->execute("UPDATE tbKeys SET nome = 'um' WHERE id = 1"), 1);
    std::vector<std::int64_t> seen;
    for (; !rs.eof(); rs.moveNext()) seen.push_back(rs.field(0).value().asInteger());
    EXPECT_EQ(seen, (std::vector<std::int64_t>{1, 2, 3, 4}));
}

TEST_F(OdbcSandbox, ClosingTheConnectionClosesItsRecordSets) {
    Recordset rs = m_connection->open("SELECT id FROM tbMany ORDER BY id");
    m_connection->close();
    EXPECT_FALSE(m_connection->isOpen());
    EXPECT_EQ(errorOf([&] { rs.moveNext(); }).number(), errc::kObjectClosed);
    EXPECT_EQ(errorOf([&] { m_connection->execute("SELECT 1"); }).number(),
              errc::kInvalidConnection);
}

TEST_F(OdbcSandbox, LoginsAreCheckedByTheServer) {
    // The right password holds ';', '=' and '}' and reached the server intact (SetUp).
    EXPECT_TRUE(m_connection->isOpen());
    const Error wrong = errorOf([&] { openServer(settings("p;w=d")); });
    EXPECT_EQ(wrong.number(), errc::kLoginFailed);
    EXPECT_EQ(wrong.description(), "Login failed for user 'sa'.");
    const Error noDatabase = errorOf([&] { openServer(settings(kPassword, "nowhere")); });
    EXPECT_EQ(noDatabase.number(), errc::kUnreachable);
}

}  // namespace
}  // namespace db::odbc
