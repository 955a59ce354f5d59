#include "registry/shadow_file.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace registry {
namespace {

constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App";

struct LookupCase {
    const char* name;
    std::string file;
    std::string valueName;
    std::string expected;
};

class ShadowLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ShadowLookup, FindsTheFirstEntryForKeyAndName) {
    EXPECT_EQ(shadowValue(GetParam().file, kKey, GetParam().valueName), GetParam().expected);
}

const LookupCase kLookups[] = {
    {"Exact", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser=op\r\n", "dtUser", "op"},
    {"CaseIgnored", "hkey_local_machine\\software\\marvane\\APP:DTUSER=op\r\n", "dtuser", "op"},
    {"FirstOfTwo", "X:a=1\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser=a=b\r\n"
                   "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser=second\r\n", "dtUser", "a=b"},
    {"LfLineEnds", "X:a=1\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser=op", "dtUser", "op"},
    {"LongerNameIsAnotherValue", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUserName=bob\r\n",
     "dtUser", ""},
    {"NoEqualsSign", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser\r\n", "dtUser", ""},
    {"EmptyValue", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser=\r\n", "dtUser", ""},
    {"EmptyFirstLine", "\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser=op\r\n", "dtUser", ""},
    {"EmptyFile", "", "dtUser", ""},
    {"Windows1252", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:Descri\xC7\xC3O=Ol\xE1\r\n",
     "descrição", "Olá"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ShadowLookup, ::testing::ValuesIn(kLookups),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ShadowRewrite, ReplacesTheFirstEntryDropsLaterOnesAndKeepsOtherLines) {
    EXPECT_EQ(shadowWithEntry("X:a=1\r\nOther\x81\xE1\r\nx:A=2\nX:ab=3\rX:b=4", "X", "a", "ção"),
              "X:a=\xE7\xE3o\r\nOther\x81\xE1\r\nX:ab=3\r\nX:b=4\r\n");
    EXPECT_EQ(shadowWithEntry("X:b=4\r\n", "X", "a", "✓"), "X:b=4\r\nX:a=?\r\n");
    EXPECT_EQ(shadowWithEntry("", "X", "a", ""), "X:a=\r\n");
    EXPECT_EQ(shadowWithEntry("X:b=4\r\nX:a=1\r\n", "X", "a", "1"), std::nullopt);
    EXPECT_EQ(shadowWithEntry("x:A=1\r\n", "X", "a", "1"), "X:a=1\r\n");
}

class ShadowFile : public ::testing::Test {
protected:
    ShadowFile() { std::filesystem::create_directories(folder()); }
    std::filesystem::path folder() const { return dir / "Velto Software"; }
    RegistryLocations locations() const { return {std::nullopt, std::nullopt, dir.path()}; }

    testsupport::TempDir dir{"shadow"};
};

TEST_F(ShadowFile, IsRewrittenThroughTheTemporaryFile) {
    testsupport::writeFile(folder() / "RegShadow.db", "X:b=4\r\nx:A=1\r\n");
    EXPECT_TRUE(DefinirValorSombra(locations(), "X", "a", "2"));
    EXPECT_EQ(testsupport::readFile(folder() / "RegShadow.db"), "X:b=4\r\nX:a=2\r\n");
    EXPECT_FALSE(std::filesystem::exists(folder() / "RegShadow.tmp"));
    EXPECT_EQ(ObterValorSombra(locations(), "x", "A"), "2");
}

TEST_F(ShadowFile, FailuresAnswerFalseAndLeaveTheFileAlone) {
    EXPECT_FALSE(DefinirValorSombra(locations(), "X", "a", "2"));
    EXPECT_FALSE(std::filesystem::exists(folder() / "RegShadow.db"));
    EXPECT_EQ(ObterValorSombra(locations(), "X", "a"), "");

    // The temporary file cannot be written (a folder stands in its place).
    testsupport::writeFile(folder() / "RegShadow.db", "X:a=1\r\n");
    std::filesystem::create_directory(folder() / "RegShadow.tmp");
    EXPECT_FALSE(DefinirValorSombra(locations(), "X", "a", "2"));
    EXPECT_EQ(testsupport::readFile(folder() / "RegShadow.db"), "X:a=1\r\n");
    // An entry already there needs no writing.
    EXPECT_TRUE(DefinirValorSombra(locations(), "X", "a", "1"));

    EXPECT_FALSE(DefinirValorSombra(RegistryLocations{}, "X", "a", "1"));
}

}  // namespace
}  // namespace registry
