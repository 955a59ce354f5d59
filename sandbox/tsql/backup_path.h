#pragma once

#include <filesystem>
#include <string_view>

namespace sandbox::tsql {

// The server's default backup folder: BACKUP inside the data folder (SQL Server keeps
// MSSQL\BACKUP beside MSSQL\Data). A device path without a folder lands here.
std::filesystem::path defaultBackupFolder(const std::filesystem::path& dataFolder);

// Where the file of a disk dump device lies on this machine. Backslashes separate folders
// as on Windows; a relative path is taken from the default backup folder. With Windows
// paths (the server shows C:\MSSQL\Data\<db>_Data.MDF in sysfiles), C:\MSSQL\Data is the
// data folder itself, C:\MSSQL\BACKUP the default backup folder, and any other drive path
// lies below <data folder>/<drive letter>.
// Examples, data folder /d: "/tmp/x.BAK" -> /tmp/x.BAK; "app_1.BAK" -> /d/BACKUP/app_1.BAK;
// with Windows paths: "C:\MSSQL\Data\app_1.BAK" -> /d/app_1.BAK, "D:\Dados\x.bak" -> /d/D/Dados/x.bak.
std::filesystem::path backupFilePath(std::string_view written, const std::filesystem::path& dataFolder, bool windowsPaths);

}  // namespace sandbox::tsql
