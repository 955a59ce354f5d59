#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace app {

// Why the program folder is the folder it is, from the strongest reason down.
enum class FolderChoice {
    HomeOption,       // --home DIR
    HomeEnvironment,  // SQLUPGRADE_HOME
    BesideProgram,    // the executable's folder holds Defs.ini or SQL.mdb (portable)
    UserData,         // $XDG_DATA_HOME/sqlupgrade, by default ~/.local/share/sqlupgrade
};

// The folder that holds Defs.ini and SQL.mdb, and the reason it was chosen.
struct ProgramFolder {
    std::filesystem::path path;
    FolderChoice choice = FolderChoice::UserData;
};

// What the choice depends on; empty members count as not given.
struct FolderClues {
    std::optional<std::filesystem::path> homeOption;  // --home
    std::string homeEnvironment;                      // $SQLUPGRADE_HOME
    std::filesystem::path executableFolder;           // where the running program lives
    std::string xdgDataHome;                          // $XDG_DATA_HOME
    std::filesystem::path userHome;                   // $HOME, else the password entry's
};

// Chooses the program folder: --home, else SQLUPGRADE_HOME, else the executable's folder
// when it holds Defs.ini or SQL.mdb, else "sqlupgrade" below the user's data folder
// ($XDG_DATA_HOME when absolute, else ~/.local/share). Looks at the executable's folder
// and nothing else on disk; creates nothing.
// Example: no option, no SQLUPGRADE_HOME, /usr/bin without Defs.ini or SQL.mdb, no
// XDG_DATA_HOME, home /home/ana -> {/home/ana/.local/share/sqlupgrade, UserData}.
ProgramFolder chooseProgramFolder(const FolderClues& clues);

// The program folder of this process (clues from the environment and /proc/self/exe).
// A per-user data folder is created, private to the user, when missing; if that fails
// the path is still returned and the first file opened there reports the error.
ProgramFolder locateProgramFolder(const std::optional<std::filesystem::path>& homeOption);

// The path of locateProgramFolder(homeOption).
std::filesystem::path programFolder(const std::optional<std::filesystem::path>& homeOption);

// The start-up settings file of a program folder: folder/Defs.ini.
std::filesystem::path defsPath(const std::filesystem::path& programFolder);

// A short text for why the folder was chosen, e.g. "--home" or "$SQLUPGRADE_HOME".
std::string describeChoice(FolderChoice choice);

}  // namespace app
