#include "wire/column_encoding.h"

#include <gtest/gtest.h>

#include "wire/text_codec.h"

namespace sandbox::wire {
namespace {

using db::Value;

struct EncodingCase {
    const char* name;
    ColumnMeta meta;
    Value value;
    Bytes metadata;  // UserType, Flags, TYPE_INFO (the column name "c" is appended by the test)
    Bytes row;       // the value in ROW form; for text, ntext and image without pointer/timestamp
};

ColumnMeta col(SqlType type, int length = 0, bool nullable = true, int precision = 0, int scale = 0,
               std::string collation = "") {
    return ColumnMeta{"c", type, length, precision, scale, nullable, false, std::move(collation)};
}

db::Value at(int y, int mo, int d, int h, int mi, int s, int ms) {
    return Value::dateTime(db::DateTime{y, mo, d, h, mi, s, ms});
}

const Bytes kName = {0x01, 'c', 0x00};
#define COLL 0x09, 0x04, 0xD0, 0x00, 0x34

class ColumnEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(ColumnEncoding, WritesSqlServerTypeInfoAndValue) {
    const EncodingCase& c = GetParam();
    RowSet rows;
    rows.columns = {c.meta};
    rows.rows = {{c.value}};
    const WireColumn column = planColumn(rows, 0);
    ByteWriter meta;
    writeColumnMetadata(meta, column);
    Bytes expectedMeta = c.metadata;
    expectedMeta.insert(expectedMeta.end(), kName.begin(), kName.end());
    EXPECT_EQ(expectedMeta, meta.data());

