#include "upgrade/database_backup.h"

#include <cstdio>

#include "store/sql_value.h"

namespace upgrade {

std::optional<BackupFolder> backupFolderOf(std::string_view dataFilePath) {
    const std::size_t last = dataFilePath.find_last_of("\\/");
    if (last == std::string_view::npos) return std::nullopt;
    return BackupFolder{std::string(dataFilePath.substr(0, last)), dataFilePath[last]};
}

std::string backupTimestamp(const std::tm& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d%02d%02d%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return buffer;
}

std::string backupFilePath(const std::string& database, const std::optional<BackupFolder>& folder,
                           const std::string& timestamp) {
    const std::string file = database + "_" + timestamp + ".BAK";
    return folder ? folder->path + folder->separator + file : file;
}

std::string addDumpDeviceStatement(const std::string& database,
                                   const std::optional<BackupFolder>& folder,
                                   const std::string& timestamp) {
    const std::string location = backupFilePath(database, folder, timestamp);
    return "USE master EXEC sp_addumpdevice 'disk', " + store::SQLValueForServer(database + "_Upgrade", 3) +
           ", " + store::SQLValueForServer(location, 3);
}

void backupDatabase(UpgradeRun& run) {
    run.form.Command2.enabled = false;
    run.form.FXEvolucao.caption = "A realizar um backup da base de dados ...";
    run.form.FXEvolucao.visible = true;
    run.host.repaint();
    run.host.pumpEvents();

    std::optional<BackupFolder> folder;
    db::Recordset files = run.target.open("SELECT TOP 1 filename FROM sysfiles",
                                          db::CursorType::Static, db::LockType::ReadOnly);
    if (files.isOpen()) {
        if (!files.eof() && !files.field("filename").value().isNull()) {
            folder = backupFolderOf(files.field("filename").value().toText());
        }
        files.close();
    }

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string& database = run.database();
    const std::string timestamp = backupTimestamp(local);
    run.target.execute(addDumpDeviceStatement(database, folder, timestamp));
    run.target.execute("BACKUP DATABASE " + database + " TO " + database + "_Upgrade");
    run.statistics.backupFile = backupFilePath(database, folder, timestamp);
    run.target.execute("USE master EXEC sp_dropdevice " +
                       store::SQLValueForServer(database + "_Upgrade", 3));
    run.target.execute("USE " + database);

    run.form.Command2.enabled = true;
    run.form.FXEvolucao.caption = "Backup realizando com sucesso.";
    run.form.FXEvolucao.visible = true;
    run.host.repaint();
}

}  // namespace upgrade
