#include "registry/registry_reader.h"

#include <gtest/gtest.h>

#include "db/error.h"
#include "recording_reporter.h"
#include "registry_files.h"
#include "temp_dir.h"

namespace registry {
namespace {

using testing_support::RegFormat;

constexpr const char* kApp = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App";

// A registry of two export files and a shadow folder in a temporary folder.
class RegistryFixture : public ::testing::Test {
protected:
    void machine(const std::string& body) {
        testsupport::writeFile(dir / "machine.reg", regFileBytes(RegFormat::Ansi, body));
    }
    void user(const std::string& body) {
        testsupport::writeFile(dir / "user.reg", regFileBytes(RegFormat::Unicode, body));
    }
    void shadow(const std::string& bytes) {
        std::filesystem::create_directories(dir / "Velto Software");
        testsupport::writeFile(shadowFile(), bytes);
    }
    std::filesystem::path shadowFile() const { return dir / "Velto Software" / "RegShadow.db"; }

    RegistryReader reader() {
        return RegistryReader({dir / "machine.reg", dir / "user.reg", dir.path()},
                              [this](const std::string& text) { notices.push_back(text); });
    }

    testsupport::TempDir dir{"registry"};
    std::vector<std::string> notices;
    testing_support::RecordingReporter recorder;
    report::ScopedErrorReporter scope{recorder};
};

using ValorString = RegistryFixture;

TEST_F(ValorString, ReadsTextNullOrEmpty) {
    machine("[HKEY_LOCAL_MACHINE]\r\n\"Top\"=\"root\"\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App]\r\n"
            "\"dtUser\"=\"  op  \"\r\n\"Blank\"=\"\"\r\n\"Spaces\"=\"   \"\r\n\"Count\"=dword:0000001f\r\n"
            "\"Path\"=hex(2):25,54,45,4d,50,25,00\r\n\"List\"=hex(7):61,00,62,00,00\r\n"
            "\"Fits\"=\"" + std::string(3499, 'x') + "\"\r\n"
            "\"TooLong\"=\"" + std::string(3500, 'x') + "\"\r\n");
    user("[HKEY_CURRENT_USER\\Software\\Velto]\r\n\"Nome\"=\"Ação\"\r\n");
    RegistryReader r = reader();
    using namespace std::string_literals;
    const std::vector<std::tuple<std::string, std::string, ReadResult>> cases = {
        {kApp, "dtUser", ReadResult::text("op  ")},  // blanks trimmed before the NUL goes
        {kApp, "DTUSER", ReadResult::text("op  ")},
        {"HKEY_LOCAL_MACHINE\\software\\marvane\\APP", "dtUser", ReadResult::text("op  ")},
        {kApp, "Blank", ReadResult::text("")},
        {kApp, "Spaces", ReadResult::text("")},
        {kApp, "Count", ReadResult::text("31")},
        {kApp, "Path", ReadResult::text("%TEMP%")},
        {kApp, "List", ReadResult::text("a\0b\0"s)},
        {kApp, "Fits", ReadResult::text(std::string(3499, 'x'))},
        {kApp, "TooLong", ReadResult::null()},
        {kApp, "Missing", ReadResult::null()},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Nowhere", "dtUser", ReadResult::null()},
        {"HKEY_LOCAL_MACHINE", "Top", ReadResult::text("root")},
        {"HKEY_CURRENT_USER\\SOFTWARE\\VELTO", "nome", ReadResult::text("Ação")},
        {"HKEY_USERS\\Software\\Velto", "Nome", ReadResult::null()},
        {"HKEY_SOMEWHERE\\Software", "Nome", ReadResult::empty()},
    };
    for (const auto& [key, name, expected] : cases) {
        EXPECT_EQ(r.ValorString(key, name), expected) << key << " " << name;
    }
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(recorder.reports.empty());
}

TEST_F(ValorString, AMalformedPathShowsTheFormatBoxAndReadsNothing) {
    RegistryReader r = reader();
    EXPECT_EQ(r.ValorString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\", "dtUser"), ReadResult::empty());
    EXPECT_EQ(r.ValorString("hkey_local_machine\\SOFTWARE", "dtUser"), ReadResult::empty());
    EXPECT_EQ(notices, (std::vector<std::string>{
                           "Formato Incorrecto:\n\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\",
                           "Formato Incorrecto:\n\nhkey_local_machine\\SOFTWARE"}));
}

TEST_F(ValorString, MissingOrUnreadableFilesAreMissingKeys) {
    RegistryReader r = reader();
    EXPECT_EQ(r.ValorString(kApp, "dtUser"), ReadResult::null());
    std::filesystem::create_directory(dir / "user.reg");  // a folder: cannot be read as a file
    EXPECT_EQ(r.ValorString("HKEY_CURRENT_USER\\Software", "x"), ReadResult::null());
    testsupport::writeFile(dir / "machine.reg", "not a registry export");
    EXPECT_EQ(reader().ValorString(kApp, "dtUser"), ReadResult::null());
    EXPECT_TRUE(recorder.reports.empty());
}

TEST(FormatarChave, SplitsTheRootFromTheSubKey) {
    RegistryReader r({}, {});
    std::string path = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App";
    EXPECT_EQ(r.FormatarChave(path), RootKey::LocalMachine);
    EXPECT_EQ(path, "SOFTWARE\\Marvane\\App");
    path = "HKEY_CURRENT_CONFIG";
    EXPECT_EQ(r.FormatarChave(path), RootKey::CurrentConfig);
    EXPECT_EQ(path, "");
    path = "HKEY_Local_Machine\\X";
    EXPECT_EQ(r.FormatarChave(path), RootKey::None);
    EXPECT_EQ(path, "X");
    EXPECT_EQ(static_cast<std::uint32_t>(r.ObterHandleChavePrincipal("HKEY_DYN_DATA")), 0x80000006u);
}

using ObterValorString = RegistryFixture;

TEST_F(ObterValorString, FollowsRedirectionsToTheEnd) {
    machine("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App]\r\n\"dtUser\"=\"SREF=HKEY_LOCAL_MACHINE\\\\A\"\r\n"
            "\"dtLoop\"=\"SREF=HKEY_LOCAL_MACHINE\\\\A\"\r\n"
            "[HKEY_LOCAL_MACHINE\\A]\r\n\"dtUser\"=\"SREF=HKEY_LOCAL_MACHINE\\\\B\"\r\n"
            "\"dtLoop\"=\"SREF=HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\MARVANE\\\\APP\"\r\n"
            "[HKEY_LOCAL_MACHINE\\B]\r\n\"dtUser\"=\"end of chain\"\r\n");
    RegistryReader r = reader();
    EXPECT_EQ(r.ObterValorString(kApp, "dtUser", std::nullopt, 0), ReadResult::text("end of chain"));
    EXPECT_EQ(r.ObterValorString(kApp, "dtLoop", std::nullopt, 0), ReadResult::empty());
    ASSERT_EQ(recorder.reports.size(), 1u);
    EXPECT_EQ(recorder.reports[0],
              (std::vector<std::string>{
                  "Velto Pallex Software", "Orlin Software Modules", "modRegistry", "ObterValorString",
                  "Error Number = 5 | Description = SREF= redirections loop back to "
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\MARVANE\\APP"}));
}

TEST_F(ObterValorString, TheShadowFileComesFirstOutsideTheUsersSoftware) {
    machine("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App]\r\n\"dtUser\"=\"registry\"\r\n"
            "\"dtDataSource\"=\"registry\"\r\n");
    user("[HKEY_CURRENT_USER\\Software\\Velto]\r\n\"Nome\"=\"registry\"\r\n");
    shadow("hkey_local_machine\\software\\marvane\\app:DTUSER=shadow\r\n"
           "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtDataSource=\r\n"
           "HKEY_CURRENT_USER\\Software\\Velto:Nome=shadow\r\n");
    RegistryReader r = reader();
    EXPECT_EQ(r.ObterValorString(kApp, "dtUser", std::nullopt, 0), ReadResult::text("shadow"));
    EXPECT_EQ(r.ObterValorString(kApp, "dtUser", std::nullopt, 1), ReadResult::text("registry"));
    // An empty shadow value counts as no entry.
    EXPECT_EQ(r.ObterValorString(kApp, "dtDataSource", std::nullopt, 0), ReadResult::text("registry"));
    EXPECT_EQ(r.ObterValorString("HKEY_CURRENT_USER\\Software\\Velto", "Nome", std::nullopt, 0),
              ReadResult::text("registry"));
}

TEST_F(ObterValorString, ADefaultStandsInForNullAndIsShadowedOnlyOutsideTheUsersSoftware) {
    machine("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App]\r\n\"dtUser\"=\"SREF=HKEY_LOCAL_MACHINE\\\\B\"\r\n");
    RegistryReader r = reader();
    // Without a shadow file there is nothing to write the default to.
    EXPECT_EQ(r.ObterValorString(kApp, "dtUser", "fallback", 0), ReadResult::text("fallback"));
    EXPECT_FALSE(std::filesystem::exists(shadowFile()));

    shadow("");
    EXPECT_EQ(r.ObterValorString(kApp, "dtUser", "fallback", 0), ReadResult::text("fallback"));
    EXPECT_EQ(r.ObterValorString(kApp, "dtPassword", std::nullopt, 0), ReadResult::null());
    // The user's own software keys take no default.
    EXPECT_EQ(r.ObterValorString("HKEY_CURRENT_USER\\SOFTWARE\\Velto", "Nome", "mine", 0),
              ReadResult::null());
    // Only the machine's default is written, under the key the redirection led to.
    EXPECT_EQ(testsupport::readFile(shadowFile()), "HKEY_LOCAL_MACHINE\\B:dtUser=fallback\r\n");
}

TEST_F(ObterValorString, UnexpectedErrorsAreReportedPerRoutineAndAFailingReporterReachesTheCaller) {
    RegistryReader r({}, [](const std::string&) { throw db::Error(5, "box failed"); });
    EXPECT_EQ(r.ObterValorString("HKEY_X\\", "a", std::nullopt, 0), ReadResult::empty());
    ASSERT_EQ(recorder.reports.size(), 1u);
    EXPECT_EQ(recorder.reports[0],
              (std::vector<std::string>{"Velto Pallex Software", "Orlin Software Modules",
                                        "modRegistry", "FormatarChave",
                                        "Error Number = 5 | Description = box failed"}));
    recorder.fail = true;
    EXPECT_THROW(r.ObterValorString("HKEY_X\\", "a", std::nullopt, 0), std::runtime_error);
}

}  // namespace
}  // namespace registry
