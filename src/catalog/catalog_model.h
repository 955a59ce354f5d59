#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/change.h"
#include "catalog/name_rules.h"
#include "db/connection.h"
#include "db/recordset.h"
#include "db/value.h"

namespace catalog {

// One row of a column as the catalog's column join gives it: the column with one row of
// its default's source text. A default kept in several syscomments rows (more than 4,000
// characters) gives a row per chunk, as the join does; a column without default one row
// whose text is null.
struct DefaultRow {
    db::Value text;          // syscomments.text, or null
    bool commentFound = false;   // a syscomments row was joined
    db::Value name;          // the default object's name, or null when it has no sysobjects row
};

// A column of a user table, with every value the per-column catalog query gives.
struct ColumnInfo {
    std::string name;
    std::int64_t colid = 0;
    std::int64_t colorder = 0;
    std::size_t nameRank = 0;  // position in the server's name order within the table
    db::Value tipo;        // the base type's name (systypes joined on xtype = xusertype)
    db::Value tamanho;     // length in bytes
    db::Value xprec;
    db::Value xscale;
    db::Value isnullable;
    db::Value isidentity;  // syscolumns.colstat; 1 marks the identity column
    db::Value collation;   // null for types without one
    db::Value iscomputed;
    std::int64_t defaultId = 0;  // syscolumns.cdefault, 0 without default
    std::vector<DefaultRow> defaults;  // at least one row
};

// An index with a key (sysindexes joined with sysindexkeys): its key columns in key order.
struct IndexInfo {
    std::int64_t indid = 0;
    std::string name;
    std::int64_t status = 0;  // 16: clustered, 2048: backs a primary key
    struct Key {
        std::int64_t colid = 0;
        std::int64_t keyno = 0;
    };
    std::vector<Key> keys;  // in keyno order

    bool clustered() const { return (status & 16) != 0; }
};

// An object of the database (sysobjects): a table, a module, a constraint.
struct ObjectInfo {
    std::int64_t id = 0;
    std::string name;
    std::string xtype;  // without its padding blank: "U", "PK", "D", "FN"
    std::int64_t parent = 0;  // parent_obj: the table a constraint or trigger belongs to
    std::int64_t status = 0;
};

// A user table: its columns in colid order, its indexes in indid order, the objects it
// owns (primary key, defaults, other constraints, triggers) in id order.
struct TableInfo {
    ObjectInfo object;
    std::vector<ColumnInfo> columns;
    std::vector<IndexInfo> indexes;
    std::vector<ObjectInfo> owned;

    const ColumnInfo* columnById(std::int64_t colid) const;
    // The primary key constraint and the index of the same name, or nulls.
    const ObjectInfo* primaryKeyObject(const NameRules& rules) const;
    const IndexInfo* primaryKeyIndex(const NameRules& rules) const;
    // The key columns in key order, with their types: what the system data needs to find
    // a row. Empty without a primary key.
    std::vector<const ColumnInfo*> primaryKeyColumns(const NameRules& rules) const;
    // The identity column (colstat 1), or null.
    const ColumnInfo* identityColumn() const;
};

// The catalog of one database (the reference of a capture or the target of an upgrade),
// read with a few set-based queries instead of one query per table, column, index and
// default: the collation, the objects, the columns with their types and defaults, the
// index keys, the users, and for a capture the source text of the modules. Each part is
// read on its first use.
//
// It answers the questions the phases ask with exactly what the per-item catalog query
// would return (the queries in upgrade/target_catalog.h and structure/target_queries.h
// stay the definition of what is asked): names compared as the database's collation
// compares them, trailing blanks ignored, a name first trimmed as its T-SQL literal is.
// Answers that have the shape of a per-item query's record set (the same field names,
// rows in its order) let a phase read either the same way.
//
// Freshness: what the tool changes it reports with apply(Change); the next question about
// a changed table re-reads every changed table together (three queries for up to a
// hundred tables), never a column at a time; what was not changed is not read again.
//
// A catalog the set-based queries cannot read (an error, a result without the columns
// asked for) is not modelled: every answer is then nullopt and the caller sends the
// per-item query, as it did before. So does a question the model cannot answer the way
// the server would (a null name, which makes a query the server rejects).
//
// For code that needs more than the per-item queries gave (the system data's existence
// checks and row rules, a plan, a drift report), tables() gives each table whole: its
// columns in colid order with every value above, its indexes with their key columns in
// key order and clustering, the objects it owns, and through TableInfo its primary key
// columns in key order with their types and its identity column.
//
// Owned by one run, on the run's connection; not thread-safe. Errors of the connection
// never escape a question (they make the model unavailable).
class Model {
public:
    explicit Model(db::Connection& connection);

