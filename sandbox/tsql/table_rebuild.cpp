#include "tsql/table_rebuild.h"

#include <string>
#include <vector>

#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/column_definition.h"
#include "tsql/computed_columns.h"

namespace sandbox::tsql {
void createStorageIndex(Database& db, int tableId, int indid) {
    sqlite::Statement row(db.handle(),
                          "SELECT o.name, i.status FROM sysindexes i JOIN sysobjects o ON o.id = i.id "
                          "WHERE i.id = ? AND i.indid = ?");
    row.bind(1, std::int64_t{tableId}).bind(2, std::int64_t{indid});
    if (!row.step()) return;
    std::string table = row.text(0);
    bool unique = (row.integer(1) & 2) != 0;
    sqlite::Statement keys(db.handle(),
                           "SELECT c.name FROM sysindexkeys k JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid "
                           "WHERE k.id = ? AND k.indid = ? ORDER BY k.keyno");
    keys.bind(1, std::int64_t{tableId}).bind(2, std::int64_t{indid});
    std::string columns;
    while (keys.step()) columns += (columns.empty() ? "" : ", ") + sqlite::quoteIdentifier(keys.text(0));
    if (columns.empty()) return;
    sqlite::exec(db.handle(), std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                                  sqlite::quoteIdentifier(sqliteIndexName(tableId, indid)) + " ON " +
                                  sqlite::quoteIdentifier(table) + " (" + columns + ")");
}

void rebuildTableStorage(Database& db, int tableId, const std::function<void()>& beforeIndexes,
                         const StoredTable& stored) {
    std::string table;
    {
        sqlite::Statement name(db.handle(), "SELECT name FROM sysobjects WHERE id = ?");
        name.bind(1, std::int64_t{tableId});
        if (!name.step()) return;
        table = name.text(0);
    }
    std::string definitions;
    std::string copied;  // ", a, b": the columns whose values move to the new table
    {
        sqlite::Statement cols(db.handle(),
                               "SELECT name, xusertype, length, xprec, xscale, collation, xtype, usertype, iscomputed, "
                               "(SELECT group_concat(m.text, '') FROM (SELECT text FROM syscomments WHERE id = c.id "
                               "AND number = c.colid ORDER BY colid) m) FROM syscolumns c WHERE id = ? ORDER BY colid");
        cols.bind(1, std::int64_t{tableId});
        while (cols.step()) {
            if (cols.integer(8) != 0) {
                // A computed column is computed again by the new table; nothing to copy.
                definitions += (definitions.empty() ? "" : ", ") +
                               sqliteComputedColumn(cols.text(0), cols.isNull(9) ? std::string("NULL") : cols.text(9),
                                                    db.name(), db.collation());
                continue;
            }
            ColumnType type = columnTypeFromCatalog(static_cast<int>(cols.integer(6)), static_cast<int>(cols.integer(1)),
                                                    static_cast<int>(cols.integer(7)), static_cast<int>(cols.integer(2)),
                                                    static_cast<int>(cols.integer(3)), static_cast<int>(cols.integer(4)));
            std::string collation = cols.isNull(5) ? std::string() : cols.text(5);
            definitions += (definitions.empty() ? "" : ", ") + sqliteColumnDefinition(cols.text(0), type, collation);
            if (iequals(cols.text(0), stored.addedColumn)) continue;
            copied += ", " + sqlite::quoteIdentifier(cols.text(0));
        }
    }
    // The rows wait in a temporary table while the table is created again under its own
    // name: SQLite renames a table, or adds a column to it, by parsing the whole schema of
    // the database again, which made each such change cost as much as the database's number
    // of tables and indexes.
    const std::string storedName = stored.name.empty() ? table : stored.name;
    const std::string staging = "temp." + sqlite::quoteIdentifier("~rebuild~" + std::to_string(tableId));
    const std::string rowid = sqlite::quoteIdentifier("~rebuild~rowid");
    sqlite::exec(db.handle(), "CREATE TABLE " + staging + " AS SELECT rowid AS " + rowid + copied + " FROM " +
                                  sqlite::quoteIdentifier(storedName));
    sqlite::exec(db.handle(), "DROP TABLE " + sqlite::quoteIdentifier(storedName));
    sqlite::exec(db.handle(), "CREATE TABLE " + sqlite::quoteIdentifier(table) + " (" + definitions + ")");
    sqlite::exec(db.handle(), "INSERT INTO " + sqlite::quoteIdentifier(table) + " (rowid" + copied + ") SELECT " + rowid + copied +
                                  " FROM " + staging);
    sqlite::exec(db.handle(), "DROP TABLE " + staging);
    beforeIndexes();
    std::vector<int> indids;
    {
        sqlite::Statement indexes(db.handle(), "SELECT indid FROM sysindexes WHERE id = ? AND indid BETWEEN 1 AND 250");
        indexes.bind(1, std::int64_t{tableId});
        while (indexes.step()) indids.push_back(static_cast<int>(indexes.integer(0)));
    }
    for (int indid : indids) createStorageIndex(db, tableId, indid);
}

}  // namespace sandbox::tsql
