// `sqlupgrade-cli where` as a user runs it: the folder each situation picks, why, and the
// files in it. No server is needed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sandbox_server.h"
#include "temp_dir.h"

namespace {

using ::testing::HasSubstr;
using testsupport::CommandResult;
using testsupport::TempDir;

// Runs `program where` with HOME, XDG_DATA_HOME and SQLUPGRADE_HOME as given (an empty
// value leaves the variable out), and the registry's files below HOME.
CommandResult where(const std::filesystem::path& program, const std::vector<std::string>& options,
                    const std::string& home, const std::string& xdgDataHome,
                    const std::string& sqlupgradeHome) {
    std::vector<std::string> argv{"env",
                                  "-u",
                                  "XDG_DATA_HOME",
                                  "-u",
                                  "SQLUPGRADE_HOME",
                                  "HOME=" + home,
                                  "SQLUPGRADE_REGISTRY_MACHINE=" + home + "/machine.reg",
                                  "SQLUPGRADE_REGISTRY_USER=" + home + "/user.reg",
                                  "SQLUPGRADE_COMMON_APPDATA=" + home};
    if (!xdgDataHome.empty()) argv.push_back("XDG_DATA_HOME=" + xdgDataHome);
    if (!sqlupgradeHome.empty()) argv.push_back("SQLUPGRADE_HOME=" + sqlupgradeHome);
    argv.push_back(program.string());
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back("where");
    return testsupport::runCommand(argv);
}

TEST(Where, NamesTheFolderWhyAndItsFiles) {
    TempDir user("where");
    // A copy of the program in a folder of its own, so that files left beside the build's
    // programs cannot make it portable.
    const std::filesystem::path program = user / "bin" / "sqlupgrade-cli";
    std::filesystem::create_directories(program.parent_path());
    std::filesystem::copy_file(std::string(SQLUPGRADE_BIN_DIR) + "/sqlupgrade-cli", program);
    const std::string option = (user / "option").string();
    const std::string environment = (user / "env").string();
    const std::string xdg = (user / "xdg").string();
    const std::string dataFolder = (user / ".local/share/sqlupgrade").string();

    const CommandResult byOption =
        where(program, {"--home", option}, user.path().string(), xdg, environment);
    EXPECT_EQ(byOption.exitCode, 0) << byOption.err;
    const std::string u = user.path().string();
    EXPECT_EQ(byOption.out, "Program folder:     " + option +
                                " (missing: sqlupgrade-cli init-store creates it, with the store)\n"
                                "Chosen by:          --home\n"
                                "Store:              " +
                                option +
                                "/SQL.mdb (missing: sqlupgrade-cli init-store creates it)\n"
                                "Defs.ini:           " +
                                option +
                                "/Defs.ini (missing: the built-in settings apply)\n"
                                "HKEY_LOCAL_MACHINE: " +
                                u +
                                "/machine.reg (missing: no keys)\n"
                                "HKEY_CURRENT_USER:  " +
                                u +
                                "/user.reg (missing: no keys)\n"
                                "Shadow file:        " +
                                u + "/Velto Software/RegShadow.db (missing: no entries)\n");

    EXPECT_THAT(where(program, {}, user.path().string(), xdg, environment).out,
                HasSubstr("Program folder:     " + environment +
                          " (missing: sqlupgrade-cli init-store creates it, with the store)\n"
                          "Chosen by:          $SQLUPGRADE_HOME\n"));
    EXPECT_THAT(where(program, {}, user.path().string(), xdg, "").out,
                HasSubstr("Program folder:     " + xdg +
                          "/sqlupgrade\nChosen by:          the user's data folder"));
    EXPECT_THAT(where(program, {}, user.path().string(), "", "").out,
                HasSubstr("Program folder:     " + dataFolder + "\n"));
    EXPECT_TRUE(std::filesystem::is_directory(dataFolder));

    // Files that are there are named without a remark.
    testsupport::writeFile(user / ".local/share/sqlupgrade/Defs.ini", "App\nsrv\ndb\nsa\n");
    testsupport::writeFile(user / ".local/share/sqlupgrade/SQL.mdb", "");
    testsupport::writeFile(user / "machine.reg", "");
    std::filesystem::create_directory(user / "Velto Software");
    testsupport::writeFile(user / "Velto Software/RegShadow.db", "");
    const CommandResult present = where(program, {}, user.path().string(), "", "");
    EXPECT_THAT(present.out, HasSubstr("Store:              " + dataFolder +
                                       "/SQL.mdb\n"
                                       "Defs.ini:           " +
                                       dataFolder +
                                       "/Defs.ini\n"
                                       "HKEY_LOCAL_MACHINE: " +
                                       u +
                                       "/machine.reg\n"
                                       "HKEY_CURRENT_USER:  " +
                                       u +
                                       "/user.reg (missing: no keys)\n"
                                       "Shadow file:        " +
                                       u + "/Velto Software/RegShadow.db\n"));

    // A Defs.ini beside the program makes it a portable installation.
    testsupport::writeFile(program.parent_path() / "Defs.ini", "App\nsrv\ndb\nsa\n");
    EXPECT_THAT(where(program, {}, user.path().string(), xdg, "").out,
                HasSubstr("Program folder:     " + program.parent_path().string() +
                          "\nChosen by:          Defs.ini or SQL.mdb beside the program\n"));
}

// init-store makes the folder --home names when it is not there, private to its owner,
// and `where` then names the folder without a remark.
TEST(Where, InitStoreCreatesTheFolderItIsToldOf) {
    TempDir user("where");
    const std::filesystem::path folder = user / "new" / "home";
    const CommandResult created = testsupport::runCommand(
        {std::string(SQLUPGRADE_BIN_DIR) + "/sqlupgrade-cli", "--home", folder.string(), "init-store"});
    EXPECT_EQ(created.exitCode, 0) << created.err;
    EXPECT_TRUE(std::filesystem::exists(folder / "SQL.mdb"));
    EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
    EXPECT_THAT(where(std::string(SQLUPGRADE_BIN_DIR) + "/sqlupgrade-cli", {"--home", folder.string()},
                      user.path().string(), "", "")
                    .out,
                HasSubstr("Program folder:     " + folder.string() + "\n"));
}

}  // namespace
