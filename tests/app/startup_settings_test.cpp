#include "app/startup_settings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "db/error.h"
#include "fake_host.h"

namespace app {
namespace {

class StartupSettings : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::filesystem::temp_directory_path() /
                   ("sqlupgrade-startup-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    void writeDefs(const std::string& content) {
        std::ofstream(m_folder / "Defs.ini", std::ios::binary) << content;
    }

    std::filesystem::path m_folder;
    MainForm form;
    testing_support::FakeHost host;
};

TEST_F(StartupSettings, FourLinesFillTheBoxesAndPassTheKeyToTheOverride) {
    writeDefs("App1\r\nsrv01\r\nGestao\r\noperador\r\nignored\r\n");
    std::string seenKey;
    loadStartupSettings(form, host, m_folder, [&](MainForm& f, const std::string& key) {
        seenKey = key;
        f.FXPassword.text = "from-registry";
    });
    EXPECT_EQ(form.FXServer.text, "srv01");
    EXPECT_EQ(form.FXDatabase.text, "Gestao");
    EXPECT_EQ(form.FXUsername.text, "operador");
    EXPECT_EQ(form.FXPassword.text, "from-registry");
    EXPECT_EQ(seenKey, "App1");
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(StartupSettings, ThreeLinesShowTheErrorOnceAndSkipTheOverride) {
    writeDefs("App1\nsrv01\nGestao\n");
    bool overrideRan = false;
    loadStartupSettings(form, host, m_folder, [&](MainForm&, const std::string&) { overrideRan = true; });
    EXPECT_EQ(form.FXServer.text, "srv01");
    EXPECT_EQ(form.FXDatabase.text, "Gestao");
    EXPECT_EQ(form.FXUsername.text, "sa");
    EXPECT_FALSE(overrideRan);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Input past end of file");
    EXPECT_EQ(host.messages[0].flags, mb::kInformation);
}

TEST_F(StartupSettings, AMissingFileKeepsTheDesignDefaults) {
    loadStartupSettings(form, host, m_folder);
    EXPECT_EQ(form.FXServer.text, kDefaultServer);
    EXPECT_EQ(form.FXDatabase.text, "Quorra_Trials");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "File not found: " + (m_folder / "Defs.ini").string());
}

TEST_F(StartupSettings, AFailingOverrideIsShownLikeAFileError) {
    writeDefs("App1\nsrv01\nGestao\nsa\n");
    loadStartupSettings(form, host, m_folder, [](MainForm&, const std::string&) {
        throw db::Error(5, "Invalid procedure call or argument");
    });
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Invalid procedure call or argument");
}

struct EncodingCase {
    const char* name;
    std::string bytes;
};

class DefsIniEncoding : public ::testing::TestWithParam<EncodingCase> {};

// Written on Windows the file is Windows-1252; written here, UTF-8 (with or without the
// byte-order mark some editors put first). Both give the same accented names.
TEST_P(DefsIniEncoding, AccentedNamesArriveIntact) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("sqlupgrade-defs-" + std::string(GetParam().name));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "Defs.ini", std::ios::binary) << GetParam().bytes;
    const StartupFile read = readStartupFile(folder);
    std::filesystem::remove_all(folder);
    EXPECT_FALSE(read.error.has_value());
    EXPECT_EQ(read.keySuffix, "Aplicação");
    EXPECT_EQ(read.server, "srvdados€01");
    EXPECT_EQ(read.database, "Gestão_Clientes");
    EXPECT_EQ(read.login, "operador.josé");
}

INSTANTIATE_TEST_SUITE_P(
    Files, DefsIniEncoding,
    ::testing::Values(
        EncodingCase{"Windows1252", "Aplica\xE7\xE3o\r\nsrvdados\x80" "01\r\nGest\xE3o_Clientes\r\noperador.jos\xE9\r\n"},
        EncodingCase{"Utf8", "Aplicação\nsrvdados€01\nGestão_Clientes\noperador.josé\n"},
        EncodingCase{"Utf8WithByteOrderMark",
                     "\xEF\xBB\xBF" "Aplicação\r\nsrvdados€01\r\nGestão_Clientes\r\noperador.josé"}),
    [](const ::testing::TestParamInfo<EncodingCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace app
