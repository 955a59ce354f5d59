#include "registry/text_encoding.h"

#include <gtest/gtest.h>

namespace registry {
namespace {

TEST(TextEncoding, EveryWindows1252ByteRoundTrips) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
    EXPECT_EQ(utf8ToWindows1252(windows1252ToUtf8(all)), all);
    EXPECT_EQ(windows1252ToUtf8("Ol\xE1 \x80\x9F\x81"), "Olá €Ÿ\xC2\x81");
    EXPECT_EQ(utf8ToWindows1252("Olá € ✓ 😀"), "Ol\xE1 \x80 ? ?");
}

TEST(TextEncoding, BadSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(utf16leToUtf8(std::string("A\0\xE1\0", 4)), "Aá");
    EXPECT_EQ(utf16leToUtf8(std::string("\x3D\xD8\x00\xDE", 4)), "😀");        // a surrogate pair
    EXPECT_EQ(utf16leToUtf8(std::string("\x3D\xD8" "A\0" "B", 5)), "\uFFFDA\uFFFD");  // unpaired, odd byte
    EXPECT_EQ(utf8ToWindows1252("a\xFF" "b\xC3"), "a?b?");
}

TEST(TextEncoding, LetterCaseIsIgnoredForLatinLetters) {
    EXPECT_TRUE(equalsIgnoringCase("Software\\Ação", "SOFTWARE\\AÇÃO"));
    EXPECT_TRUE(equalsIgnoringCase("Ÿšœž Łą", "ÿŠŒŽ łĄ"));
    EXPECT_FALSE(equalsIgnoringCase("a×", "a÷"));
    EXPECT_FALSE(equalsIgnoringCase("dtUser", "dtUsers"));
    EXPECT_EQ(foldCase("HKEY_Local_Machine\\Ação"), "hkey_local_machine\\ação");
    EXPECT_EQ(foldedWindows1252(0xC7), U'ç');
    EXPECT_EQ(foldedWindows1252(0x8A), U'š');
}

TEST(TextEncoding, CharactersAreCountedAndDroppedWhole) {
    EXPECT_EQ(characterCount("Ação"), 4u);
    EXPECT_EQ(withoutLastCharacter("Açã"), "Aç");
    EXPECT_EQ(withoutLastCharacter(std::string("sa\0", 3)), "sa");
    EXPECT_EQ(withoutLastCharacter(""), "");
}

}  // namespace
}  // namespace registry
