#include "app/registry_startup_override.h"

#include <gtest/gtest.h>

#include "fake_host.h"
#include "registry_files.h"
#include "scoped_environment.h"
#include "temp_dir.h"

namespace app {
namespace {

using testing_support::RegFormat;

// The window load with the registry override, the registry files, the shadow folder and
// the machine's serial number all named by the environment and kept in a temporary
// folder.
class RegistryStartupOverride : public ::testing::Test {
protected:
    void load(const std::string& defs, const std::string& machineBody) {
        testsupport::writeFile(dir / "Defs.ini", defs);
        testsupport::writeFile(dir / "machine.reg", regFileBytes(RegFormat::Ansi, machineBody));
        loadStartupSettings(form, host, dir.path(), registryStartupOverride(host));
    }

    testsupport::TempDir dir{"startup-registry"};
    testsupport::ScopedEnvironment environment{{
        {"SQLUPGRADE_REGISTRY_MACHINE", (dir / "machine.reg").string()},
        {"SQLUPGRADE_REGISTRY_USER", (dir / "user.reg").string()},
        {"SQLUPGRADE_COMMON_APPDATA", dir.path().string()},
        {"SQLUPGRADE_VOLUME_SERIAL", "1000"},
    }};
    MainForm form;
    testing_support::FakeHost host;
};

TEST_F(RegistryStartupOverride, TheRegistryReplacesWhatItHolds) {
    load("App\r\nsrv01\r\nGestao\r\noperador\r\n",
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App]\r\n\"dtUser\"=\"admin\"\r\n\"dtPassword\"=" +
             testing_support::regQuoted(testing_support::storedPassword("AÇÃO", "1000")) + "\r\n");
    EXPECT_EQ(form.FXServer.text, "srv01");
    EXPECT_EQ(form.FXDatabase.text, "Gestao");
    EXPECT_EQ(form.FXUsername.text, "admin");
    EXPECT_EQ(form.FXPassword.text, "AÇÃO");
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(RegistryStartupOverride, AMalformedKeyIsShownAndLeavesTheBoxesAlone) {
    load("\r\nsrv01\r\nGestao\r\noperador\r\n", "");
    EXPECT_EQ(form.FXServer.text, "srv01");
    EXPECT_EQ(form.FXPassword.text, "kiwi");
    ASSERT_EQ(host.messages.size(), 4u);
    EXPECT_EQ(host.messages[0].text, "Formato Incorrecto:\n\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\");
    EXPECT_EQ(host.messages[0].flags, mb::kOkOnly);
    EXPECT_EQ(host.messages[0].title, std::nullopt);
}

}  // namespace
}  // namespace app
