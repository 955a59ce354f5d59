#include "db/text_encoding.h"

#include <gtest/gtest.h>

namespace db {
namespace {

// Every byte 0x80-0x9F of Windows-1252, as the code page defines it; the five it leaves
// undefined come out as the C1 control of their own number.
TEST(Windows1252, TheHighControlRangeMapsToItsTypographicCharacters) {
    const char32_t expected[32] = {
        U'€', 0x81, U'‚', U'ƒ', U'„', U'…', U'†', U'‡', U'ˆ', U'‰', U'Š', U'‹', U'Œ', 0x8D, U'Ž', 0x8F,
        0x90, U'‘', U'’', U'“', U'”', U'•', U'–', U'—', U'˜', U'™', U'š', U'›', U'œ', 0x9D, U'ž', U'Ÿ'};
    for (unsigned byte = 0x80; byte < 0xA0; ++byte) {
        EXPECT_EQ(windows1252CodePoint(static_cast<unsigned char>(byte)), expected[byte - 0x80]) << byte;
    }
    EXPECT_EQ(windows1252CodePoint('A'), U'A');
    EXPECT_EQ(windows1252CodePoint(0xA0), 0xA0u);
    EXPECT_EQ(windows1252CodePoint(0xE7), U'ç');
    EXPECT_EQ(windows1252CodePoint(0xFF), U'ÿ');
}

TEST(Windows1252, ConvertsToUtf8) {
    EXPECT_EQ(windows1252ToUtf8("Gest\xE3o \x80 \x93x\x94 \x81"), "Gestão € “x” \xC2\x81");
    EXPECT_EQ(windows1252ToUtf8(""), "");
}

struct Utf8Case {
    const char* name;
    std::string bytes;
    bool valid;
};

class Utf8Validity : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Validity, IsJudgedSequenceBySequence) {
    EXPECT_EQ(isValidUtf8(GetParam().bytes), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Validity,
    ::testing::Values(Utf8Case{"Ascii", "Gestao", true}, Utf8Case{"TwoBytes", "Ação", true},
                      Utf8Case{"ThreeBytes", "€", true}, Utf8Case{"FourBytes", "\xF0\x9F\x98\x80", true},
                      Utf8Case{"Latin1Byte", "A\xE7\xE3o", false},
                      Utf8Case{"StrayContinuation", "a\x80", false},
                      Utf8Case{"TruncatedAtEnd", "a\xC3", false},
                      Utf8Case{"Overlong", "\xC0\xAF", false},
                      Utf8Case{"Surrogate", "\xED\xA0\x80", false},
                      Utf8Case{"PastUnicode", "\xF4\x90\x80\x80", false},
                      Utf8Case{"Windows1252Quotes", "\x93x\x94", false}),
    [](const ::testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.name); });

TEST(Windows1252, FitsWhenEveryCharacterHasAByte) {
    EXPECT_TRUE(db::fitsWindows1252(""));
    EXPECT_TRUE(db::fitsWindows1252("Ação ÿ € ’ Ž"));
    EXPECT_TRUE(db::fitsWindows1252("\xC2\x81"));  // U+0081 keeps its byte
    EXPECT_FALSE(db::fitsWindows1252("Ωμέγα"));
    EXPECT_FALSE(db::fitsWindows1252("a漢"));
    EXPECT_FALSE(db::fitsWindows1252("\xC2\x80"));  // U+0080: the byte 0x80 is €
    EXPECT_FALSE(db::fitsWindows1252("\xC3("));      // not UTF-8
}

TEST(Utf8, NextUtf8MovesPastOneSequenceOrOneBadByte) {
    std::size_t pos = 1;
    EXPECT_EQ(nextUtf8("a\xC3\xA7", pos), U'ç');
    EXPECT_EQ(pos, 3u);
    pos = 0;
    EXPECT_EQ(nextUtf8("\xC3(", pos), std::nullopt);
    EXPECT_EQ(pos, 1u);
}

TEST(Utf8OrWindows1252, ValidUtf8StaysAndAnythingElseIsReadAsWindows1252) {
    EXPECT_EQ(utf8OrWindows1252("Servidor Ação\r\n"), "Servidor Ação\r\n");
    EXPECT_EQ(utf8OrWindows1252("\xEF\xBB\xBFGest\xC3\xA3o"), "Gestão");
    EXPECT_EQ(utf8OrWindows1252("Gest\xE3o\r\nJos\xE9"), "Gestão\r\nJosé");
    // One byte that is not UTF-8 decides for the whole file: the valid-looking "Ã£" pair
    // is Windows-1252 too.
    EXPECT_EQ(utf8OrWindows1252("\xC3\xA3 \xE9"), "Ã£ é");
}

}  // namespace
}  // namespace db