    // Marks what a statement changes (before or after it runs: a failed statement may
    // have changed part of it).
    void apply(const Change& change);

    // Whether the set-based queries have been read and can answer. Reads them now if
    // they have not been.
    bool available();

    // Per-table target column query (tabela, campo, tipo, tamanho, xprec, xscale,
    // isnullable, isidentity, cdefault and, `withCollation`, collation): every column of
    // the user tables of that name but dtproperties, in colid order.
    std::optional<db::Recordset> tableColumns(std::string_view table, bool withCollation);
    // The same for one column.
    std::optional<db::Recordset> column(std::string_view table, std::string_view column);
    // Primary key of one table: PK_Name, tabela, campo, id, indid, colid, keyno, a row
    // per key column in column-name order (not key order).
    std::optional<db::Recordset> primaryKey(std::string_view table);
    // IX indexes on one column: IX_Name, tabela, campo, id, indid, colid, keyno; every
    // index of the user table whose name begins with IX, but one named like an object the
    // table owns (the index of a key or unique constraint).
    std::optional<db::Recordset> ixIndexes(std::string_view table, std::string_view column);
    // Default of one column: DF_name, tabela, campo, valor (a row per chunk of its text).
    std::optional<db::Recordset> columnDefault(std::string_view table, std::string_view column);
    // Whether an object of that name and type exists (`status` given: with exactly that
    // status). The name is taken as its literal carries it; nullopt for a blank name.
    std::optional<bool> hasObject(std::string_view name, std::string_view xtype,
                                  std::optional<std::int64_t> status = std::nullopt);
    // Whether an object of that name exists, whatever its type.
    std::optional<bool> hasObjectNamed(std::string_view name);
    // Whether sysusers has a user or role of that name; the name is compared as it is
    // (leading blanks count), trailing blanks ignored.
    std::optional<bool> hasUser(std::string_view name);

    // The source text chunks of the objects of type `xtype` named `name` (but
    // sysconstraints and syssegments), as the capture's chunk query returns them: a null
    // chunk for an object without source rows.
    std::optional<std::vector<db::Value>> moduleChunks(std::string_view xtype, const db::Value& name);
    // The source text chunks of the object with that id; none for an unknown id.
    std::optional<std::vector<db::Value>> moduleChunksById(std::int64_t id);

    // The user tables of that name (one, unless owners differ), fresh; empty when none.
    std::vector<const TableInfo*> tables(std::string_view name);
    // The database's name rules.
    const NameRules& rules() const { return m_rules; }

    // How many queries the model has sent; for tests and benchmarks.
    std::size_t queriesSent() const { return m_queries; }

private:
    struct Modules;

    bool load();
    void refreshStale();
    std::string literalKey(std::string_view name) const;
    bool tableStale(std::string_view table) const;
    bool columnStale(std::string_view table, std::string_view column) const;
    void freshen(bool stale);
    // Whether the model can answer, the changed parts read again first when `stale`.
    bool ready(bool stale);
    // Calls `each` for every column named `column` (as its literal carries it) of the user
    // tables named `table` but dtproperties, as the column queries find them.
    void forColumnsNamed(std::string_view table, std::string_view column,
                         const std::function<void(const TableInfo&, const ColumnInfo&)>& each);
    void readTables(const std::vector<std::string>& names);
    void readObjectsNamed(const std::vector<std::string>& names);
    void readUsers();
    bool loadModules();
    db::Recordset query(const std::string& sql);
    std::vector<TableInfo*> matching(std::string_view table);
    void indexObject(const ObjectInfo& object);
    bool ownsObjectNamed(const TableInfo& table, std::string_view name) const;

    db::Connection& m_connection;
    bool m_tried = false;
    bool m_available = false;
    std::size_t m_queries = 0;
    NameRules m_rules;

    std::map<std::int64_t, TableInfo> m_tables;          // by object id
    std::map<std::string, std::vector<ObjectInfo>> m_objects;  // by name key, tables included
    std::set<std::string> m_users;                        // name keys
    std::map<std::string, std::string> m_staleTables;     // key -> name as the change gave it
    std::map<std::string, std::string> m_staleColumnTables;  // key -> name, a column changed
    std::set<std::string> m_staleColumns;                 // table key + '\n' + column key
    std::map<std::string, std::string> m_staleObjects;
    bool m_staleUsers = false;

    bool m_modulesTried = false;
    bool m_modulesAvailable = false;
    std::map<std::int64_t, std::vector<db::Value>> m_chunks;  // by object id
};

}  // namespace catalog
