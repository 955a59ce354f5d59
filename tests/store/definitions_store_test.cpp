#include "store/definitions_store.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "db/error.h"
#include "db/sqlite/sqlite_connection.h"
#include "temp_folder.h"

namespace store {
namespace {

using testing_support::TempFolder;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::set<std::string> filesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

std::string pragma(db::Connection& connection, const std::string& name) {
    db::Recordset rs = connection.open("PRAGMA " + name, db::CursorType::Static);
    return rs.field(std::size_t{0}).value().toText();
}

TEST(StorePath, KeepsTheProgramFolderAsItIs) {
    EXPECT_EQ(storePath("/opt/Ferramentas Ação"),
              std::filesystem::path("/opt/Ferramentas Ação/SQL.mdb"));
}

TEST(CreateEmptyStore, MakesAStoreThatOpensInWalMode) {
    TempFolder folder("create");
    const auto path = storePath(folder.path());
    createEmptyStore(path);
    EXPECT_EQ(filesIn(folder.path()), std::set<std::string>{"SQL.mdb"});

    auto store = openStore(path);
    EXPECT_EQ(pragma(*store, "journal_mode"), "wal");
    EXPECT_EQ(pragma(*store, "synchronous"), "1");  // NORMAL
    db::Recordset rs = store->open("SELECT * FROM tbDados_Gigantic", db::CursorType::Static);
    EXPECT_EQ(rs.recordCount(), 0);
    EXPECT_EQ(rs.fieldCount(), 7u);
}

TEST(CreateEmptyStore, RefusesToWriteOverAFile) {
    TempFolder folder("create-over");
    const auto path = folder / "SQL.mdb";
    writeFile(path, "keep me");
    try {
        createEmptyStore(path);
        FAIL() << "an existing file was written over";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.number(), db::errc::kStoreError);
        EXPECT_EQ(
            e.description(),
            "The file '" + path.string() +
                "' already exists; a new definitions store is only created where no file is.");
    }
    EXPECT_EQ(readFile(path), "keep me");
}

TEST(CreateEmptyStore, FailsCleanlyInAMissingFolder) {
    TempFolder folder("create-missing");
    const auto path = folder / "nope" / "SQL.mdb";
    try {
        createEmptyStore(path);
        FAIL() << "created in a missing folder";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.description(),
                  "Could not create '" + path.string() + "': " + std::strerror(ENOENT) + ".");
    }
}

TEST(OpenStore, ClosingLeavesTheFileCompleteOnItsOwn) {
    TempFolder folder("checkpoint");
    const auto path = storePath(folder.path());
    createEmptyStore(path);
    auto store = openStore(path);
    store->execute("INSERT INTO tbLogs (descrit) VALUES ('it'+CHR(39)+'s logged')");
    EXPECT_TRUE(std::filesystem::exists(path.string() + "-wal"));
    store->close();
    EXPECT_EQ(filesIn(folder.path()), std::set<std::string>{"SQL.mdb"});

    TempFolder elsewhere("checkpoint-copy");
    std::filesystem::copy_file(path, elsewhere / "SQL.mdb");
    auto copy = openStore(elsewhere / "SQL.mdb");
    db::Recordset rs = copy->open("SELECT descrit FROM tbLogs", db::CursorType::Static);
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.field("descrit").value(), db::Value::text("it's logged"));
}

TEST(OpenStoreWithPrivateLog, ReadsTheStoreAndWritesOnlyItsOwnLog) {
    TempFolder folder("private-log");
    const auto path = storePath(folder.path());
    createEmptyStore(path);
    {
        auto store = openStore(path);
        store->execute("INSERT INTO tbObjects (tabela, campo, tipo) VALUES ('tbA', 'x', 'int')");
        store->execute("INSERT INTO tbLogs (descrit) VALUES ('the store''s own log')");
    }
    const std::string before = readFile(path);

    // Two runs at once, each with a log of its own; a text column of the store still
    // joins with + as Jet joins it.
    auto first = openStoreWithPrivateLog(path, folder / "first.db");
    auto second = openStoreWithPrivateLog(path, folder / "second.db");
    for (db::Connection* run : {first.get(), second.get()}) {
        run->execute("DELETE FROM tbLogs");
        db::Recordset rs = run->open("SELECT tabela + '.' + campo AS name FROM tbObjects", db::CursorType::Static);
        ASSERT_EQ(rs.recordCount(), 1);
        EXPECT_EQ(rs.field("name").value(), db::Value::text("tbA.x"));
    }
    first->execute("INSERT INTO tbLogs (descrit) VALUES ('it'+CHR(39)+'s the first')");
    EXPECT_THROW(first->execute("DELETE FROM tbObjects"), db::Error);
    first->close();
    second->close();

    EXPECT_EQ(readFile(path), before);
    auto log = std::make_unique<db::sqlite::SqliteConnection>(folder / "first.db", db::sqlite::OpenMode::ReadOnly);
    db::Recordset logged = log->open("SELECT descrit FROM tbLogs", db::CursorType::Static);
    ASSERT_EQ(logged.recordCount(), 1);
    EXPECT_EQ(logged.field("descrit").value(), db::Value::text("it's the first"));
    auto store = openStore(path);
    db::Recordset kept = store->open("SELECT descrit FROM tbLogs", db::CursorType::Static);
    ASSERT_EQ(kept.recordCount(), 1);
    EXPECT_EQ(kept.field("descrit").value(), db::Value::text("the store's own log"));

    try {
        openStoreWithPrivateLog(folder / "missing.mdb", folder / "third.db");
        FAIL() << "a missing store was opened";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.description(), "Could not find file '" + (folder / "missing.mdb").string() + "'.");
    }
}

