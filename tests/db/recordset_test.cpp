#include "db/recordset.h"

#include <gtest/gtest.h>

#include "db/ado_types.h"
#include "db/error.h"

namespace db {
namespace {

Recordset twoRows() {
    return Recordset({{"ID", ado::kInteger}, {"nome", ado::kVarWChar}},
                     {{Value::integer(1), Value::text("a")}, {Value::integer(2), Value::text("b")}});
}

class VectorSource : public RowSource {
public:
    explicit VectorSource(std::vector<std::vector<Value>> rows) : m_rows(std::move(rows)) {}
    bool next(std::vector<Value>& row) override {
        if (m_next >= m_rows.size()) return false;
        row = m_rows[m_next++];
        return true;
    }

private:
    std::vector<std::vector<Value>> m_rows;
    std::size_t m_next = 0;
};

TEST(Recordset, StaticCursorCountsAndMoves) {
    Recordset rs = twoRows();
    EXPECT_FALSE(rs.eof());
    rs.moveLast();
    EXPECT_EQ(rs.field("id").value(), Value::integer(2));
    rs.moveFirst();
    EXPECT_EQ(rs.recordCount(), 2);
    EXPECT_EQ(rs.field("NOME").value(), Value::text("a"));
    rs.moveNext();
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
}

TEST(Recordset, EmptyIsAtBothEnds) {
    Recordset rs({{"x", ado::kInteger}}, std::vector<std::vector<Value>>{});
    EXPECT_TRUE(rs.eof());
    EXPECT_TRUE(rs.bof());
    EXPECT_EQ(rs.recordCount(), 0);
}

TEST(Recordset, ForwardOnlyStreamsWithUnknownCount) {
    Recordset rs({{"x", ado::kInteger}},
                 std::make_unique<VectorSource>(std::vector<std::vector<Value>>{
                     {Value::integer(7)}, {Value::integer(8)}}));
    EXPECT_EQ(rs.recordCount(), -1);
    EXPECT_EQ(rs.field(0).value(), Value::integer(7));
    rs.moveNext();
    EXPECT_EQ(rs.field(0).value(), Value::integer(8));
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    try {
        rs.moveLast();
        FAIL() << "a forward-only cursor cannot move back";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), -2147217884);
    }
}

TEST(Recordset, ErrorsCarryAdoNumbers) {
    Recordset rs = twoRows();
    auto numberOf = [](auto&& call) {
        try {
            call();
        } catch (const Error& e) {
            return e.number();
        }
        return 0L;
    };
    EXPECT_EQ(numberOf([&] { rs.field("missing"); }), errc::kItemNotFound);
    rs.moveLast();
    rs.moveNext();
    EXPECT_EQ(numberOf([&] { rs.field(0); }), errc::kNoCurrentRecord);
    rs.close();
    EXPECT_EQ(numberOf([&] { rs.eof(); }), errc::kObjectClosed);
}

TEST(Recordset, ATakenValueLeavesNullBehind) {
    Recordset rs = twoRows();
    rs.moveNext();
    EXPECT_EQ(rs.takeValue(1), Value::text("b"));
    EXPECT_TRUE(rs.field(1).value().isNull());
    rs.moveFirst();
    EXPECT_EQ(rs.field(1).value(), Value::text("a"));  // only the taken one

    Recordset streamed({{"x", ado::kLongVarBinary}},
                       std::make_unique<VectorSource>(std::vector<std::vector<Value>>{{Value::bytes({1, 2})}}));
    EXPECT_EQ(streamed.takeValue(0), Value::bytes({1, 2}));
    streamed.moveNext();
    try {
        streamed.takeValue(0);
        FAIL() << "a value taken past the end";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errc::kNoCurrentRecord);
    }
}

TEST(Field, ActualSizeCountsAsTheServerDoes) {
    const Value accented = Value::text("ação");
    EXPECT_EQ(actualSizeOf(ado::kVarChar, accented), 4);
    EXPECT_EQ(actualSizeOf(ado::kVarWChar, accented), 8);
    EXPECT_EQ(actualSizeOf(ado::kLongVarBinary, Value::bytes(Bytes(20000, 1))), 20000);
    EXPECT_EQ(actualSizeOf(ado::kInteger, Value::integer(5)), 4);
    EXPECT_EQ(actualSizeOf(ado::kVarChar, Value()), 0);
}

TEST(Field, ChunksOfLongValues) {
    Column column{"t", ado::kLongVarBinary};
    Value v = Value::bytes({1, 2, 3, 4, 5});
    Field f(column, v);
    EXPECT_EQ(f.chunk(0, 2), Value::bytes({1, 2}));
    EXPECT_EQ(f.chunk(3, 10), Value::bytes({4, 5}));
    EXPECT_EQ(f.chunk(9, 1), Value::bytes({}));
}

}  // namespace
}  // namespace db
