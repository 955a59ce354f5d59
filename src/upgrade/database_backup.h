#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "upgrade/upgrade_run.h"

namespace upgrade {

// The folder of a data file path: everything before its last separator, whichever of
// '\' and '/' comes last, with that separator. nullopt when the path has neither.
// Example: "D:\Data\app.mdf" -> {"D:\Data", '\'}; "/var/opt/mssql/data/app.mdf" ->
// {"/var/opt/mssql/data", '/'}.
struct BackupFolder {
    std::string path;
    char separator;
};
std::optional<BackupFolder> backupFolderOf(std::string_view dataFilePath);

// "yyyymmddhhnnss" of a local time. Example: 2004-03-07 14:05:09 -> "20040307140509".
std::string backupTimestamp(const std::tm& localTime);

// The backup file the server writes, as named to it. Example (database app, folder
// D:\Data, time stamp 20040307140509): "D:\Data\app_20040307140509.BAK"; without a
// folder "app_20040307140509.BAK" (in the server's default backup folder).
std::string backupFilePath(const std::string& database, const std::optional<BackupFolder>& folder,
                           const std::string& timestamp);

// The statement that registers the dump device. Example (database app, folder D:\Data,
// time stamp 20040307140509):
// USE master EXEC sp_addumpdevice 'disk', 'app_Upgrade', 'D:\Data\app_20040307140509.BAK'
// The names are T-SQL text literals: a folder D:\O'Neil gives 'D:\O''Neil\app_...BAK'.
std::string addDumpDeviceStatement(const std::string& database,
                                   const std::optional<BackupFolder>& folder,
                                   const std::string& timestamp);

// Backs the target database up beside its first data file (or in the server's default
// folder when sysfiles names none), with the button disabled and the progress texts, and
// records the file in the run's statistics. Every statement is abort-on-error.
void backupDatabase(UpgradeRun& run);

}  // namespace upgrade
