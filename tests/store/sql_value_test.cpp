#include "store/sql_value.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/error.h"
#include "recording_reporter.h"
#include "report/error_reporter.h"

namespace store {
namespace {

// Runs every formatting test under a decimal-comma locale, C and C++ alike, so that a
// number formatted through the locale would show a comma or a thousands separator.
class CommaLocale : public ::testing::Environment {
public:
    void SetUp() override {
        for (const char* name : {"pt_PT.UTF-8", "de_DE.UTF-8"}) {
            if (std::setlocale(LC_ALL, name)) {
                std::locale::global(std::locale(name));
                m_active = name;
                return;
            }
        }
        FAIL()
            << "no decimal-comma locale is installed (scripts/install-deps installs locales-all)";
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        std::locale::global(std::locale::classic());
    }

private:
    std::string m_active;
};

const auto* const kCommaLocale = ::testing::AddGlobalTestEnvironment(new CommaLocale);

TEST(CommaLocale, IsActive) { EXPECT_EQ(std::string(std::localeconv()->decimal_point), ","); }

db::Value date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return db::Value::dateTime(db::DateTime{y, mo, d, h, mi, s, ms});
}

struct FormatCase {
    const char* name;
    db::Value value;
    int kind;
    const char* literal;
};

class SQLValueFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(SQLValueFormats, TheLiteral) {
    EXPECT_EQ(SQLValue(GetParam().value, GetParam().kind), GetParam().literal);
    std::string appended = "x, ";  // the same text after what a command already holds
    AppendSQLValue(appended, GetParam().value, GetParam().kind);
    EXPECT_EQ(appended, std::string("x, ") + GetParam().literal);
}

const FormatCase kFormatCases[] = {
    {"EmptyTextIsNullAsText", db::Value::text(""), kSqlText, "null"},
    {"EmptyTextIsNullAsNumber", db::Value::text(""), kSqlNumber, "null"},
    {"EmptyTextIsNullAsDate", db::Value::text(""), kSqlDate, "null"},
    {"NullIsNullAsText", db::Value(), kSqlText, "null"},
    {"NullIsNullAsNumber", db::Value(), kSqlNumber, "null"},
    {"NullIsNullAsDate", db::Value(), kSqlDate, "null"},
    {"BlanksOnlyTrimToAnEmptyLiteral", db::Value::text("   "), kSqlText, "''"},
    {"TextIsTrimmedAndEscapedForTheStore", db::Value::text("  O'Neil "), kSqlText,
     "'O'+CHR(39)+'Neil'"},
    {"TwoApostrophes", db::Value::text("'a'"), kSqlText, "''+CHR(39)+'a'+CHR(39)+''"},
    {"TabsAreNotBlanks", db::Value::text("\tx "), kSqlText, "'\tx'"},
    {"NumberAsText", db::Value::integer(42), kSqlText, "'42'"},
    {"DoubleAsTextKeepsThePoint", db::Value::real(-1.5), kSqlText, "'-1.5'"},
    {"Zero", db::Value::integer(0), kSqlNumber, "0"},
    {"MinusOneAndAHalf", db::Value::real(-1.5), kSqlNumber, "-1.5"},
    {"LargeIntegerHasNoSeparators", db::Value::integer(1234567890123), kSqlNumber, "1234567890123"},
    {"DoubleShortestRoundTrip", db::Value::real(0.1), kSqlNumber, "0.1"},
    {"DoubleAllDigits", db::Value::real(1234567.125), kSqlNumber, "1234567.125"},
    {"DoubleNotRoundedToSixDigits", db::Value::real(3.14159265358979), kSqlNumber,
     "3.14159265358979"},
    {"HugeDouble", db::Value::real(1e21), kSqlNumber, "1E+21"},
    {"DecimalExactly", db::Value::decimal("1234.5000"), kSqlNumber, "1234.5000"},
    {"CurrencyExactly", db::Value::decimal("-922337203685477.5808"), kSqlNumber,
     "-922337203685477.5808"},
    {"TextWithDecimalComma", db::Value::text("1234,5"), kSqlNumber, "1234.5"},
    {"TrueIsOne", db::Value::boolean(true), kSqlNumber, "1"},
    {"FalseIsZero", db::Value::boolean(false), kSqlNumber, "0"},
    {"DateTime", date(2004, 3, 7, 14, 5, 9), kSqlDate,
     "CONVERT(DATETIME,'2004-03-07 14:05:09',102)"},
    {"FirstSqlServerDate", date(1753, 1, 1), kSqlDate,
     "CONVERT(DATETIME,'1753-01-01 00:00:00',102)"},
    {"Year1500", date(1500, 1, 1), kSqlDate, "CONVERT(DATETIME,'1500-01-01 00:00:00',102)"},
    {"Year1499IsNull", date(1499, 12, 31, 23, 59, 59), kSqlDate, "null"},
    {"MillisecondsRoundDown", date(2004, 3, 7, 14, 5, 9, 499), kSqlDate,
     "CONVERT(DATETIME,'2004-03-07 14:05:09',102)"},
    {"MillisecondsRoundUpIntoTheNextYear", date(1999, 12, 31, 23, 59, 59, 500), kSqlDate,
     "CONVERT(DATETIME,'2000-01-01 00:00:00',102)"},
    {"NumberIsAnOleDate", db::Value::real(38053.5), kSqlDate,
     "CONVERT(DATETIME,'2004-03-07 12:00:00',102)"},
    {"ZeroIsTheOleEpoch", db::Value::integer(0), kSqlDate,
     "CONVERT(DATETIME,'1899-12-30 00:00:00',102)"},
    {"IsoText", db::Value::text("2004-03-07 14:05"), kSqlDate,
     "CONVERT(DATETIME,'2004-03-07 14:05:00',102)"},
    {"DayFirstText", db::Value::text(" 7/3/2004 "), kSqlDate,
     "CONVERT(DATETIME,'2004-03-07 00:00:00',102)"},
    {"KindFourIsEmpty", db::Value::text("x"), 4, ""},
    {"KindZeroIsEmptyEvenForNull", db::Value(), 0, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, SQLValueFormats, ::testing::ValuesIn(kFormatCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SQLValue, ANonDateAsDateIsATypeMismatchForTheCaller) {
    for (const db::Value& value : {db::Value::text("abc"), db::Value::text("31-02-2004"),
                                   db::Value::bytes({1}), db::Value::real(1e10)}) {
        SCOPED_TRACE(value.toText());
        try {
            SQLValue(value, kSqlDate);
            FAIL() << "accepted as a date";
        } catch (const db::Error& e) {
            EXPECT_EQ(e.number(), 13);
            EXPECT_EQ(e.description(), "Type mismatch");
        }
    }
}

TEST(SQLValue, FieldsAndTypedTextFormatTheirValue) {
    const db::Column column{"nome", 202};
    const db::Value value = db::Value::text("a'b");
    EXPECT_EQ(SQLValue(db::Field(column, value), kSqlText), "'a'+CHR(39)+'b'");
    EXPECT_EQ(SQLValue(std::string("tbA"), kSqlText), "'tbA'");
}

TEST(SQLTextKeepingBlanks, QuotesLikeSQLValueButKeepsEveryBlank) {
    EXPECT_EQ(SQLTextKeepingBlanks(db::Value::text("  O'Neil ")), "'  O'+CHR(39)+'Neil '");
    EXPECT_EQ(SQLTextKeepingBlanks(db::Value::text("   ")), "'   '");
    EXPECT_EQ(SQLTextKeepingBlanks(db::Value::text("\r\nEND\r\n")), "'\r\nEND\r\n'");
    EXPECT_EQ(SQLTextKeepingBlanks(db::Value::text("")), "null");
    EXPECT_EQ(SQLTextKeepingBlanks(db::Value()), "null");
}

// The same value written for the store and for SQL Server: only a text's apostrophes
// differ, every other rule is shared.
struct DestinationCase {
    const char* name;
    db::Value value;
    int kind;
    const char* forStore;
    const char* forServer;
};

class LiteralDestinations : public ::testing::TestWithParam<DestinationCase> {};

TEST_P(LiteralDestinations, StoreAndServerForms) {
    const DestinationCase& c = GetParam();
    EXPECT_EQ(SQLValue(c.value, c.kind), c.forStore);
    EXPECT_EQ(SQLValueForServer(c.value, c.kind), c.forServer);
}

const DestinationCase kDestinationCases[] = {
    {"TrimmedNameWithApostrophe", db::Value::text("  tbO'Neil "), kSqlText, "'tbO'+CHR(39)+'Neil'",
     "'tbO''Neil'"},
    {"KeyValue", db::Value::text("d'Ouro"), kSqlText, "'d'+CHR(39)+'Ouro'", "'d''Ouro'"},
    {"Sentence", db::Value::text("Não permitir apagar o cliente d'Aveiro"), kSqlText,
     "'Não permitir apagar o cliente d'+CHR(39)+'Aveiro'", "'Não permitir apagar o cliente d''Aveiro'"},
    {"ApostrophesOnly", db::Value::text("''"), kSqlText, "''+CHR(39)+''+CHR(39)+''", "''''''"},
    {"PlainText", db::Value::text("tbX"), kSqlText, "'tbX'", "'tbX'"},
    {"BlanksOnly", db::Value::text("   "), kSqlText, "''", "''"},
    {"EmptyText", db::Value::text(""), kSqlText, "null", "null"},
    {"NullText", db::Value(), kSqlText, "null", "null"},
    {"Number", db::Value::real(-1.5), kSqlNumber, "-1.5", "-1.5"},
    {"Date", date(2004, 3, 7, 14, 5, 9), kSqlDate, "CONVERT(DATETIME,'2004-03-07 14:05:09',102)",
     "CONVERT(DATETIME,'2004-03-07 14:05:09',102)"},
    {"OtherKind", db::Value::text("x"), 4, "", ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, LiteralDestinations, ::testing::ValuesIn(kDestinationCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SQLValueForServer, FieldsAndTypedTextFormatTheirValue) {
    const db::Value value = db::Value::text("a'b");
    EXPECT_EQ(SQLValueForServer(db::Field(db::Column{"nome", 202}, value), kSqlText), "'a''b'");
    EXPECT_EQ(SQLValueForServer(std::string("O'Neil"), kSqlText), "'O''Neil'");
}

TEST(BracketName, DoublesAClosingBracket) {
    EXPECT_EQ(BracketName("tbX"), "[tbX]");
    EXPECT_EQ(BracketName("Customer Orders"), "[Customer Orders]");
    EXPECT_EQ(BracketName("tbO'Neil"), "[tbO'Neil]");
    EXPECT_EQ(BracketName("a]b]"), "[a]]b]]]");
    EXPECT_EQ(BracketName(" x "), "[ x ]");
}

TEST(DoubleApostrophes, DoublesEveryApostropheAndKeepsBlanks) {
    EXPECT_EQ(DoubleApostrophes(" d'Almeida "), " d''Almeida ");
    EXPECT_EQ(DoubleApostrophes("x'); DROP TABLE tbUsers; --"), "x''); DROP TABLE tbUsers; --");
    EXPECT_EQ(DoubleApostrophes("''"), "''''");
}

// Regular identifiers stay unbracketed; any other name is bracketed.
TEST(NameForStatement, BracketsOnlyWhatIsNoRegularIdentifier) {
    const std::pair<const char*, const char*> cases[] = {
        {"tbMenu_Main", "tbMenu_Main"},
        {"IX_tbX_data", "IX_tbX_data"},
        {"ação", "ação"},
        {"_c1@$#", "_c1@$#"},
        {"tbO'Neil", "[tbO'Neil]"},
        {"Customer Orders", "[Customer Orders]"},
        {"a]b", "[a]]b]"},
        {"1abc", "[1abc]"},
        {"#tmp", "[#tmp]"},
        {"@x", "[@x]"},
        {"", "[]"},
    };
    for (const auto& [name, written] : cases) EXPECT_EQ(NameForStatement(name), written) << name;
}

TEST(LowerCase, SmallLettersForAsciiAndLatin1) {
    EXPECT_EQ(LowerCase("ÁREA_Código ×Ø"), "área_código ×ø");
    EXPECT_EQ(LowerCase("[ID]"), "[id]");
}

TEST(ReplaceChar, ReplacesOneCharacterByAnother) {
    EXPECT_EQ(ReplaceChar(db::Value::text("1,2,3"), ",", "."), "1.2.3");
    EXPECT_EQ(ReplaceChar(db::Value::text("ação"), "ç", "c"), "acão");
    EXPECT_EQ(ReplaceChar(db::Value::text("abc"), "x", "y"), "abc");
    EXPECT_EQ(ReplaceChar(db::Value::real(2.5), ".", ","), "2,5");
    EXPECT_EQ(ReplaceChar(db::Value::text("1,2"), ",.", "."), "");
    EXPECT_EQ(ReplaceChar(db::Value::text("1,2"), ",", ""), "");
}

TEST(Transform, MarksApostrophesInAQuotedLiteral) {
    EXPECT_EQ(Transform(db::Value()), "null");
    EXPECT_EQ(Transform(db::Value::text("")), "null");
    EXPECT_EQ(Transform(db::Value::text("a'b")), "'a!39!b'");
    EXPECT_EQ(Transform(db::Value::text("  it's  ")), "'it!39!s'");
    // The text's own markers are split, so that the replay gives them back as they were.
    EXPECT_EQ(Transform(db::Value::text("a!39!b")), "'a!' + '39!b'");
    EXPECT_EQ(Transform(db::Value::text("!39'")), "'!' + '39!39!'");
    EXPECT_EQ(DeTransform("'!' + '39!39!'"), "'!' + '39' + CHAR(39) + ''");
    EXPECT_EQ(Transform(db::Value::text("!3!9!39")), "'!3!9!39'");
    std::string national;
    AppendTransform(national, db::Value::text("Ω!39!ς'"), true);
    EXPECT_EQ(national, "N'Ω!' + N'39!ς!39!'");
    EXPECT_EQ(DeTransform(db::Value::text("'a!39!b'")), "'a' + CHAR(39) + 'b'");
    EXPECT_EQ(DeTransform(db::Value::text("")), "");
    EXPECT_EQ(DeTransform(db::Value()), "");
    EXPECT_EQ(MarkApostrophes("O'Neil's"), "O!39!Neil!39!s");
    EXPECT_EQ(UnmarkApostrophes("it!39!s !39"), "it's !39");
}

TEST(Transform, AKeptCommandSurvivesTheStoreAndReplaysAsValidSql) {
    // The capture writes the row's text with Transform, stores the command with
    // SQLValue; the store's own text of that literal is the command as built.
    const std::string command =
        "INSERT INTO tbA (Nome) VALUES (" + Transform(db::Value::text("O'Neil")) + ")";
    EXPECT_EQ(command, "INSERT INTO tbA (Nome) VALUES ('O!39!Neil')");
    EXPECT_EQ(SQLValue(command, kSqlText),
              "'INSERT INTO tbA (Nome) VALUES ('+CHR(39)+'O!39!Neil'+CHR(39)+')'");
    EXPECT_EQ(DeTransform(command), "INSERT INTO tbA (Nome) VALUES ('O' + CHAR(39) + 'Neil')");
}

// Inside an N literal the literal reopened after the apostrophe is an N literal too; a
// marker inside a bracketed name is the name's own text and stays.
TEST(Transform, AnNLiteralStaysWideAfterEachApostropheAndANameKeepsItsMarker) {
    EXPECT_EQ(DeTransform("INSERT INTO t (a, b) VALUES (N'Ω!39!ς!39!', 'O!39!Neil')"),
              "INSERT INTO t (a, b) VALUES (N'Ω' + CHAR(39) + N'ς' + CHAR(39) + N'', "
              "'O' + CHAR(39) + 'Neil')");
    EXPECT_EQ(DeTransform("INSERT INTO [N'x]];--!39!] ([a!39!]) VALUES ('N''a!39!')"),
              "INSERT INTO [N'x]];--!39!] ([a!39!]) VALUES ('N''a' + CHAR(39) + '')");
    EXPECT_EQ(DeTransform("SELECT 1 AS IN'x!39!'"), "SELECT 1 AS IN'x' + CHAR(39) + ''");
    EXPECT_EQ(DeTransform("SELECT n'a!39!'"), "SELECT n'a' + CHAR(39) + N''");
}

// An apostrophe, bracket or double quote inside a comment or a double-quoted name opens
// nothing: the markers after it are still read where they stand (a literal, an N literal,
// a name). A marker inside a double-quoted name is the name's own text.
TEST(Transform, CommentsAndQuotedNamesDoNotDisturbTheMarkers) {
    struct Case {
        const char* command;
        const char* replayed;
    };
    const Case cases[] = {
        {"-- it's [x\r\nUPDATE t SET a = 'x [y!39!z]'",
         "-- it's [x\r\nUPDATE t SET a = 'x [y' + CHAR(39) + 'z]'"},
        {"UPDATE t SET a = N'Ω' -- isn't it\nUPDATE t SET b = N'x!39!y'",
         "UPDATE t SET a = N'Ω' -- isn't it\nUPDATE t SET b = N'x' + CHAR(39) + N'y'"},
        {"/* it's /* [nested */ ' */ UPDATE t SET a = N'x!39!y'",
         "/* it's /* [nested */ ' */ UPDATE t SET a = N'x' + CHAR(39) + N'y'"},
        {"UPDATE \"it's \"\"[a!39!\" SET a = N'x!39!y'",
         "UPDATE \"it's \"\"[a!39!\" SET a = N'x' + CHAR(39) + N'y'"},
        {"UPDATE t SET a = '-- /* \" [ !39!' -- !39!",
         "UPDATE t SET a = '-- /* \" [ ' + CHAR(39) + '' -- ' + CHAR(39) + '"},
    };
    for (const Case& c : cases) EXPECT_EQ(DeTransform(c.command), c.replayed) << c.command;
}

TEST(Trtf, EscapesAndChangesItsArgument) {
    std::string text = "O'Neil's";
    EXPECT_EQ(Trtf(text), "O'+CHR(39)+'Neil'+CHR(39)+'s");
    EXPECT_EQ(text, "O'+CHR(39)+'Neil'+CHR(39)+'s");
    std::string plain = "Neil";
    EXPECT_EQ(Trtf(plain), "Neil");
}

struct NumericCase {
    const char* name;
    db::Value value;
    bool numeric;
};

class IsNumericTest : public ::testing::TestWithParam<NumericCase> {};

TEST_P(IsNumericTest, DecidesTheKeyLiteral) {
    EXPECT_EQ(IsNumeric(GetParam().value), GetParam().numeric);
}

const NumericCase kNumericCases[] = {
    {"Integer", db::Value::integer(12), true},
    {"Double", db::Value::real(-1.5), true},
    {"Decimal", db::Value::decimal("10.25"), true},
    {"Boolean", db::Value::boolean(true), true},
    {"DigitsText", db::Value::text("12"), true},
    {"SignedCommaTextWithBlanks", db::Value::text(" -1,5 "), true},
    {"ExponentText", db::Value::text("1E3"), true},
    {"LeadingPoint", db::Value::text(".5"), true},
    {"VersionText", db::Value::text("1.2.3"), false},
    {"WordText", db::Value::text("abc"), false},
    {"DigitsThenLetters", db::Value::text("12abc"), false},
    {"SignAlone", db::Value::text("-"), false},
    {"PointAlone", db::Value::text("."), false},
    {"EmptyText", db::Value::text(""), false},
    {"Null", db::Value(), false},
    {"Date", date(2004, 3, 7), false},
};

INSTANTIATE_TEST_SUITE_P(Cases, IsNumericTest, ::testing::ValuesIn(kNumericCases),
                         [](const auto& info) { return std::string(info.param.name); });

using testing_support::RecordingReporter;

TEST(CheckField, FindsFieldsInCapitals) {
    const db::Recordset rs({{"only_if_empty", 11}, {"Descrição", 202}},
                           std::vector<std::vector<db::Value>>{});
    EXPECT_TRUE(CheckField(rs, "ONLY_IF_EMPTY"));
    EXPECT_TRUE(CheckField(rs, "DESCRIÇÃO"));
    EXPECT_FALSE(CheckField(rs, "only_if"));
}

TEST(CheckField, AClosedRecordsetIsReportedAndAnswersFalse) {
    RecordingReporter recorder;
    report::ScopedErrorReporter scope(recorder);
    const db::Recordset closed;
    EXPECT_FALSE(CheckField(closed, "x"));
    ASSERT_EQ(recorder.reports.size(), 1u);
    EXPECT_EQ(recorder.reports[0],
              (std::vector<std::string>{
                  "Orlin Software", "Ferramentas Administrativas", "modData", "CheckField",
                  "Error Number = 3704 | Description = Operation is not allowed when the "
                  "object is closed."}));

    recorder.fail = true;
    EXPECT_THROW(CheckField(closed, "x"), std::runtime_error);
}

}  // namespace
}  // namespace store
