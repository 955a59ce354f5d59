#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/sql_types.h"

namespace sandbox {

// One sysobjects row, as the executors need it. xtype is trimmed ("U", "PK").
struct ObjectInfo {
    int id = 0;
    std::string name;
    std::string xtype;
    int parentObj = 0;
    int status = 0;
};

// A column being added to syscolumns.
struct NewColumn {
    std::string name;
    ColumnType type;
    bool nullable = true;
    bool identity = false;
    int cdefault = 0;        // id of the column's default object, 0 for none
    std::string collation;   // character columns only
    bool computed = false;   // col AS expression (iscomputed 1, colstat bit 4)
};

// syscolumns.colstat bit of a computed column.
inline constexpr int kColstatComputed = 4;

// An index being added to sysindexes/sysindexkeys.
struct NewIndex {
    std::string name;
    int indid = 0;            // 0 heap, 1 clustered, 2.. nonclustered, 255 text chain
    int status = 0;           // 2 unique, 16 clustered, 2048 primary key, 4096 unique constraint
    std::vector<int> colids;  // key columns in key order
};

// sysindexes status bits.
namespace indexstatus {
inline constexpr int kUnique = 2;
inline constexpr int kClustered = 16;
inline constexpr int kPrimaryKey = 2048;
inline constexpr int kUniqueConstraint = 4096;
}  // namespace indexstatus

// sysobjects.status bits of a CHECK or FOREIGN KEY constraint, as SQL Server 2000 sets
// them (a column CHECK declared with its column reads 2; NOCHECK CONSTRAINT makes it
// 0x902, disabled and not trusted): written inside its column's definition; disabled by
// NOCHECK CONSTRAINT; NOT FOR REPLICATION; not trusted since created or enabled WITH
// NOCHECK, while disabled, and always when NOT FOR REPLICATION (replication agents write
// past it, so SQL Server never trusts it: 0xC00, and WITH CHECK CHECK keeps it so).
// OBJECTPROPERTY's CnstIs... answers read them.
inline constexpr int kStatusConstraintColumnLevel = 0x2;
inline constexpr int kStatusConstraintDisabled = 0x100;
inline constexpr int kStatusConstraintNotForReplication = 0x400;
inline constexpr int kStatusConstraintNotTrusted = 0x800;
// A FOREIGN KEY's ON DELETE CASCADE and ON UPDATE CASCADE (the sandbox's own bits: where
// SQL Server 2000 keeps them is not documented; clients ask OBJECTPROPERTY's
// CnstIsDeleteCascade and CnstIsUpdateCascade).
inline constexpr int kStatusDeleteCascade = 0x1000;
inline constexpr int kStatusUpdateCascade = 0x2000;
// A trigger turned off by ALTER TABLE ... DISABLE TRIGGER (ExecIsTriggerDisabled).
inline constexpr int kStatusTriggerDisabled = 0x800;

// sysobjects.status bits that record the session settings a module was created with.
inline constexpr int kStatusAnsiNulls = 0x20000000;
inline constexpr int kStatusQuotedIdentifier = 0x40000000;

// The SQL Server 2000 catalog of one database, kept as real SQLite tables in the
// database's own file. Every DDL statement updates it through this class, so catalog
// queries see the same rows a SQL Server would show. Not thread-safe: the engine
// serialises batches. Throws sqlite::Failure on storage errors.
class Catalog {
public:
    explicit Catalog(sqlite3* db) : m_db(db) {}

    // Creates the system tables with their fixed rows (systypes, sysusers, the system
    // tables' own sysobjects/syscolumns rows) and the sandbox's private bookkeeping.
    static void create(sqlite3* db, std::string_view databaseName, std::string_view collation, bool isMaster);

    // Adds the system tables (and the sandbox's bookkeeping) that a database file made by
    // an earlier version of the sandbox lacks.
    static void addMissingTables(sqlite3* db, std::string_view collation);

    // Rewrites sysfiles: fileid 1 "<db>_Data" at dataPath, fileid 2 "<db>_Log" at logPath.
    void setFiles(std::string_view databaseName, std::string_view dataPath, std::string_view logPath);

    // The database's default collation and name, as recorded at creation.
    std::string collation();
    std::string databaseName();

    // A new object id, never given before in this database.
    int allocateObjectId();

    // Looks an object up by name (the database collation decides equality) or by id.
    std::optional<ObjectInfo> findObject(std::string_view name);
    std::optional<ObjectInfo> findObject(int id);

    // Adds a sysobjects row and returns its id (`id` 0: a new one is allocated).
    int addObject(std::string_view name, std::string_view xtype, int parentObj, int status, int id = 0);
    // Sets sysobjects.info: the column of a constraint on one column (0 for several).
    void setObjectInfo(int id, int info);
    // Sets sysobjects.status (a constraint's disabled and not-trusted bits).
    void setObjectStatus(int id, int status);
    // Sets the `bits` of sysobjects.status to `on`, leaving the others as they are.
    void setObjectStatusBits(int id, int bits, bool on);

    void addColumn(int tableId, int colid, const NewColumn& column);
    // Rewrites a column's type, length, precision, scale, nullability, identity bit and
    // collation (ALTER COLUMN); its name, colid and default stay.
    void updateColumn(int tableId, int colid, const NewColumn& column);
    void setColumnDefault(int tableId, int colid, int defaultId);

    // Stores a source text in syscomments in chunks of 4000 characters, colid 1, 2, ...
    // Example: a 9,000-character text -> rows of 4000, 4000 and 1000 characters.
    void addComment(int id, std::string_view text, int number = 0);

    void addIndex(int tableId, const NewIndex& index);
    void removeIndex(int tableId, int indid);
    // The lowest free nonclustered index id (2..250) of a table.
    int nextIndexId(int tableId);

    // Gives an object a new name; a table's heap and text-chain rows in sysindexes follow.
    void renameObject(int id, std::string_view newName);

    // Makes `collation` the database's default (ALTER DATABASE ... COLLATE): recorded for
    // new columns, and given to systypes and to the system tables' own columns, as SQL
    // Server does; user columns keep theirs.
    void setCollation(std::string_view collation);

    // Deletes an object and everything hanging off it: child objects (constraints,
    // defaults, triggers), columns, comments, indexes and index keys, foreign key columns,
    // permissions, its sysdepends rows and those of the modules that depend on it.
    void dropObject(int id);

    // A system-generated constraint name: "PK__tbUsers__0EA330E9",
    // "DF__tbUsers__activo__0F975522" (table and column shortened as SQL Server does).
    static std::string generatedName(std::string_view prefix, std::string_view table, std::string_view column,
                                     int objectId);

private:
    sqlite3* m_db;
};

}  // namespace sandbox
