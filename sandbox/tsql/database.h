#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/sql_types.h"

namespace sandbox::tsql {

// One column of a user or system table, read from syscolumns.
struct ColumnInfo {
    std::string name;
    int colid = 0;
    ColumnType type;
    bool nullable = true;
    bool identity = false;
    std::string collation;
    int defaultId = 0;
    std::string defaultText;  // syscomments text of the default: "(0)", "(getdate())"
};

// The identity property of a table's identity column, with its current value.
struct IdentityInfo {
    int colid = 0;
    std::int64_t seed = 1;
    std::int64_t increment = 1;
    std::optional<std::int64_t> current;  // none until the first row
};

// A table's description as the executors need it: columns in colid order, identity, and
// the unique indexes whose violation maps to 2627/2601.
struct TableInfo {
    int id = 0;
    std::string name;
    std::string xtype;  // "U" or "S"
    std::vector<ColumnInfo> columns;
    std::optional<IdentityInfo> identity;

    // Index of the column with this name (case-insensitive), or -1.
    int findColumn(std::string_view name) const;
};

// One database: its SQLite file, its catalog and caches of table descriptions and
// prepared statements. Owned by the engine; used under the engine's batch lock.
class Database {
public:
    // Opens (creating when missing) the database file. windowsPaths: sysfiles shows
    // C:\MSSQL\Data\<name>_Data.MDF instead of the real path.
    Database(std::string name, const std::filesystem::path& file, bool windowsPaths, bool isMaster);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::string& name() const { return m_name; }
    const std::filesystem::path& file() const { return m_file; }
    sqlite3* handle() const { return m_db; }
    Catalog& catalog() { return m_catalog; }
    const std::string& collation() const { return m_collation; }
    // Makes `collation` the default of new character columns (ALTER DATABASE ... COLLATE).
    void setCollation(const std::string& collation);

    // The description of a user or system table, or null when no such table exists.
    std::shared_ptr<const TableInfo> table(std::string_view name);
    // Forgets cached descriptions after DDL.
    void invalidate(std::string_view name);
    void invalidateAll();

    // Stores a table's new identity value.
    void setIdentityCurrent(int tableId, std::int64_t value);

    // A prepared statement from the cache (prepared on first use). The returned statement
    // is reset; it stays owned by the cache. Throws sqlite::Failure.
    sqlite3_stmt* prepare(const std::string& sql);

    // Forgets what a rolled-back transaction may have changed under the caches: table
    // descriptions and the default collation.
    void reloadAfterRollback();

    // Writes everything to the main file (WAL checkpoint) before closing.
    void checkpoint();

private:
    std::string m_name;
    std::filesystem::path m_file;
    sqlite3* m_db = nullptr;
    Catalog m_catalog;
    std::string m_collation;
    std::unordered_map<std::string, std::shared_ptr<const TableInfo>> m_tables;
    std::list<std::string> m_statementOrder;  // least recently used first
    std::unordered_map<std::string, std::pair<sqlite3_stmt*, std::list<std::string>::iterator>> m_statements;
};

}  // namespace sandbox::tsql
