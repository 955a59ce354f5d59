#include "registry/reg_file.h"

#include <gtest/gtest.h>

#include "registry_files.h"

namespace registry {
namespace {

using testing_support::RegFormat;
using testing_support::regFileBytes;

constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App";

// One export with every kind of line, written in both formats.
const std::string kBody =
    "; a comment line\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App]\r\n"
    "@=\"default\"\r\n"
    "\"dtDataSource\"=\"srv\\\\inst\"\r\n"
    "\"dtUser\"=\"o\\\"Neil ação\"\r\n"
    "\"Empty\"=\"\"\r\n"
    "\"Count\"=dword:0000001f\r\n"
    "\"Max\"=dword:ffffffff\r\n"
    "\"Bin\"=hex:41,e1,00\r\n"
    "\"Gone\"=\"soon\"\r\n"
    "\"Gone\"=-\r\n"
    "\"Malformed\"=\"no closing quote\r\n"
    "\"Weird\"=dword:xyz\r\n"
    "\r\n"
    "[hkey_local_machine\\software\\marvane\\app]\r\n"
    "\"DTUSER\"=\"later wins\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\Old]\r\n"
    "\"a\"=\"1\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\Old\\Sub]\r\n"
    "\"a\"=\"2\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\Old Sibling]\r\n"
    "\"a\"=\"3\"\r\n"
    "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\Old]\r\n";

class RegFileFormats : public ::testing::TestWithParam<RegFormat> {};

TEST_P(RegFileFormats, ReadsEveryKindOfLine) {
    const RegFile file = parseRegFile(regFileBytes(GetParam(), kBody));
    auto value = [&](const char* key, const char* name) -> std::optional<RegValue> {
        const RegValue* found = file.find(key, name);
        return found ? std::optional<RegValue>(*found) : std::nullopt;
    };
    using namespace std::string_literals;
    EXPECT_EQ(value(kKey, ""), (RegValue{regtype::kString, "default\0"s}));
    EXPECT_EQ(value(kKey, "dtDataSource"), (RegValue{regtype::kString, "srv\\inst\0"s}));
    EXPECT_EQ(value(kKey, "DtUser"), (RegValue{regtype::kString, "later wins\0"s}));
    EXPECT_EQ(value(kKey, "Empty"), (RegValue{regtype::kString, "\0"s}));
    EXPECT_EQ(value(kKey, "Count"), (RegValue{regtype::kDword, "31\0"s}));
    EXPECT_EQ(value(kKey, "Max"), (RegValue{regtype::kDword, "4294967295\0"s}));
    EXPECT_EQ(value(kKey, "Bin"), (RegValue{regtype::kBinary, "Aá\0"s}));
    EXPECT_EQ(value(kKey, "Gone"), std::nullopt);
    EXPECT_EQ(value(kKey, "Malformed"), std::nullopt);
    EXPECT_EQ(value(kKey, "Weird"), std::nullopt);
    EXPECT_EQ(value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\Old", "a"), std::nullopt);
    EXPECT_EQ(value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\Old\\Sub", "a"), std::nullopt);
    EXPECT_EQ(value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\Old Sibling", "a"),
              (RegValue{regtype::kString, "3\0"s}));
    EXPECT_EQ(file.keyCount(), 2u);
}

TEST_P(RegFileFormats, StringKindsInHexReadAsTextOfTheFormatsEncoding) {
    // "%TEMP%\ç" as REG_EXPAND_SZ and the list "a", "é" as REG_MULTI_SZ, in the bytes each
    // format writes them, the long one continued over three lines.
    const bool unicode = GetParam() == RegFormat::Unicode;
    const std::string expand = unicode ? "25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,e7,00,00,00"
                                       : "25,54,45,4d,50,25,5c,e7,00";
    const std::string multi = unicode ? "61,00,00,00,\\\r\n  e9,00,00,00,\\\r\n  00,00" : "61,00,e9,00,00";
    const RegFile file = parseRegFile(regFileBytes(
        GetParam(), "[HKEY_LOCAL_MACHINE\\A]\r\n\"Path\"=hex(2):" + expand + "\r\n\"List\"=hex(7):" +
                        multi + "\r\n\"After\"=\"x\"\r\n"));
    using namespace std::string_literals;
    ASSERT_NE(file.find("HKEY_LOCAL_MACHINE\\A", "Path"), nullptr);
    EXPECT_EQ(*file.find("HKEY_LOCAL_MACHINE\\A", "Path"), (RegValue{regtype::kExpandString, "%TEMP%\\ç\0"s}));
    ASSERT_NE(file.find("HKEY_LOCAL_MACHINE\\A", "List"), nullptr);
    EXPECT_EQ(*file.find("HKEY_LOCAL_MACHINE\\A", "List"), (RegValue{regtype::kMultiString, "a\0é\0\0"s}));
    EXPECT_NE(file.find("HKEY_LOCAL_MACHINE\\A", "After"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Formats, RegFileFormats,
                         ::testing::Values(RegFormat::Unicode, RegFormat::Ansi),
                         [](const auto& info) {
                             return info.param == RegFormat::Unicode ? "Version5" : "Regedit4";
                         });

TEST(RegFile, BytesWithoutAHeaderOrKeyAreNoRegistry) {
    EXPECT_EQ(parseRegFile("").keyCount(), 0u);
    EXPECT_EQ(parseRegFile("[HKEY_LOCAL_MACHINE\\A]\r\n\"a\"=\"1\"\r\n").keyCount(), 0u);
    EXPECT_EQ(parseRegFile("REGEDIT4\n\"a\"=\"1\"\n[HKEY_LOCAL_MACHINE\\A\n\"b\"=\"2\"\n").keyCount(), 0u);
    // A UTF-8 export with its mark and LF line ends reads too.
    EXPECT_NE(parseRegFile("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n[HKEY_USERS\\A]\n\"a\"=\"é\"\n")
                  .find("HKEY_USERS\\A", "a"),
              nullptr);
    // A mark over bytes that are not UTF-8 does not pass them on: they read as Windows-1252.
    const RegFile marked = parseRegFile("\xEF\xBB\xBFREGEDIT4\r\n[HKEY_USERS\\A]\r\n\"a\"=\"Gest\xE3o\"\r\n");
    ASSERT_NE(marked.find("HKEY_USERS\\A", "a"), nullptr);
    EXPECT_EQ(marked.find("HKEY_USERS\\A", "a")->data, std::string("Gest\xC3\xA3o") + '\0');
}

// A file without a byte-order mark (as an editor on Linux writes it) reads as UTF-8 when
// its bytes are valid UTF-8, otherwise as Windows-1252, under either header: accented
// names and a stored password of characters above 127 arrive as they were written.
TEST(RegFile, AFileWithoutAMarkReadsAsUtf8WhenItIsOtherwiseAsWindows1252) {
    struct Case {
        const char* header;
        std::string bytes;  // the value's text as the file holds it
    };
    const std::string expected = "Gest\xC3\xA3o \xC3\xBF\xC2\xA9\xE2\x80\xB0";  // "Gestão ÿ©‰"
    const Case cases[] = {
        {"Windows Registry Editor Version 5.00", expected},
        {"REGEDIT4", expected},
        {"Windows Registry Editor Version 5.00", "Gest\xE3o \xFF\xA9\x89"},
        {"REGEDIT4", "Gest\xE3o \xFF\xA9\x89"},
    };
    for (const Case& c : cases) {
        const RegFile file =
            parseRegFile(std::string(c.header) + "\n\n[HKEY_LOCAL_MACHINE\\A]\n\"dtPassword\"=\"" +
                         c.bytes + "\"\n");
        const RegValue* value = file.find("HKEY_LOCAL_MACHINE\\A", "dtPassword");
        ASSERT_NE(value, nullptr) << c.header;
        EXPECT_EQ(value->data, expected + '\0') << c.header << " " << c.bytes;
    }
}

}  // namespace
}  // namespace registry
