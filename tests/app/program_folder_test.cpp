// The choice of the program folder: the option, the environment, a portable copy beside
// its files, the user's data folder; and the data folder created private on first use.
#include "app/program_folder.h"

#include <gtest/gtest.h>

#include "scoped_environment.h"
#include "temp_dir.h"

namespace app {
namespace {

using testsupport::ScopedEnvironment;
using testsupport::TempDir;

struct FolderCase {
    const char* name;
    const char* homeOption;       // "" when not given
    const char* homeEnvironment;  // $SQLUPGRADE_HOME
    const char* besideProgram;    // a file in the executable's folder, "" for none
    const char* xdgDataHome;      // $XDG_DATA_HOME
    const char* expected;         // "<exe>" for the executable's folder
    FolderChoice choice;
};

const FolderCase kFolderCases[] = {
    {"OptionFirst", "/opt/a", "/srv/b", "Defs.ini", "/x", "/opt/a", FolderChoice::HomeOption},
    {"EnvironmentBeforePortable", "", "/srv/b", "Defs.ini", "/x", "/srv/b",
     FolderChoice::HomeEnvironment},
    {"PortableWithDefsIni", "", "", "Defs.ini", "/x", "<exe>", FolderChoice::BesideProgram},
    {"PortableWithStore", "", "", "SQL.mdb", "/x", "<exe>", FolderChoice::BesideProgram},
    {"OtherFilesAreNotPortable", "", "", "defs.ini", "/x", "/x/sqlupgrade", FolderChoice::UserData},
    {"XdgDataHome", "", "", "", "/x", "/x/sqlupgrade", FolderChoice::UserData},
    {"UserHomeWithoutXdg", "", "", "", "", "/home/ana/.local/share/sqlupgrade",
     FolderChoice::UserData},
    {"RelativeXdgIgnored", "", "", "", "data", "/home/ana/.local/share/sqlupgrade",
     FolderChoice::UserData},
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class ProgramFolderChoice : public ::testing::TestWithParam<FolderCase> {};

TEST_P(ProgramFolderChoice, FollowsTheOrderOfReasons) {
    const FolderCase& c = GetParam();
    TempDir exe("exe");
    if (*c.besideProgram) testsupport::writeFile(exe / c.besideProgram, "");
    FolderClues clues;
    if (*c.homeOption) clues.homeOption = c.homeOption;
    clues.homeEnvironment = c.homeEnvironment;
    clues.executableFolder = exe.path();
    clues.xdgDataHome = c.xdgDataHome;
    clues.userHome = "/home/ana";

    const ProgramFolder folder = chooseProgramFolder(clues);
    EXPECT_EQ(folder.path,
              std::string(c.expected) == "<exe>" ? exe.path() : std::filesystem::path(c.expected));
    EXPECT_EQ(folder.choice, c.choice);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgramFolderChoice, ::testing::ValuesIn(kFolderCases),
                         [](const ::testing::TestParamInfo<FolderCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ProgramFolder, TheUserDataFolderIsCreatedPrivateOnFirstUse) {
    TempDir data("xdg");
    ScopedEnvironment noHome("SQLUPGRADE_HOME", std::nullopt);
    ScopedEnvironment xdg("XDG_DATA_HOME", (data / "share").string());

    const ProgramFolder folder = locateProgramFolder(std::nullopt);
    EXPECT_EQ(folder.path, data / "share" / "sqlupgrade");
    EXPECT_EQ(folder.choice, FolderChoice::UserData);
    for (const auto& created : {data / "share", data / "share" / "sqlupgrade"}) {
        ASSERT_TRUE(std::filesystem::is_directory(created)) << created;
        EXPECT_EQ(std::filesystem::status(created).permissions(), std::filesystem::perms::owner_all)
            << created;
    }
    // An existing folder is used as it is.
    std::filesystem::permissions(
        folder.path, std::filesystem::perms::owner_all | std::filesystem::perms::group_read);
    EXPECT_EQ(locateProgramFolder(std::nullopt).path, folder.path);
    EXPECT_EQ(std::filesystem::status(folder.path).permissions(),
              std::filesystem::perms::owner_all | std::filesystem::perms::group_read);
}

TEST(ProgramFolder, AnOptionOrTheEnvironmentCreatesNothing) {
    TempDir data("xdg");
    ScopedEnvironment xdg("XDG_DATA_HOME", (data / "share").string());
    {
        ScopedEnvironment home("SQLUPGRADE_HOME", (data / "env").string());
        EXPECT_EQ(locateProgramFolder(std::nullopt).path, data / "env");
        EXPECT_EQ(locateProgramFolder(data / "option").path, data / "option");
    }
    EXPECT_FALSE(std::filesystem::exists(data / "env"));
    EXPECT_FALSE(std::filesystem::exists(data / "option"));
    EXPECT_FALSE(std::filesystem::exists(data / "share"));
}

}  // namespace
}  // namespace app