// A file that is not a store: what the folder holds before opening, and the error.
struct NotAStoreCase {
    const char* name;
    void (*prepare)(const std::filesystem::path& path);
    const char* problem;  // the description after "The file '<path>' ", or a whole one
    bool wholeDescription = false;
};

void createSqlite(const std::filesystem::path& path, const char* sql) {
    db::sqlite::SqliteConnection connection(path, db::sqlite::OpenMode::Create);
    connection.execute(sql);
}

void storeWithoutDeleteFirst(const std::filesystem::path& path) {
    std::filesystem::path full = path.parent_path() / "full.mdb";
    createEmptyStore(full);
    {
        db::sqlite::SqliteConnection connection(full, db::sqlite::OpenMode::ReadWrite);
        connection.execute("PRAGMA journal_mode=DELETE");
        connection.execute(
            "ALTER TABLE tbDados DROP COLUMN delete_first; DROP TABLE tbLogs; DROP TABLE "
            "tbExecute");
    }
    std::filesystem::rename(full, path);
}

const NotAStoreCase kNotAStoreCases[] = {
    {"Missing", [](const std::filesystem::path&) {}, "Could not find file '%'.", true},
    {"Folder", [](const std::filesystem::path& p) { std::filesystem::create_directory(p); },
     "is a folder, not a definitions store."},
    {"Empty", [](const std::filesystem::path& p) { writeFile(p, ""); },
     "is empty: it is not a definitions store."},
    {"JetDatabase",
     [](const std::filesystem::path& p) {
         writeFile(p, std::string("\x00\x01\x00\x00Standard Jet DB\x00\x01\x00\x00\x00", 24) +
                          std::string(2048, '\0'));
     },
     "is a Jet database; the definitions store is a SQLite database. Create one with "
     "\"sqlupgrade-cli "
     "init-store\" and capture the structure into it."},
    {"TextFile", [](const std::filesystem::path& p) { writeFile(p, "[Defs]\r\nserver=srv01\r\n"); },
     "is a text file, not a definitions store."},
    {"OtherBinary",
     [](const std::filesystem::path& p) { writeFile(p, std::string("\x89PNG\r\n\x1a\n\0\0", 10)); },
     "is not a SQLite database, so it is not a definitions store."},
    {"DamagedSqlite",
     [](const std::filesystem::path& p) {
         writeFile(p, std::string("SQLite format 3\0", 16) + std::string(84, '\x7f'));
     },
     "cannot be read as a SQLite database: file is not a database."},
    {"SqliteWithoutTables",
     [](const std::filesystem::path& p) { createSqlite(p, "CREATE TABLE other (x)"); },
     "is a SQLite database but not a definitions store: the tables tbObjects, tbFunctions, "
     "tbViews, tbProcedures, "
     "tbIndexes, tbPrimary_Keys, tbDefaults, tbDados, tbDados_Gigantic, tbLogs, tbExecute are "
     "missing."},
    {"WalSqliteWithoutTables",
     [](const std::filesystem::path& p) {
         createSqlite(p, "PRAGMA journal_mode=WAL; CREATE TABLE other (x)");
     },
     "is a SQLite database but not a definitions store: the tables tbObjects, tbFunctions, "
     "tbViews, tbProcedures, "
     "tbIndexes, tbPrimary_Keys, tbDefaults, tbDados, tbDados_Gigantic, tbLogs, tbExecute are "
     "missing."},
    {"StoreMissingAColumnAndTables", storeWithoutDeleteFirst,
     "is a SQLite database but not a definitions store: the tables tbLogs, tbExecute are missing; "
     "the table "
     "tbDados has no column delete_first."},
};

class OpenStoreRefuses : public ::testing::TestWithParam<NotAStoreCase> {};

TEST_P(OpenStoreRefuses, NamingThePathAndChangingNothing) {
    TempFolder folder(std::string("refuse-") + GetParam().name);
    const auto path = storePath(folder.path());
    GetParam().prepare(path);
    const std::set<std::string> filesBefore = filesIn(folder.path());
    const std::string bytesBefore = std::filesystem::is_regular_file(path) ? readFile(path) : "";

    std::string expected = GetParam().problem;
    if (GetParam().wholeDescription) {
        expected.replace(expected.find('%'), 1, path.string());
    } else {
        expected = "The file '" + path.string() + "' " + expected;
    }
    try {
        openStore(path);
        FAIL() << "opened a file that is not a store";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.number(), db::errc::kStoreError);
        EXPECT_EQ(e.description(), expected);
    }
    EXPECT_EQ(filesIn(folder.path()), filesBefore);
    if (std::filesystem::is_regular_file(path)) {
        EXPECT_EQ(readFile(path), bytesBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenStoreRefuses, ::testing::ValuesIn(kNotAStoreCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace store
