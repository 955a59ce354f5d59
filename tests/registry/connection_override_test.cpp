#include "registry/connection_override.h"

#include <gtest/gtest.h>

#include "recording_reporter.h"
#include "registry_files.h"
#include "temp_dir.h"

namespace registry {
namespace {

using testing_support::RegFormat;
using testing_support::regQuoted;

class ConnectionOverrideTest : public ::testing::Test {
protected:
    void machine(const std::string& body) {
        testsupport::writeFile(dir / "machine.reg", regFileBytes(RegFormat::Unicode, body));
    }
    ConnectionOverride read(const std::string& keySuffix) {
        RegistryReader reader({dir / "machine.reg", std::nullopt, dir.path()},
                              [this](const std::string& text) { notices.push_back(text); });
        return readConnectionOverride(keySuffix, reader, decoder);
    }

    testsupport::TempDir dir{"override"};
    std::vector<std::string> notices;
    SerialDecoder decoder{[](const std::string&) { return std::optional<std::uint32_t>(-123456); }};
    testing_support::RecordingReporter recorder;
    report::ScopedErrorReporter scope{recorder};
};

TEST_F(ConnectionOverrideTest, ReadsTheFourValuesAndDecodesThePassword) {
    machine("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\Gestão]\r\n"
            "\"dtDataSource\"=\"srv01\\\\SQL\"\r\n\"dtInitialCatalog\"=\"Gestão\"\r\n"
            "\"dtUser\"=\"operador\"\r\n\"dtPassword\"=" +
            regQuoted(testing_support::storedPassword("Çegonha\"1", "-123456")) + "\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\OnlyUser]\r\n\"dtUser\"=\"op2\"\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\EmptyPassword]\r\n\"dtPassword\"=\"\"\r\n");
    const ConnectionOverride all = read("Gestão");
    EXPECT_EQ(all.dataSource, "srv01\\SQL");
    EXPECT_EQ(all.initialCatalog, "Gestão");
    EXPECT_EQ(all.user, "operador");
    EXPECT_EQ(all.password, "Çegonha\"1");

    const ConnectionOverride onlyUser = read("OnlyUser");
    EXPECT_EQ(onlyUser.dataSource, std::nullopt);
    EXPECT_EQ(onlyUser.initialCatalog, std::nullopt);
    EXPECT_EQ(onlyUser.user, "op2");
    EXPECT_EQ(onlyUser.password, std::nullopt);

    EXPECT_EQ(read("EmptyPassword").password, "");
    const ConnectionOverride missing = read("NoSuchKey");
    EXPECT_FALSE(missing.dataSource || missing.initialCatalog || missing.user || missing.password);
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(recorder.reports.empty());
}

TEST_F(ConnectionOverrideTest, AnEmptyKeySuffixShowsTheFormatBoxPerValueAndChangesNothing) {
    const ConnectionOverride none = read("");
    EXPECT_FALSE(none.dataSource || none.initialCatalog || none.user || none.password);
    EXPECT_EQ(notices, std::vector<std::string>(
                           4, "Formato Incorrecto:\n\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\"));
}

TEST_F(ConnectionOverrideTest, ValuesAreAppliedAsReadUntilAnErrorEndsTheOverride) {
    machine("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App]\r\n\"dtDataSource\"=\"srv\"\r\n"
            "\"dtUser\"=\"SREF=HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Marvane\\\\App\"\r\n");
    recorder.fail = true;  // the redirection loop's report fails
    RegistryReader reader({dir / "machine.reg", std::nullopt, dir.path()}, {});
    std::vector<std::pair<ConnectionSetting, std::string>> applied;
    EXPECT_THROW(readConnectionOverride("App", reader, decoder,
                                        [&](ConnectionSetting setting, const std::string& text) {
                                            applied.emplace_back(setting, text);
                                        }),
                 std::runtime_error);
    EXPECT_EQ(applied, (std::vector<std::pair<ConnectionSetting, std::string>>{
                           {ConnectionSetting::DataSource, "srv"}}));
}

}  // namespace
}  // namespace registry
