#include "db/value.h"

#include <gtest/gtest.h>

namespace db {
namespace {

TEST(Value, TextFormsAreLocaleFree) {
    EXPECT_EQ(Value::integer(-42).toText(), "-42");
    EXPECT_EQ(Value::real(-1.5).toText(), "-1.5");
    EXPECT_EQ(Value::real(0.1).toText(), "0.1");
    EXPECT_EQ(Value::real(1234567.125).toText(), "1234567.125");
    EXPECT_EQ(Value::real(1e21).toText(), "1E+21");
    EXPECT_EQ(Value::decimal("1234.5000").toText(), "1234.5000");
    EXPECT_EQ(Value::boolean(true).toText(), "True");
    EXPECT_EQ(Value::dateTime({2004, 3, 7, 14, 5, 9, 0}).toText(), "2004-03-07 14:05:09");
    EXPECT_EQ(Value().toText(), "");
}

TEST(DateTime, OleDatesRoundTrip) {
    EXPECT_EQ(DateTime::fromOleDate(0.0), (DateTime{1899, 12, 30, 0, 0, 0, 0}));
    EXPECT_EQ(DateTime::fromOleDate(38053.5), (DateTime{2004, 3, 7, 12, 0, 0, 0}));
    EXPECT_EQ(DateTime::fromOleDate(-1.25), (DateTime{1899, 12, 29, 6, 0, 0, 0}));
    EXPECT_DOUBLE_EQ((DateTime{2004, 3, 7, 12, 0, 0, 0}).toOleDate(), 38053.5);
}

TEST(DateTime, ParsesIsoForms) {
    EXPECT_EQ(DateTime::parse("2004-03-07"), (DateTime{2004, 3, 7, 0, 0, 0, 0}));
    EXPECT_EQ(DateTime::parse("2004-03-07 14:05:09.25"), (DateTime{2004, 3, 7, 14, 5, 9, 250}));
    EXPECT_EQ(DateTime::parse("2004-02-30"), std::nullopt);
    EXPECT_EQ(DateTime::parse("abc"), std::nullopt);
}

}  // namespace
}  // namespace db
