#include "tsql/backup_path.h"

#include <cctype>
#include <string>

#include "catalog/text_util.h"

namespace sandbox::tsql {
namespace {

// "C:\MSSQL\Data\x" -> "C:/MSSQL/Data/x"
std::string forwardSlashes(std::string_view path) {
    std::string out(path);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

bool startsWithFolder(const std::string& path, std::string_view folder) {
    return path.size() > folder.size() && iequals(path.substr(0, folder.size()), folder) && path[folder.size()] == '/';
}

}  // namespace

std::filesystem::path defaultBackupFolder(const std::filesystem::path& dataFolder) { return dataFolder / "BACKUP"; }

std::filesystem::path backupFilePath(std::string_view written, const std::filesystem::path& dataFolder, bool windowsPaths) {
    std::string path = forwardSlashes(written);
    bool drivePath = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '/';
    if (windowsPaths && drivePath) {
        if (startsWithFolder(path, "C:/MSSQL/Data")) return dataFolder / path.substr(std::string_view("C:/MSSQL/Data/").size());
        if (startsWithFolder(path, "C:/MSSQL/BACKUP"))
            return defaultBackupFolder(dataFolder) / path.substr(std::string_view("C:/MSSQL/BACKUP/").size());
        return dataFolder / std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) / path.substr(3);
    }
    std::filesystem::path p(path);
    if (p.is_absolute()) return p;
    return defaultBackupFolder(dataFolder) / p;
}

}  // namespace sandbox::tsql
