#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kFixture =
    "CREATE TABLE tbB (id int NOT NULL, nome varchar(20) NULL) "
    "INSERT INTO tbB VALUES (1, 'um') INSERT INTO tbB VALUES (2, 'dois')";

// The rows of a query on a SQLite file, as text ("NULL" for nulls).
Rows readFile(const std::filesystem::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    Rows rows;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open " << file;
        return rows;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db);
    } else {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const unsigned char* text = sqlite3_column_text(stmt, i);
                row.emplace_back(text ? reinterpret_cast<const char*>(text) : "NULL");
            }
            rows.push_back(std::move(row));
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

// Message numbers of a response, in order, with the texts of errors.
std::vector<std::int32_t> numbers(const Response& r) {
    std::vector<std::int32_t> out;
    for (const auto& item : r.items)
        if (const auto* m = std::get_if<Message>(&item)) out.push_back(m->number);
    return out;
}

std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// The upgrade's backup sequence: the data file from sysfiles, a dump device beside it,
// BACKUP DATABASE, the device dropped, back to the database.
TEST(EngineBackup, WritesAConsistentCopyWhereTheDevicePoints) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kFixture)), "");
    Rows files = h.rows("SELECT TOP 1 filename FROM sysfiles");
    ASSERT_EQ(files.size(), 1u);
    std::filesystem::path dataFile = rtrim(files[0][0]);
    EXPECT_EQ(dataFile, std::filesystem::absolute(h.dataDir() / "app.sqlite"));
    std::filesystem::path backup = dataFile.parent_path() / "app_20260101120000.BAK";

    EXPECT_EQ(describe(h.run("USE master EXEC sp_addumpdevice 'disk', 'app_Upgrade', '" + backup.string() + "'")),
              "5701: Changed database context to 'master'.\n");
    Response r = h.run("BACKUP DATABASE app TO app_Upgrade");
    EXPECT_EQ(numbers(r), (std::vector<std::int32_t>{4035, 4035, 3014})) << describe(r);
    for (const auto& item : r.items) {
        if (const auto* m = std::get_if<Message>(&item)) {
            EXPECT_EQ(m->severity, 10) << m->text;
        }
    }
    EXPECT_EQ(describe(h.run("USE master EXEC sp_dropdevice 'app_Upgrade'")), "5701: Changed database context to 'master'.\n");
    EXPECT_EQ(describe(h.run("USE app")), "5701: Changed database context to 'app'.\n");
    ASSERT_EQ(describe(h.run("INSERT INTO tbB VALUES (3, 'depois')")), "");

    ASSERT_TRUE(std::filesystem::exists(backup));
    EXPECT_FALSE(std::filesystem::exists(backup.string() + "-wal"));
    EXPECT_EQ(readFile(backup, "SELECT id, nome FROM tbB ORDER BY id"), (Rows{{"1", "um"}, {"2", "dois"}}));
    EXPECT_EQ(readFile(backup, "SELECT name FROM sysobjects WHERE trim(xtype) = 'U'"), (Rows{{"tbB"}}));
    EXPECT_EQ(readFile(backup, "PRAGMA journal_mode"), (Rows{{"delete"}}));
    EXPECT_EQ(h.firstError("BACKUP DATABASE app TO app_Upgrade").number, 3206);  // the device is gone
}

// Under --windows-paths sysfiles shows C:\MSSQL\Data\...; device paths in that folder
// land in the data folder, bare file names in its BACKUP folder.
TEST(EngineBackup, MapsWindowsPathsIntoTheDataFolder) {
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kFixture)), "");
    h.restart(std::nullopt, true);
    Rows files = h.rows("SELECT TOP 1 filename FROM sysfiles");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(rtrim(files[0][0]), "C:\\MSSQL\\Data\\app_Data.MDF");
    struct Case {
        std::string device;
        std::filesystem::path file;
    };
    const Case cases[] = {
        {"C:\\MSSQL\\Data\\app_20260101120000.BAK", h.dataDir() / "app_20260101120000.BAK"},
        {"app_20260101120001.BAK", h.dataDir() / "BACKUP" / "app_20260101120001.BAK"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(describe(h.run("USE master EXEC sp_addumpdevice 'disk', 'app_Upgrade', '" + c.device + "'")),
                  "5701: Changed database context to 'master'.\n");
        EXPECT_EQ(numbers(h.run("BACKUP DATABASE app TO app_Upgrade")), (std::vector<std::int32_t>{4035, 4035, 3014}));
        h.run("USE master EXEC sp_dropdevice 'app_Upgrade' USE app");
        EXPECT_EQ(readFile(c.file, "SELECT count(*) FROM tbB"), (Rows{{"2"}})) << c.device;
    }
}

struct RefusalCase {
    const char* name;
    const char* batch;
    const char* messages;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

const RefusalCase kRefusals[] = {
    {"UnknownDevice", "BACKUP DATABASE app TO app_None",
     "3206: No entry in sysdevices for backup device 'app_None'. Update sysdevices and rerun statement.\n"
     "3013: BACKUP DATABASE is terminating abnormally.\n"},
    {"UnknownDatabase", "BACKUP DATABASE nowhere TO DISK = 'x.BAK'",
     "911: Could not locate entry in sysdatabases for database 'nowhere'. No entry found with that name. Make sure that "
     "the name is entered correctly.\n3013: BACKUP DATABASE is terminating abnormally.\n"},
    {"MissingFolder", "BACKUP DATABASE app TO DISK = '/nonexistent-sandbox-folder/app.BAK'",
     "3201: Cannot open backup device '/nonexistent-sandbox-folder/app.BAK'. Device error or device off-line. See the "
     "SQL Server error log for more details.\n3013: BACKUP DATABASE is terminating abnormally.\n"},
    {"DeviceNameTaken",
     "EXEC sp_addumpdevice 'disk', 'app_Upgrade', 'a.BAK' EXEC sp_addumpdevice 'disk', 'APP_UPGRADE', 'b.BAK'",
     "15026: Logical device 'APP_UPGRADE' already exists.\n"},
    {"UnknownDeviceType", "EXEC sp_addumpdevice 'floppy', 'app_Upgrade', 'a.BAK'",
     "15044: 'floppy' is an unknown device type. Use 'disk', 'tape', or 'pipe'.\n"},
    {"MissingPhysicalName", "EXEC sp_addumpdevice 'disk', 'app_Upgrade'",
     "201: Procedure 'sp_addumpdevice' expects parameter '@physicalname', which was not supplied.\n"},
    {"DropUnknownDevice", "EXEC sp_dropdevice 'app_None'", "15012: Device 'app_None' does not exist.\n"},
};

class BackupRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(BackupRefusals, ReportSqlServersErrors) {
    const RefusalCase& c = GetParam();
    EngineHarness h;
    ASSERT_EQ(describe(h.run(kFixture)), "");
    EXPECT_EQ(describe(h.run(c.batch)), c.messages);
}

INSTANTIATE_TEST_SUITE_P(Statements, BackupRefusals, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sandbox::testing
