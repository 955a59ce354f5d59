#include "db/sqlite/sqlite_connection.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "db/ado_types.h"
#include "db/error.h"

namespace db::sqlite {
namespace {

// A private database with one table of every kind of store column.
class SqliteConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.execute(
            "CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, nome TEXT(50) COLLATE NOCASE, "
            "descrit LONGTEXT COLLATE NOCASE, tamanho INTEGER, flag BOOLEAN DEFAULT 0, image BLOB, "
            "ratio DOUBLE)");
    }

    long count(const std::string& table) {
        Recordset rs = db.open("SELECT Count(*) AS n FROM " + table, CursorType::Static);
        return static_cast<long>(rs.field("n").value().asInteger());
    }

    SqliteConnection db{":memory:", OpenMode::Create};
};

TEST_F(SqliteConnectionTest, ReportsJetTypeCodesAndValues) {
    db.execute(
        "INSERT INTO t (nome, descrit, tamanho, flag, image, ratio) "
        "VALUES ('O'+CHR(39)+'Neil', 'x', 100, -1, NULL, 0.1)");
    Recordset rs = db.open("SELECT *, Max(id) AS maximo FROM t", CursorType::Static);
    ASSERT_EQ(rs.recordCount(), 1);
    struct Expected {
        const char* name;
        int type;
        long size;
        Value value;
    };
    const std::vector<Expected> expected = {
        {"id", ado::kInteger, 4, Value::integer(1)},
        {"nome", ado::kVarWChar, 50, Value::text("O'Neil")},
        {"descrit", ado::kLongVarWChar, 536870910, Value::text("x")},
        {"tamanho", ado::kInteger, 4, Value::integer(100)},
        {"flag", ado::kBoolean, 2, Value::boolean(true)},
        {"image", ado::kLongVarBinary, 1073741823, Value()},
        {"ratio", ado::kDouble, 8, Value::real(0.1)},
        {"maximo", ado::kInteger, 4, Value::integer(1)},
    };
    ASSERT_EQ(rs.fieldCount(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(rs.field(i).name(), expected[i].name);
        EXPECT_EQ(rs.field(i).type(), expected[i].type);
        EXPECT_EQ(rs.field(i).definedSize(), expected[i].size);
        EXPECT_EQ(rs.field(i).value(), expected[i].value);
    }
}

TEST_F(SqliteConnectionTest, MaxOfAnEmptyTableIsNull) {
    Recordset rs = db.open("SELECT Max(ID) AS maximo FROM t", CursorType::Static);
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_TRUE(rs.field("maximo").value().isNull());
}

TEST_F(SqliteConnectionTest, ForwardOnlyStreamsWhatStaticCounts) {
    for (int i = 1; i <= 3; ++i)
        db.execute("INSERT INTO t (nome, tamanho) VALUES ('n" + std::to_string(i) + "', " +
                   std::to_string(i) + ")");
    Recordset forward = db.open("SELECT nome FROM t ORDER BY id");
    EXPECT_EQ(forward.recordCount(), -1);
    std::vector<std::string> names;
    for (; !forward.eof(); forward.moveNext())
        names.push_back(forward.field("nome").value().asText());
    EXPECT_EQ(names, (std::vector<std::string>{"n1", "n2", "n3"}));

    Recordset empty = db.open("SELECT nome FROM t WHERE tamanho > 10");
    EXPECT_TRUE(empty.eof());

    Recordset all = db.open("SELECT nome FROM t", CursorType::Static);
    all.moveLast();
    all.moveFirst();
    EXPECT_EQ(all.recordCount(), 3);
}

TEST_F(SqliteConnectionTest, ExecuteCountsTheRowsOfTheLastChange) {
    EXPECT_EQ(db.execute("INSERT INTO t (nome) VALUES ('a'); INSERT INTO t (nome) VALUES ('b')"),
              1);
    EXPECT_EQ(db.execute("UPDATE t SET tamanho = 5"), 2);
    EXPECT_EQ(db.execute("SELECT * FROM t"), -1);
    EXPECT_EQ(db.execute("DELETE FROM t WHERE nome = 'A'"), 1);  // text compares without case
}

TEST_F(SqliteConnectionTest, KeptInsertShapesStoreWhatLiteralsWould) {
    const std::string insert =
        "INSERT INTO t (nome, descrit, tamanho, flag, ratio) VALUES (12, 'a'+CHR(39)+'b', '34', "
        "True, -1.5)";
    db.execute(insert);                 // a kept prepared statement with bound values
    db.execute(insert);                 // the same shape again
    db.execute(insert + "; SELECT 1");  // a batch: the literal text itself
    Recordset rs = db.open(
        "SELECT typeof(nome) || ':' || nome || '|' || descrit || '|' || typeof(tamanho) || ':' || "
        "tamanho || '|' || flag || '|' || ratio AS r FROM t",
        CursorType::Static);
    ASSERT_EQ(rs.recordCount(), 3);
    for (; !rs.eof(); rs.moveNext())
        EXPECT_EQ(rs.field("r").value(), Value::text("text:12|a'b|integer:34|-1|-1.5"));
}

TEST_F(SqliteConnectionTest, ChrRunsAsAFunctionWhereItCannotBeFolded) {
    db.execute("INSERT INTO t (nome, tamanho) VALUES ('x', 39)");
    Recordset rs = db.open("SELECT 'a' + CHR(tamanho) + nome AS s FROM t", CursorType::Static);
    EXPECT_EQ(rs.field("s").value(), Value::text("a'x"));
    try {
        db.open("SELECT CHR(tamanho + 300) FROM t", CursorType::Static);
        FAIL() << "CHR(339) was accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errc::kServerError);
        EXPECT_EQ(
            e.description(),
            "Invalid procedure call or argument: CHR(339) in: SELECT CHR(tamanho + 300) FROM t");
    }
}

struct ErrorCase {
    const char* name;
    const char* statement;
    bool asRecordset;
    long number;
    const char* description;
};

class SqliteConnectionErrors : public SqliteConnectionTest,
                               public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(SqliteConnectionErrors, CarryJetNumbersAndSqliteTexts) {
    db.execute("INSERT INTO t (id, nome) VALUES (1, 'a')");
    try {
        if (GetParam().asRecordset) {
            db.open(GetParam().statement, CursorType::Static);
        } else {
            db.execute(GetParam().statement);
        }
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), GetParam().number);
        EXPECT_EQ(e.description(), GetParam().description);
    }
}

