#include "app/program_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "store/definitions_store.h"

namespace app {
namespace {

constexpr const char* kUserDataFolderName = "sqlupgrade";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::filesystem::path userHome() {
    if (std::string home = environment("HOME"); !home.empty()) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

std::filesystem::path executableFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
}

bool holdsProgramFiles(const std::filesystem::path& folder) {
    std::error_code ec;
    return std::filesystem::exists(defsPath(folder), ec) ||
           std::filesystem::exists(store::storePath(folder), ec);
}

// Creates the missing folders of `folder`, each readable by its owner only (the
// permission the XDG base directory rules ask of a data folder). Errors are left for the
// first file opened there to report.
void createPrivateFolders(const std::filesystem::path& folder) {
    std::error_code ec;
    if (folder.empty() || std::filesystem::exists(folder, ec)) return;
    createPrivateFolders(folder.parent_path());
    if (std::filesystem::create_directory(folder, ec)) {
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ec);
    }
}

}  // namespace

ProgramFolder chooseProgramFolder(const FolderClues& clues) {
    if (clues.homeOption && !clues.homeOption->empty())
        return {*clues.homeOption, FolderChoice::HomeOption};
    if (!clues.homeEnvironment.empty())
        return {clues.homeEnvironment, FolderChoice::HomeEnvironment};
    if (!clues.executableFolder.empty() && holdsProgramFiles(clues.executableFolder))
        return {clues.executableFolder, FolderChoice::BesideProgram};
    // A relative XDG_DATA_HOME is invalid and ignored, as the base directory rules say.
    std::filesystem::path dataHome = clues.xdgDataHome;
    if (!dataHome.is_absolute()) {
        const std::filesystem::path home =
            clues.userHome.empty() ? std::filesystem::current_path() : clues.userHome;
        dataHome = home / ".local" / "share";
    }
    return {dataHome / kUserDataFolderName, FolderChoice::UserData};
}

ProgramFolder locateProgramFolder(const std::optional<std::filesystem::path>& homeOption) {
    const ProgramFolder folder =
        chooseProgramFolder({homeOption, environment("SQLUPGRADE_HOME"), executableFolder(),
                             environment("XDG_DATA_HOME"), userHome()});
    if (folder.choice == FolderChoice::UserData) createPrivateFolders(folder.path);
    return folder;
}

std::filesystem::path programFolder(const std::optional<std::filesystem::path>& homeOption) {
    return locateProgramFolder(homeOption).path;
}

std::filesystem::path defsPath(const std::filesystem::path& programFolder) {
    return programFolder / "Defs.ini";
}

std::string describeChoice(FolderChoice choice) {
    switch (choice) {
        case FolderChoice::HomeOption:
            return "--home";
        case FolderChoice::HomeEnvironment:
            return "$SQLUPGRADE_HOME";
        case FolderChoice::BesideProgram:
            return "Defs.ini or SQL.mdb beside the program";
        case FolderChoice::UserData:
            return "the user's data folder ($XDG_DATA_HOME/sqlupgrade)";
    }
    return "";
}

}  // namespace app