    ByteWriter value;
    writeColumnValue(value, column, c.value);
    Bytes actual = value.data();
    const bool longType = column.type == TdsType::Text || column.type == TdsType::NText ||
                          column.type == TdsType::Image;
    if (longType && actual.size() > 25) actual.erase(actual.begin() + 1, actual.begin() + 25);
    EXPECT_EQ(c.row, actual);
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, ColumnEncoding,
    ::testing::Values(
        EncodingCase{"IntNotNullUsesFixedForm", col(SqlType::Int, 4, false), Value::integer(7),
                     {0, 0, 0x08, 0, 0x38}, {7, 0, 0, 0}},
        EncodingCase{"IntNullable", col(SqlType::Int), Value::integer(-1), {0, 0, 0x09, 0, 0x26, 4}, {4, 0xFF, 0xFF, 0xFF, 0xFF}},
        EncodingCase{"IntNull", col(SqlType::Int), Value(), {0, 0, 0x09, 0, 0x26, 4}, {0}},
        EncodingCase{"NotNullColumnGivenNullTurnsNullable", col(SqlType::Int, 4, false), Value(),
                     {0, 0, 0x09, 0, 0x26, 4}, {0}},
        EncodingCase{"TinyInt", col(SqlType::TinyInt), Value::integer(255), {0, 0, 9, 0, 0x26, 1}, {1, 0xFF}},
        EncodingCase{"SmallInt", col(SqlType::SmallInt), Value::integer(-2), {0, 0, 9, 0, 0x26, 2}, {2, 0xFE, 0xFF}},
        EncodingCase{"BigInt", col(SqlType::BigInt), Value::integer(-9000000000LL), {0, 0, 9, 0, 0x26, 8},
                     {8, 0x00, 0xE6, 0x8E, 0xE7, 0xFD, 0xFF, 0xFF, 0xFF}},
        EncodingCase{"BitFromBoolean", col(SqlType::Bit), Value::boolean(true), {0, 0, 9, 0, 0x68, 1}, {1, 1}},
        EncodingCase{"RealSingle", col(SqlType::Real), Value::real(1.5), {0, 0, 9, 0, 0x6D, 4}, {4, 0, 0, 0xC0, 0x3F}},
        EncodingCase{"FloatDouble", col(SqlType::Float, 8, false), Value::real(-2.25), {0, 0, 8, 0, 0x3E},
                     {0, 0, 0, 0, 0, 0, 0x02, 0xC0}},
        EncodingCase{"MoneyHighWordFirst", col(SqlType::Money), Value::decimal("1.5"), {0, 0, 9, 0, 0x6E, 8},
                     {8, 0, 0, 0, 0, 0x98, 0x3A, 0, 0}},
        EncodingCase{"MoneyMinimum", col(SqlType::Money), Value::decimal("-922337203685477.5808"),
                     {0, 0, 9, 0, 0x6E, 8}, {8, 0, 0, 0, 0x80, 0, 0, 0, 0}},
        EncodingCase{"SmallMoneyMaximum", col(SqlType::SmallMoney), Value::decimal("214748.3647"),
                     {0, 0, 9, 0, 0x6E, 4}, {4, 0xFF, 0xFF, 0xFF, 0x7F}},
        EncodingCase{"DateTimeTicksOf300thSecond", col(SqlType::DateTime), at(2004, 3, 7, 14, 5, 9, 997),
                     {0, 0, 9, 0, 0x6F, 8}, {8, 0xA3, 0x94, 0, 0, 0xC7, 0x21, 0xE8, 0x00}},
        EncodingCase{"DateTimeBefore1900", col(SqlType::DateTime), at(1753, 1, 1, 0, 0, 0, 3),
                     {0, 0, 9, 0, 0x6F, 8}, {8, 0x46, 0x2E, 0xFF, 0xFF, 1, 0, 0, 0}},
        EncodingCase{"DateTimeLastMillisecondRollsToNextDay", col(SqlType::DateTime), at(1999, 12, 31, 23, 59, 59, 999),
                     {0, 0, 9, 0, 0x6F, 8}, {8, 0xAC, 0x8E, 0, 0, 0, 0, 0, 0}},
        EncodingCase{"DateTimeFromText", col(SqlType::DateTime), Value::text("2000-01-01 00:00:01"),
                     {0, 0, 9, 0, 0x6F, 8}, {8, 0xAC, 0x8E, 0, 0, 0x2C, 0x01, 0, 0}},
        EncodingCase{"SmallDateTimeLastDay", col(SqlType::SmallDateTime), at(2079, 6, 6, 23, 59, 0, 0),
                     {0, 0, 9, 0, 0x6F, 4}, {4, 0xFF, 0xFF, 0x9F, 0x05}},
        EncodingCase{"SmallDateTimeRoundsUpAt29999", col(SqlType::SmallDateTime), at(2000, 1, 1, 0, 0, 29, 999),
                     {0, 0, 9, 0, 0x6F, 4}, {4, 0xAC, 0x8E, 1, 0}},
        EncodingCase{"SmallDateTimeRoundsDownAt29998", col(SqlType::SmallDateTime), at(2000, 1, 1, 0, 0, 29, 998),
                     {0, 0, 9, 0, 0x6F, 4}, {4, 0xAC, 0x8E, 0, 0}},
        EncodingCase{"DecimalNegative", col(SqlType::Decimal, 0, true, 10, 2), Value::decimal("-12345678.99"),
                     {0, 0, 9, 0, 0x6A, 9, 10, 2}, {9, 0, 0xDB, 0x02, 0x96, 0x49, 0, 0, 0, 0}},
        EncodingCase{"DecimalRoundsHalfAwayFromZero", col(SqlType::Decimal, 0, true, 5, 2), Value::decimal("-12.345"),
                     {0, 0, 9, 0, 0x6A, 5, 5, 2}, {5, 0, 0xD3, 0x04, 0, 0}},
        EncodingCase{"NumericFromInteger", col(SqlType::Numeric, 0, true, 9, 3), Value::integer(2),
                     {0, 0, 9, 0, 0x6C, 5, 9, 3}, {5, 1, 0xD0, 0x07, 0, 0}},
        EncodingCase{"NumericPrecision38", col(SqlType::Numeric, 0, true, 38, 4),
                     Value::decimal("12345678901234567890123456789012.3456"), {0, 0, 9, 0, 0x6C, 17, 38, 4},
                     {17, 1, 0xC0, 0xBA, 0xDC, 0x72, 0x71, 0x41, 0xEC, 0xEA, 0xDE, 0x0F, 0xD7, 0xBF, 0xE3, 0xC6, 0x17, 0x00}},
        EncodingCase{"UniqueIdentifierFromText", col(SqlType::UniqueIdentifier),
                     Value::text("00112233-4455-6677-8899-AABBCCDDEEFF"), {0, 0, 9, 0, 0x24, 16},
                     {16, 0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}},
        EncodingCase{"CharPaddedToWidth", col(SqlType::Char, 5), Value::text("ab"), {0, 0, 9, 0, 0xAF, 5, 0, COLL},
                     {5, 0, 'a', 'b', ' ', ' ', ' '}},
        EncodingCase{"VarCharInCp1252WithQuestionMark", col(SqlType::VarChar, 20),
                     Value::text("caf\xC3\xA9 \xE2\x82\xAC \xE2\x9C\x93"), {0, 0, 9, 0, 0xA7, 20, 0, COLL},
                     {8, 0, 'c', 'a', 'f', 0xE9, ' ', 0x80, ' ', '?'}},
        EncodingCase{"VarCharEmptyIsNotNull", col(SqlType::VarChar, 20), Value::text(""), {0, 0, 9, 0, 0xA7, 20, 0, COLL}, {0, 0}},
        EncodingCase{"VarCharNull", col(SqlType::VarChar, 20), Value(), {0, 0, 9, 0, 0xA7, 20, 0, COLL}, {0xFF, 0xFF}},
        EncodingCase{"VarCharWindowsCollation", col(SqlType::VarChar, 2, true, 0, 0, "Latin1_General_CI_AI"),
                     Value::text("x"), {0, 0, 9, 0, 0xA7, 2, 0, 0x09, 0x04, 0xF0, 0x00, 0x00}, {1, 0, 'x'}},
        EncodingCase{"VarCharSqlCaseSensitiveCollation", col(SqlType::VarChar, 2, true, 0, 0, "SQL_Latin1_General_CP1_CS_AS"),
                     Value::text("x"), {0, 0, 9, 0, 0xA7, 2, 0, 0x09, 0x04, 0xC0, 0x00, 0x33}, {1, 0, 'x'}},
        EncodingCase{"VarCharWidenedToLongestValue", col(SqlType::VarChar, 5), Value::text("abcdefgh"),
                     {0, 0, 9, 0, 0xA7, 8, 0, COLL}, {8, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}},
        EncodingCase{"TextWithPointer", col(SqlType::Text), Value::text("x"),
                     {0, 0, 9, 0, 0x23, 0xFF, 0xFF, 0xFF, 0x7F, COLL, 0, 0}, {0x10, 1, 0, 0, 0, 'x'}},
        EncodingCase{"TextNull", col(SqlType::Text), Value(), {0, 0, 9, 0, 0x23, 0xFF, 0xFF, 0xFF, 0x7F, COLL, 0, 0}, {0}},
        EncodingCase{"NCharPaddedToWidth", col(SqlType::NChar, 6), Value::text("\xC3\xA7\xC3\xA3"),
                     {0, 0, 9, 0, 0xEF, 6, 0, COLL}, {6, 0, 0xE7, 0, 0xE3, 0, ' ', 0}},
        EncodingCase{"NVarCharUcs2", col(SqlType::NVarChar, 40), Value::text("\xE2\x9C\x93 O'N"),
                     {0, 0, 9, 0, 0xE7, 40, 0, COLL}, {10, 0, 0x13, 0x27, ' ', 0, 'O', 0, '\'', 0, 'N', 0}},
        EncodingCase{"NTextUcs2", col(SqlType::NText), Value::text("\xE6\x97\xA5\xE6\x9C\xAC"),
                     {0, 0, 9, 0, 0x63, 0xFE, 0xFF, 0xFF, 0x7F, COLL, 0, 0}, {0x10, 4, 0, 0, 0, 0xE5, 0x65, 0x2C, 0x67}},
        EncodingCase{"BinaryPaddedWithZeros", col(SqlType::Binary, 4), Value::bytes({0xDE, 0xAD}),
                     {0, 0, 9, 0, 0xAD, 4, 0}, {4, 0, 0xDE, 0xAD, 0, 0}},
        EncodingCase{"VarBinary", col(SqlType::VarBinary, 10), Value::bytes({0, 1, 0xFF}), {0, 0, 9, 0, 0xA5, 10, 0},
                     {3, 0, 0, 1, 0xFF}},
        EncodingCase{"Image", col(SqlType::Image), Value::bytes({1, 2}), {0, 0, 9, 0, 0x22, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0},
                     {0x10, 2, 0, 0, 0, 1, 2}},
        EncodingCase{"TimestampUserType80", col(SqlType::Timestamp, 8, false), Value::integer(0x07D1),
                     {80, 0, 8, 0, 0xAD, 8, 0}, {8, 0, 0, 0, 0, 0, 0, 0, 0x07, 0xD1}},
        EncodingCase{"VariantInt", col(SqlType::SqlVariant), Value::integer(42), {0, 0, 9, 0, 0x62, 0x50, 0x1F, 0, 0},
                     {6, 0, 0, 0, 0x38, 0, 42, 0, 0, 0}},
        EncodingCase{"VariantText", col(SqlType::SqlVariant), Value::text("hi"), {0, 0, 9, 0, 0x62, 0x50, 0x1F, 0, 0},
                     {13, 0, 0, 0, 0xE7, 7, COLL, 0x40, 0x1F, 'h', 0, 'i', 0}},
        EncodingCase{"VariantNull", col(SqlType::SqlVariant), Value(), {0, 0, 9, 0, 0x62, 0x50, 0x1F, 0, 0}, {0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ColumnEncoding, LongValuesTurnVariableTypesIntoLongTypes) {
    struct Case {
        SqlType declared;
        Value value;
        TdsType sent;
    };
    const Case cases[] = {{SqlType::VarChar, Value::text(std::string(8001, 'x')), TdsType::Text},
                          {SqlType::NVarChar, Value::text(std::string(4001, 'x')), TdsType::NText},
                          {SqlType::VarBinary, Value::bytes(db::Bytes(8001, 1)), TdsType::Image},
                          {SqlType::VarChar, Value::text(std::string(8000, 'x')), TdsType::BigVarChar}};
    for (const auto& c : cases) {
        RowSet rows;
        rows.columns = {col(c.declared, 10)};
        rows.rows = {{c.value}, {Value()}};
        EXPECT_EQ(c.sent, planColumn(rows, 0).type) << static_cast<int>(c.declared);
    }
}

TEST(ColumnEncoding, IdentityColumnIsFlagged) {
    RowSet rows;
    rows.columns = {ColumnMeta{"id", SqlType::Int, 4, 0, 0, false, true, ""}};
    EXPECT_EQ(0x18, planColumn(rows, 0).flags);
}

TEST(ColumnEncoding, RefusesValuesTheTypeCannotHold) {
    struct Case {
        const char* name;
        ColumnMeta meta;
        Value value;
    };
    const Case cases[] = {{"TextInInt", col(SqlType::Int), Value::text("abc")},
                          {"TinyIntOverflow", col(SqlType::TinyInt), Value::integer(256)},
                          {"IntOverflow", col(SqlType::Int), Value::integer(1LL << 31)},
                          {"DateBefore1753", col(SqlType::DateTime), at(1700, 1, 1, 0, 0, 0, 0)},
                          {"DecimalTooWide", col(SqlType::Decimal, 0, true, 5, 2), Value::decimal("12345.6")},
                          {"NotAGuid", col(SqlType::UniqueIdentifier), Value::text("0011-22")}};
    for (const auto& c : cases) {
        RowSet rows;
        rows.columns = {c.meta};
        rows.rows = {{c.value}};
        ByteWriter out;
        try {
            writeColumnValue(out, planColumn(rows, 0), c.value);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const ValueEncodingError& e) {
            EXPECT_NE(std::string(e.what()).find("column 'c'"), std::string::npos) << c.name << ": " << e.what();
        }
    }
}

TEST(TextCodec, ConvertsBetweenUtf8Ucs2AndCp1252) {
    EXPECT_EQ((Bytes{'A', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE}), utf8ToUcs2("A\xC3\xA9\xF0\x9F\x98\x80"));
    const Bytes withSurrogates = {'A', 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8, 'B', 0};
    EXPECT_EQ("A\xF0\x9F\x98\x80\xEF\xBF\xBD" "B", ucs2ToUtf8(withSurrogates.data(), withSurrogates.size()));
    EXPECT_EQ((Bytes{0x80, 0x9C, 0xFF, '?', '?'}), utf8ToCp1252("\xE2\x82\xAC\xC5\x93\xC3\xBF\xE2\x9C\x93\xC3"));
    const Bytes cp1252 = {0x80, 0xE9, 0x81};
    EXPECT_EQ("\xE2\x82\xAC\xC3\xA9\xEF\xBF\xBD", cp1252ToUtf8(cp1252.data(), cp1252.size()));
}

}  // namespace
}  // namespace sandbox::wire