const ErrorCase kErrorCases[] = {
    {"SyntaxError", "SELEC * FROM t", false, errc::kServerError,
     "near \"SELEC\": syntax error in: SELEC * FROM t"},
    {"MissingTable", "SELECT * FROM tbNope", true, errc::kObjectNotFound,
     "no such table: tbNope in: SELECT * FROM tbNope"},
    {"MissingColumn", "SELECT nada FROM t", true, errc::kServerError,
     "no such column: nada in: SELECT nada FROM t"},
    {"DuplicateKey", "INSERT INTO t (id, nome) VALUES (1, 'b')", false, errc::kIntegrityViolation,
     "UNIQUE constraint failed: t.id"},
    {"SecondStatementInARecordset", "SELECT * FROM t; SELECT * FROM t", true, errc::kServerError,
     "Characters found after end of SQL statement."},
};

INSTANTIATE_TEST_SUITE_P(Cases, SqliteConnectionErrors, ::testing::ValuesIn(kErrorCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SqliteConnectionTest, AFailingStatementInsideATransactionUndoesOnlyItself) {
    db.beginTransaction();
    db.execute("INSERT INTO t (id, nome) VALUES (1, 'a')");
    EXPECT_THROW(db.execute("INSERT INTO t (id, nome) VALUES (1, 'dup')"), Error);
    db.execute("INSERT INTO t (id, nome) VALUES (2, 'b')");
    db.commitTransaction();
    EXPECT_EQ(count("t"), 2);

    {
        Transaction transaction(db);
        db.execute("DELETE FROM t");
    }  // not committed: rolled back
    EXPECT_EQ(count("t"), 2);
    EXPECT_FALSE(db.inTransaction());

    try {
        db.commitTransaction();
        FAIL() << "commit without a transaction";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errc::kStoreError);
        EXPECT_EQ(
            e.description(),
            "You tried to commit or rollback a transaction without first beginning a transaction.");
    }
}

// SQLite ends the whole transaction by itself after some errors (a full disk, an I/O
// error); here it is ended behind the connection's back in the same way. Nothing may then
// be written outside it until the caller closes it.
TEST_F(SqliteConnectionTest, AfterTheDatabaseEndedTheTransactionEveryStatementIsRefused) {
    db.execute("INSERT INTO t (id, nome) VALUES (1, 'a')");
    db.beginTransaction();
    db.execute("DELETE FROM t");
    EXPECT_FALSE(db.transactionLost());
    db.execute("ROLLBACK");
    EXPECT_TRUE(db.transactionLost());

    const std::string refused =
        "The transaction was rolled back after an earlier error; nothing was committed.";
    const std::vector<std::function<void()>> statements = {
        [&] { db.execute("INSERT INTO t (id, nome) VALUES (2, 'b')"); },
        [&] { db.open("SELECT * FROM t"); },
        [&] { db.writeLongValue("t", "id", "1", "image", Value::bytes({1})); },
        [&] { db.commitTransaction(); },
    };
    for (const auto& statement : statements) {
        try {
            statement();
            ADD_FAILURE() << "a statement ran outside the lost transaction";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errc::kStoreError);
            EXPECT_EQ(e.description(), refused);
        }
    }
    // The failed commit closed the transaction: the connection works again, and only the
    // row committed before the transaction is there.
    EXPECT_FALSE(db.transactionLost());
    EXPECT_EQ(count("t"), 1);
}

TEST_F(SqliteConnectionTest, WriteLongValueFillsOneRowFoundByItsKeyLiteral) {
    db.execute(
        "INSERT INTO t (nome) VALUES ('O'+CHR(39)+'Neil'); INSERT INTO t (nome) VALUES ('other')");
    Bytes image(3 * 1024 * 1024);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    db.writeLongValue("t", "nome", "'O'+CHR(39)+'Neil'", "image", Value::bytes(image));
    db.writeLongValue("t", "nome", "'nobody'", "image",
                      Value::bytes({1, 2}));  // no row: nothing changes
    db.writeLongValue("[t]", "id", "2", "descrit", Value::text(std::string(100000, 'x')));

    Recordset rs = db.open("SELECT nome, image, descrit FROM t ORDER BY id", CursorType::Static);
    EXPECT_EQ(rs.field("image").value(), Value::bytes(image));
    EXPECT_EQ(rs.field("image").actualSize(), 3 * 1024 * 1024);
    EXPECT_TRUE(rs.field("descrit").value().isNull());
    rs.moveNext();
    EXPECT_TRUE(rs.field("image").value().isNull());
    EXPECT_EQ(rs.field("descrit").value().asText().size(), 100000u);
}

TEST_F(SqliteConnectionTest, AClosedConnectionRefusesWork) {
    db.close();
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(db.state(), 0);
    try {
        db.execute("SELECT 1");
        FAIL() << "a closed connection ran a statement";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errc::kObjectClosed);
    }
}

}  // namespace
}  // namespace db::sqlite
