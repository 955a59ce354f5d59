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
    bool computed = false;    // col AS expression: SQLite computes it, nothing writes it
};

// The identity property of a table's identity column, with its current value.
struct IdentityInfo {
    int colid = 0;
    std::int64_t seed = 1;
    std::int64_t increment = 1;
    std::optional<std::int64_t> current;  // none until the first row
    // RESEED before the table's first row: that row takes `current` itself, not `current`
    // plus the increment (DBCC CHECKIDENT on SQL Server 2000).
    bool fresh = false;
};

// A CHECK constraint as the executors enforce it.
struct CheckRule {
    int id = 0;
    std::string name;
    int colid = 0;            // the one column it reads (a column constraint), 0 for several
    std::string text;         // syscomments: "(zip like '[0-9][0-9][0-9][0-9][0-9]')"
    std::string sql;          // the condition in SQLite's dialect; empty when it does not translate
    std::vector<int> colids;  // every column it reads
    bool enabled = true;      // not disabled by NOCHECK CONSTRAINT
};

// A FOREIGN KEY between two tables, as either of them sees it.
struct ForeignKeyRule {
    int id = 0;
    std::string name;
    bool enabled = true;
    bool deleteCascade = false;  // ON DELETE CASCADE: deleting a referenced row deletes its referencing rows
    bool updateCascade = false;  // ON UPDATE CASCADE: a changed key is carried into the referencing rows
    int childId = 0;  // the referencing table
    std::string childTable;
    std::vector<std::string> childColumns;
    std::vector<int> childColids;
    int parentId = 0;  // the referenced table
    std::string parentTable;
    std::vector<std::string> parentColumns;
    std::vector<int> parentColids;
};

// A trigger of a table and what fires it.
struct TriggerRule {
    int id = 0;
    std::string name;
    bool onInsert = false;
    bool onUpdate = false;
    bool onDelete = false;
    bool insteadOf = false;
    bool disabled = false;
    std::string order;  // sp_settriggerorder's places: "INSERT:First,DELETE:Last"; empty: none

    // -1 when the trigger fires first for the statement, 1 when last, 0 otherwise.
    // Example: order "UPDATE:Last", "UPDATE" -> 1.
    int placeFor(std::string_view statement) const;
};

// A table's description as the executors need it: columns in colid order, identity, and
// the rules a change must keep (checks, foreign keys both ways) and the triggers it fires.
struct TableInfo {
    int id = 0;
    std::string name;
    std::string xtype;  // "U" or "S"
    std::vector<ColumnInfo> columns;
    std::optional<IdentityInfo> identity;
    std::vector<CheckRule> checks;
    std::vector<ForeignKeyRule> foreignKeys;   // this table references others
    std::vector<ForeignKeyRule> referencedBy;  // other tables (or itself) reference this one
    std::vector<TriggerRule> triggers;
    bool hasComputed = false;

    // True when a change of the table needs more than writing its rows.
    bool hasRules() const {
        return !checks.empty() || !foreignKeys.empty() || !referencedBy.empty() || !triggers.empty();
    }

    // Index of the column with this name (case-insensitive), or -1.
    int findColumn(std::string_view name) const;
};

// One database: its SQLite file, its catalog and caches of table descriptions and
// prepared statements. Owned by the engine; used under the engine's batch lock.
class Database {
public:
    // Opens (creating when missing, with `collation` as its default, empty: the server's)
    // the database file. windowsPaths: sysfiles shows C:\MSSQL\Data\<name>_Data.MDF
    // instead of the real path.
    Database(std::string name, const std::filesystem::path& file, bool windowsPaths, bool isMaster,
             const std::string& collation = {});
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

    // Stores a table's new identity value; fresh: no row has taken one yet, so the next
    // row takes `value` itself.
    void setIdentityCurrent(int tableId, std::int64_t value, bool fresh = false);

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
