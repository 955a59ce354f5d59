#include <gtest/gtest.h>

#include "db/ado_types.h"
#include "db/odbc/column_types.h"
#include "db/odbc/field_values.h"
#include "db/odbc/tsql_text.h"
#include "db/odbc/wide_text.h"

namespace db::odbc {
namespace {

struct TypeCase {
    const char* typeName;
    SQLSMALLINT sqlType;
    int adoType;
    FetchAs fetchAs;
};

class ColumnTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(ColumnTypes, AdoCodeAsSqlServersProviderReportsIt) {
    const ColumnKind kind = classifyColumn(GetParam().typeName, GetParam().sqlType);
    EXPECT_EQ(kind.adoType, GetParam().adoType);
    EXPECT_EQ(kind.fetchAs, GetParam().fetchAs);
}

// Names and ODBC types as tdsodbc describes each SQL Server 2000 type.
INSTANTIATE_TEST_SUITE_P(
    ColumnTypes, ColumnTypes,
    ::testing::Values(TypeCase{"int", SQL_INTEGER, ado::kInteger, FetchAs::Integer},
                      TypeCase{"smallint", SQL_SMALLINT, ado::kSmallInt, FetchAs::Integer},
                      TypeCase{"tinyint", SQL_TINYINT, ado::kUnsignedTinyInt, FetchAs::Integer},
                      TypeCase{"bigint", SQL_BIGINT, ado::kBigInt, FetchAs::Integer},
                      TypeCase{"bit", SQL_BIT, ado::kBoolean, FetchAs::Boolean},
                      TypeCase{"real", SQL_REAL, ado::kSingle, FetchAs::Single},
                      TypeCase{"float", SQL_DOUBLE, ado::kDouble, FetchAs::Double},
                      TypeCase{"money", SQL_DECIMAL, ado::kCurrency, FetchAs::Decimal},
                      TypeCase{"smallmoney", SQL_DECIMAL, ado::kCurrency, FetchAs::Decimal},
                      TypeCase{"decimal", SQL_NUMERIC, ado::kNumeric, FetchAs::Decimal},
                      TypeCase{"numeric", SQL_NUMERIC, ado::kNumeric, FetchAs::Decimal},
                      TypeCase{"datetime", SQL_TYPE_TIMESTAMP, ado::kDBTimeStamp,
                               FetchAs::DateTime},
                      TypeCase{"char", SQL_CHAR, ado::kChar, FetchAs::Text},
                      TypeCase{"varchar", SQL_VARCHAR, ado::kVarChar, FetchAs::Text},
                      TypeCase{"text", SQL_LONGVARCHAR, ado::kLongVarChar, FetchAs::Text},
                      TypeCase{"nchar", SQL_WCHAR, ado::kWChar, FetchAs::Text},
                      TypeCase{"nvarchar", SQL_WVARCHAR, ado::kVarWChar, FetchAs::Text},
                      TypeCase{"ntext", SQL_WLONGVARCHAR, ado::kLongVarWChar, FetchAs::Text},
                      TypeCase{"binary", SQL_BINARY, ado::kBinary, FetchAs::Bytes},
                      TypeCase{"varbinary", SQL_VARBINARY, ado::kVarBinary, FetchAs::Bytes},
                      TypeCase{"image", SQL_LONGVARBINARY, ado::kLongVarBinary, FetchAs::Bytes},
                      TypeCase{"timestamp", SQL_BINARY, ado::kBinary, FetchAs::Bytes},
                      TypeCase{"uniqueidentifier", SQL_GUID, ado::kGUID, FetchAs::Guid},
                      TypeCase{"sql_variant", -150, ado::kVariant, FetchAs::Text},
                      TypeCase{"int identity", SQL_INTEGER, ado::kInteger, FetchAs::Integer},
                      TypeCase{"xml", SQL_WLONGVARCHAR, ado::kLongVarWChar, FetchAs::Text}),
    [](const auto& info) {
        std::string name = info.param.typeName;
        for (char& c : name) {
            if (c == ' ') c = '_';
        }
        return name;
    });

TEST(FieldValues, DecimalTextLikeTheRecordSetsDeliverIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"12.3400", "12.34"}, {".50", "0.5"},
        {"-0.000", "0"},      {"1234", "1234"},
        {"-.25", "-0.25"},    {"100.00", "100"},
        {"0007.10", "7.1"},   {"-922337203685477.5808", "-922337203685477.5808"}};
    for (const auto& [driverText, expected] : cases) {
        EXPECT_EQ(normalizeDecimalText(driverText), expected) << driverText;
    }
}

TEST(FieldValues, SinglePrintsAsStored) {
    EXPECT_EQ(singleToDouble(0.1f), 0.1);
    EXPECT_EQ(singleToDouble(3.4028235e38f), 3.4028235e38);
    EXPECT_EQ(singleToDouble(-1.5f), -1.5);
}

TEST(FieldValues, GuidIsBracedUpperCase) {
    const SQLGUID guid{
        0x6F9619FF, 0x8B86, 0xD011, {0xB4, 0x2D, 0x00, 0xC0, 0x4F, 0xC9, 0x64, 0xFF}};
    EXPECT_EQ(guidText(guid), "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
}

TEST(TsqlText, LongValueUpdateIsOneStatement) {
    EXPECT_EQ(longValueUpdate("tbDados", "code", "'P1'", "descrit", Value::text("O'Neil")),
              "UPDATE [tbDados] SET [descrit] = N'O''Neil' WHERE [code] = 'P1'");
    EXPECT_EQ(longValueUpdate("tb]x", "id", "7", "img", Value::bytes({0x00, 0xAB, 0xFF})),
              "UPDATE [tb]]x] SET [img] = 0x00ABFF WHERE [id] = 7");
    EXPECT_EQ(longValueUpdate("tbX", "id", "7", "img", Value()),
              "UPDATE [tbX] SET [img] = NULL WHERE [id] = 7");
}

TEST(TsqlText, LiteralPerKind) {
    EXPECT_EQ(literalFor(Value()), "NULL");
    EXPECT_EQ(literalFor(Value::bytes({})), "0x");
    EXPECT_EQ(literalFor(Value::text("")), "N''");
    EXPECT_EQ(literalFor(Value::text("''")), "N''''''");
    EXPECT_EQ(literalFor(Value::integer(42)), "N'42'");
}

TEST(WideText, RoundTripsEveryPlane) {
    const std::string text = "a\xC3\xA7\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, c-cedilla, euro, emoji
    const WideText wide = toWide(text);
    EXPECT_EQ(wide, (WideText{0x61, 0xE7, 0x20AC, 0xD83D, 0xDE00}));
    EXPECT_EQ(fromWide(wide.data(), wide.size()), text);
}

TEST(WideText, MalformedInputBecomesReplacementCharacter) {
    EXPECT_EQ(toWide("a\xC3"), (WideText{0x61, 0xFFFD}));
    EXPECT_EQ(toWide("\xC0\xAF"), (WideText{0xFFFD, 0xFFFD}));
    const SQLWCHAR loneSurrogate[] = {0xD800, 0x41};
    EXPECT_EQ(fromWide(loneSurrogate, 2),
              "\xEF\xBF\xBD"
              "A");
}

}  // namespace
}  // namespace db::odbc
