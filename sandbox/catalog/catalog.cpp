#include "catalog/catalog.h"

#include <cstdio>

#include "catalog/collation.h"
#include "catalog/sqlite_util.h"
#include "catalog/system_tables.h"
#include "catalog/text_util.h"

namespace sandbox {
namespace {

using sqlite::Statement;

constexpr const char* kCatalogCreationDate = "2000-08-06 01:29:12.000";
constexpr std::int64_t kFirstObjectId = 100000000;
constexpr std::int64_t kObjectIdRange = 2047483647;  // ids stay below 2^31
constexpr std::int64_t kObjectIdStep = 16000057;     // coprime with the range: ids never repeat

std::string sqliteTableDefinition(const SystemTable& table, std::string_view collation) {
    std::string sql = "CREATE TABLE " + sqlite::quoteIdentifier(table.name) + " (";
    bool first = true;
    for (const auto& col : table.columns) {
        if (!first) sql += ", ";
        first = false;
        sql += sqlite::quoteIdentifier(col.name) + " " + std::string(storageAffinity(col.type));
        if (col.type.isCharacter()) sql += " COLLATE " + sqlite::quoteIdentifier(collation);
    }
    return sql + ")";
}

int xprecOf(const ColumnType& t) {
    if (t.base->shape == TypeShape::Sized || t.base->shape == TypeShape::UnicodeSized || t.base->xusertype == 256)
        return 0;
    return t.precision;
}

void insertSystemRows(sqlite3* db, const std::vector<SystemTable>& tables, Catalog& catalog,
                      std::string_view collation) {
    for (const auto& table : tables) sqlite::exec(db, sqliteTableDefinition(table, collation));
    for (const auto& table : tables) {
        catalog.addObject(table.name, "S", 0, 0, table.id);
        int colid = 1;
        for (const auto& col : table.columns) {
            NewColumn nc{col.name, col.type, col.nullable, false, 0, col.type.isCharacter() ? std::string(collation) : ""};
            catalog.addColumn(table.id, colid++, nc);
        }
    }
}

constexpr const char* kSysconstraintsText =
    "CREATE VIEW sysconstraints AS SELECT\n"
    "\tconstid = convert(int, id),\n"
    "\tid = convert(int, parent_obj),\n"
    "\tcolid = convert(smallint, info),\n"
    "\tspare1 = convert(tinyint, 0),\n"
    "\tstatus = convert(int,\n"
    "\t\t\tcase xtype\n"
    "\t\t\t\twhen 'PK' then 1 when 'UQ' then 2 when 'F' then 3\n"
    "\t\t\t\twhen 'C' then 4 when 'D' then 5 else 0 end\n"
    "\t\t\t+ case when info != 0\t\t\t-- CNST_COLUMN / WITH NOCHECK\n"
    "\t\t\t\t\tthen (16) else (32) end),\n"
    "\tactions = convert(int, 4096),\n"
    "\terror = convert(int, 0)\n"
    "FROM sysobjects WHERE xtype in ('C', 'F', 'PK', 'UQ', 'D')\n";

constexpr const char* kSyssegmentsText =
    "CREATE VIEW syssegments (segment, name, status) AS\n"
    "\tSELECT 0, 'system', 0 UNION\n"
    "\tSELECT 1, 'default', 1 UNION\n"
    "\tSELECT 2, 'logsegment', 0\n";

// The sandbox's own bookkeeping beside the catalog: what each trigger fires on, and the
// triggers sp_settriggerorder made first or last for a statement ("INSERT", ...).
void createPrivateTables(sqlite3* db) {
    sqlite::exec(db,
                 "CREATE TABLE IF NOT EXISTS \"~triggers\" (id INTEGER PRIMARY KEY, table_id INTEGER, on_insert INTEGER, "
                 "on_update INTEGER, on_delete INTEGER, instead_of INTEGER, disabled INTEGER);"
                 "CREATE INDEX IF NOT EXISTS \"~triggers_table\" ON \"~triggers\" (table_id);"
                 "CREATE TABLE IF NOT EXISTS \"~trigger_order\" (id INTEGER, event TEXT, position TEXT, "
                 "PRIMARY KEY (id, event));"
                 "CREATE INDEX IF NOT EXISTS \"~sysdepends_id\" ON sysdepends (id);"
                 "CREATE INDEX IF NOT EXISTS \"~sysdepends_depid\" ON sysdepends (depid);"
                 "CREATE INDEX IF NOT EXISTS \"~sysforeignkeys_fkey\" ON sysforeignkeys (fkeyid);"
                 "CREATE INDEX IF NOT EXISTS \"~sysforeignkeys_rkey\" ON sysforeignkeys (rkeyid);"
                 "CREATE INDEX IF NOT EXISTS \"~sysprotects_id\" ON sysprotects (id);");
    // A file made before DBCC CHECKIDENT ... RESEED kept whether the next identity is
    // the current value itself.
    Statement fresh(db, "SELECT 1 FROM pragma_table_info('~identity') WHERE name = 'fresh'");
    if (!fresh.step())
        sqlite::exec(db, "ALTER TABLE \"~identity\" ADD COLUMN fresh INTEGER NOT NULL DEFAULT 0");
}

void createSystemViews(sqlite3* db, Catalog& catalog) {
    // As SQL Server 2000 defines it: a constraint on one column keeps that column's id in
    // sysobjects.info (a column constraint, status + 16), one on several columns 0 (a
    // table constraint, + 32).
    sqlite::exec(db,
                 "CREATE VIEW sysconstraints AS SELECT o.id AS constid, o.parent_obj AS id, o.info AS colid, "
                 "0 AS spare1, (CASE trim(o.xtype) WHEN 'PK' THEN 1 WHEN 'UQ' THEN 2 WHEN 'F' THEN 3 "
                 "WHEN 'C' THEN 4 WHEN 'D' THEN 5 ELSE 0 END) + (CASE WHEN o.info <> 0 THEN 16 ELSE 32 END) "
                 "AS status, 4096 AS actions, 0 AS error FROM sysobjects o "
                 "WHERE trim(o.xtype) IN ('C', 'F', 'PK', 'UQ', 'D')");
    sqlite::exec(db,
                 "CREATE VIEW syssegments AS SELECT 0 AS segment, 'system' AS name, 0 AS status "
                 "UNION ALL SELECT 1, 'default', 1 UNION ALL SELECT 2, 'logsegment', 0");
    int id = catalog.addObject("sysconstraints", "V", 0, kStatusAnsiNulls | kStatusQuotedIdentifier);
    catalog.addComment(id, kSysconstraintsText);
    id = catalog.addObject("syssegments", "V", 0, kStatusAnsiNulls | kStatusQuotedIdentifier);
    catalog.addComment(id, kSyssegmentsText);
}

void insertTypes(sqlite3* db, std::string_view collation) {
    Statement insert(db,
                     "INSERT INTO systypes (name, xtype, status, xusertype, length, xprec, xscale, tdefault, domain, "
                     "uid, reserved, collationid, usertype, variable, allownulls, type, printfmt, prec, scale, "
                     "collation) VALUES (?, ?, 0, ?, ?, ?, ?, 0, 0, 1, 0, ?, ?, ?, 1, ?, NULL, ?, ?, ?)");
    std::size_t count = 0;
    const BuiltinType* types = builtinTypes(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto& t = types[i];
        ColumnType ct = *makeColumnType(t.name, std::nullopt, std::nullopt);
        ct.length = t.length;
        bool character = ct.isCharacter();
        insert.bind(1, t.name).bind(2, std::int64_t{t.xtype}).bind(3, std::int64_t{t.xusertype});
        insert.bind(4, std::int64_t{t.length}).bind(5, std::int64_t{t.xprec}).bind(6, std::int64_t{t.xscale});
        if (character) insert.bind(7, std::int64_t{872468488}); else insert.bindNull(7);
        insert.bind(8, std::int64_t{t.usertype}).bind(9, std::int64_t{t.variable ? 1 : 0});
        insert.bind(10, std::int64_t{legacyTypeCode(ct)});
        int prec = t.shape == TypeShape::Sized ? 8000 : t.shape == TypeShape::UnicodeSized ? 4000
                 : t.xusertype == 256 ? 128 : t.xprec;
        insert.bind(11, std::int64_t{prec}).bind(12, std::int64_t{t.xscale});
        if (character) insert.bind(13, collation); else insert.bindNull(13);
        insert.step();
        insert.reset();
    }
}

void insertUsers(sqlite3* db) {
    struct User { int uid; int status; const char* name; bool role; bool sqlUser; int access; };
    const User users[] = {
        {0, 0, "public", true, false, 0},         {1, 2, "dbo", false, true, 1},
        {2, 0, "guest", false, true, 0},          {3, 0, "INFORMATION_SCHEMA", false, true, 0},
        {4, 0, "system_function_schema", false, true, 0},
        {16384, 0, "db_owner", true, false, 0},   {16385, 0, "db_accessadmin", true, false, 0},
        {16386, 0, "db_securityadmin", true, false, 0}, {16387, 0, "db_ddladmin", true, false, 0},
        {16389, 0, "db_backupoperator", true, false, 0}, {16390, 0, "db_datareader", true, false, 0},
        {16391, 0, "db_datawriter", true, false, 0}, {16392, 0, "db_denydatareader", true, false, 0},
        {16393, 0, "db_denydatawriter", true, false, 0},
    };
    Statement insert(db,
                     "INSERT INTO sysusers (uid, status, name, sid, roles, createdate, updatedate, altuid, password, "
                     "gid, environ, hasdbaccess, islogin, isntname, isntgroup, isntuser, issqluser, isaliased, "
                     "issqlrole, isapprole) VALUES (?, ?, ?, ?, NULL, ?, ?, NULL, NULL, ?, NULL, ?, ?, 0, 0, 0, ?, "
                     "0, ?, 0)");
    for (const auto& u : users) {
        insert.bind(1, std::int64_t{u.uid}).bind(2, std::int64_t{u.status}).bind(3, u.name);
        if (u.uid == 1) {
            const unsigned char sid = 1;
            insert.bindBlob(4, &sid, 1);
        } else {
            insert.bindNull(4);
        }
        insert.bind(5, kCatalogCreationDate).bind(6, kCatalogCreationDate);
        insert.bind(7, std::int64_t{u.role ? u.uid : 0}).bind(8, std::int64_t{u.access});
        insert.bind(9, std::int64_t{u.uid == 1 ? 1 : 0}).bind(10, std::int64_t{u.sqlUser ? 1 : 0});
        insert.bind(11, std::int64_t{u.role ? 1 : 0});
        insert.step();
        insert.reset();
    }
}

std::string hex8(int id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(id));
    return buf;
}

std::string prefixChars(std::string_view text, std::size_t count) {
    return std::string(text.substr(0, utf8Offset(text, count)));
}

}  // namespace

void Catalog::create(sqlite3* db, std::string_view databaseName, std::string_view collation, bool isMaster) {
    sqlite::exec(db, "CREATE TABLE \"~sandbox\" (key TEXT PRIMARY KEY, value)");
    sqlite::exec(db,
                 "CREATE TABLE \"~identity\" (id INTEGER PRIMARY KEY, colid INTEGER, seed INTEGER, "
                 "increment INTEGER, current INTEGER, fresh INTEGER NOT NULL DEFAULT 0)");
    {
        Statement meta(db, "INSERT INTO \"~sandbox\" (key, value) VALUES (?, ?)");
        meta.bind(1, "name").bind(2, databaseName).step();
        meta.reset();
        meta.bind(1, "collation").bind(2, collation).step();
        meta.reset();
        meta.bind(1, "object_sequence").bind(2, std::int64_t{0}).step();
    }
    Catalog catalog(db);
    insertSystemRows(db, databaseSystemTables(), catalog, collation);
    createPrivateTables(db);
    if (isMaster) {
        insertSystemRows(db, masterSystemTables(), catalog, collation);
        sqlite::exec(db, "CREATE TABLE \"~logins\" (name TEXT PRIMARY KEY COLLATE " +
                             sqlite::quoteIdentifier(collation) + ", password TEXT, dbname TEXT, language TEXT)");
    }
    sqlite::exec(db,
                 "CREATE UNIQUE INDEX \"~sysobjects_id\" ON sysobjects (id);"
                 "CREATE INDEX \"~sysobjects_name\" ON sysobjects (name);"
                 "CREATE INDEX \"~sysobjects_parent\" ON sysobjects (parent_obj);"
                 "CREATE UNIQUE INDEX \"~syscolumns_id\" ON syscolumns (id, colid);"
                 "CREATE INDEX \"~syscolumns_default\" ON syscolumns (cdefault);"
                 "CREATE INDEX \"~syscomments_id\" ON syscomments (id, colid);"
                 "CREATE INDEX \"~sysindexes_id\" ON sysindexes (id, indid);"
                 "CREATE INDEX \"~sysindexkeys_id\" ON sysindexkeys (id, indid, keyno);"
                 "CREATE INDEX \"~systypes_usertype\" ON systypes (xusertype);"
                 "CREATE INDEX \"~sysusers_name\" ON sysusers (name);");
    // Fixed planner statistics: catalog queries look objects up by name or id and columns
    // by table, so those indexes are declared selective whatever the tables hold. Without
    // them SQLite may scan syscolumns for every per-column query.
    sqlite::exec(db,
                 "ANALYZE sqlite_schema;"
                 "DELETE FROM sqlite_stat1;"
                 "INSERT INTO sqlite_stat1 (tbl, idx, stat) VALUES "
                 "('sysobjects', '~sysobjects_id', '20000 1'), ('sysobjects', '~sysobjects_name', '20000 1'), "
                 "('sysobjects', '~sysobjects_parent', '20000 4'), ('syscolumns', '~syscolumns_id', '200000 20 1'), "
                 "('syscolumns', '~syscolumns_default', '200000 20000'), ('syscomments', '~syscomments_id', '20000 1 1'), "
                 "('sysindexes', '~sysindexes_id', '40000 3 1'), ('sysindexkeys', '~sysindexkeys_id', '40000 3 2 1'), "
                 "('systypes', '~systypes_usertype', '26 1'), ('sysusers', '~sysusers_name', '20 1');"
                 "ANALYZE sqlite_schema;");
    insertTypes(db, collation);
    insertUsers(db);
    sqlite::exec(db, "INSERT INTO sysfilegroups (groupid, allocpolicy, status, groupname) VALUES (1, 0, 16, 'PRIMARY')");
    createSystemViews(db, catalog);
}

void Catalog::addMissingTables(sqlite3* db, std::string_view collation) {
    std::vector<SystemTable> missing;
    for (const auto& table : databaseSystemTables()) {
        Statement q(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
        q.bind(1, table.name);
        if (!q.step()) missing.push_back(table);
    }
    if (!missing.empty()) {
        Catalog catalog(db);
        insertSystemRows(db, missing, catalog, collation);
    }
    createPrivateTables(db);
}

void Catalog::setFiles(std::string_view databaseName, std::string_view dataPath, std::string_view logPath) {
    sqlite::exec(m_db, "DELETE FROM sysfiles");
    Statement insert(m_db,
                     "INSERT INTO sysfiles (fileid, groupid, size, maxsize, growth, status, perf, name, filename) "
                     "VALUES (?, ?, ?, -1, 10, ?, 0, ?, ?)");
    auto pad = [](std::string text, std::size_t width) {
        std::size_t n = utf8Length(text);
        if (n < width) text.append(width - n, ' ');
        return text;
    };
    std::string name(databaseName);
    insert.bind(1, std::int64_t{1}).bind(2, std::int64_t{1}).bind(3, std::int64_t{80}).bind(4, std::int64_t{0x100002});
    insert.bind(5, pad(name + "_Data", 128)).bind(6, pad(std::string(dataPath), 260)).step();
    insert.reset();
    insert.bind(1, std::int64_t{2}).bind(2, std::int64_t{0}).bind(3, std::int64_t{63}).bind(4, std::int64_t{0x100042});
    insert.bind(5, pad(name + "_Log", 128)).bind(6, pad(std::string(logPath), 260)).step();
}

std::string Catalog::collation() {
    Statement q(m_db, "SELECT value FROM \"~sandbox\" WHERE key = 'collation'");
    return q.step() ? q.text(0) : std::string(kServerCollation);
}

std::string Catalog::databaseName() {
    Statement q(m_db, "SELECT value FROM \"~sandbox\" WHERE key = 'name'");
    return q.step() ? q.text(0) : std::string();
}

int Catalog::allocateObjectId() {
    for (;;) {
        Statement q(m_db, "UPDATE \"~sandbox\" SET value = value + 1 WHERE key = 'object_sequence' RETURNING value");
        q.step();
        std::int64_t k = q.integer(0);
        int id = static_cast<int>(kFirstObjectId + (k * kObjectIdStep) % kObjectIdRange);
        q = Statement();
        if (!findObject(id)) return id;
    }
}

std::optional<ObjectInfo> Catalog::findObject(std::string_view name) {
    Statement q(m_db, "SELECT id, name, xtype, parent_obj, status FROM sysobjects WHERE name = ? ORDER BY parent_obj LIMIT 1");
    q.bind(1, name);
    if (!q.step()) return std::nullopt;
    std::string xtype = q.text(2);
    while (!xtype.empty() && xtype.back() == ' ') xtype.pop_back();
    return ObjectInfo{static_cast<int>(q.integer(0)), q.text(1), xtype, static_cast<int>(q.integer(3)),
                      static_cast<int>(q.integer(4))};
}

std::optional<ObjectInfo> Catalog::findObject(int id) {
    Statement q(m_db, "SELECT id, name, xtype, parent_obj, status FROM sysobjects WHERE id = ?");
    q.bind(1, std::int64_t{id});
    if (!q.step()) return std::nullopt;
    std::string xtype = q.text(2);
    while (!xtype.empty() && xtype.back() == ' ') xtype.pop_back();
    return ObjectInfo{static_cast<int>(q.integer(0)), q.text(1), xtype, static_cast<int>(q.integer(3)),
                      static_cast<int>(q.integer(4))};
}

int Catalog::addObject(std::string_view name, std::string_view xtype, int parentObj, int status, int id) {
    if (id == 0) id = allocateObjectId();
    std::string x(xtype);
    if (x.size() < 2) x += ' ';
    std::string type = (xtype == "PK" || xtype == "UQ") ? "K " : x;
    int sysstat = xtype == "S" ? 1 : xtype == "V" ? 2 : xtype == "U" ? 3 : xtype == "P" ? 4 : xtype == "TR" ? 8
                : xtype == "D" ? 14 : 9;
    std::string created = xtype == "S" ? kCatalogCreationDate : formatStoredDateTime(now());
    Statement insert(m_db,
                     "INSERT INTO sysobjects (name, id, xtype, uid, info, status, base_schema_ver, replinfo, "
                     "parent_obj, crdate, ftcatid, schema_ver, stats_schema_ver, type, userstat, sysstat, indexdel, "
                     "refdate, version, deltrig, instrig, updtrig, seltrig, category, cache) "
                     "VALUES (?, ?, ?, 1, 0, ?, 0, 0, ?, ?, 0, 0, 0, ?, ?, ?, 0, ?, 0, 0, 0, 0, 0, 0, 0)");
    insert.bind(1, name).bind(2, std::int64_t{id}).bind(3, x).bind(4, std::int64_t{status});
    insert.bind(5, std::int64_t{parentObj}).bind(6, created).bind(7, type);
    insert.bind(8, std::int64_t{xtype == "U" ? 1 : 0}).bind(9, std::int64_t{sysstat}).bind(10, created);
    insert.step();
    return id;
}

void Catalog::setObjectInfo(int id, int info) {
    Statement update(m_db, "UPDATE sysobjects SET info = ? WHERE id = ?");
    update.bind(1, std::int64_t{info}).bind(2, std::int64_t{id}).step();
}

void Catalog::setObjectStatus(int id, int status) {
    Statement update(m_db, "UPDATE sysobjects SET status = ? WHERE id = ?");
    update.bind(1, std::int64_t{status}).bind(2, std::int64_t{id}).step();
}

void Catalog::setObjectStatusBits(int id, int bits, bool on) {
    Statement update(m_db, on ? "UPDATE sysobjects SET status = status | ? WHERE id = ?"
                              : "UPDATE sysobjects SET status = status & ~? WHERE id = ?");
    update.bind(1, std::int64_t{bits}).bind(2, std::int64_t{id}).step();
}

void Catalog::addColumn(int tableId, int colid, const NewColumn& c) {
    Statement insert(m_db,
                     "INSERT INTO syscolumns (name, id, xtype, typestat, xusertype, length, xprec, xscale, colid, "
                     "xoffset, bitpos, reserved, colstat, cdefault, domain, number, colorder, autoval, offset, "
                     "collationid, status, type, usertype, printfmt, prec, scale, iscomputed, isoutparam, "
                     "isnullable, collation) VALUES (?, ?, ?, 0, ?, ?, ?, ?, ?, 0, 0, 0, ?, ?, 0, 0, ?, NULL, 0, ?, "
                     "?, ?, ?, NULL, ?, ?, ?, 0, ?, ?)");
    const ColumnType& t = c.type;
    insert.bind(1, c.name).bind(2, std::int64_t{tableId}).bind(3, std::int64_t{t.base->xtype});
    insert.bind(4, std::int64_t{t.xusertype()}).bind(5, std::int64_t{t.length});
    insert.bind(6, std::int64_t{xprecOf(t)}).bind(7, std::int64_t{t.scale}).bind(8, std::int64_t{colid});
    insert.bind(9, std::int64_t{(c.identity ? 1 : 0) | (c.computed ? kColstatComputed : 0)});
    insert.bind(10, std::int64_t{c.cdefault}).bind(11, std::int64_t{colid});
    if (t.isCharacter()) insert.bind(12, std::int64_t{872468488}); else insert.bindNull(12);
    insert.bind(13, std::int64_t{(c.nullable ? 0x08 : 0) | (c.identity ? 0x80 : 0)});
    insert.bind(14, std::int64_t{legacyTypeCode(t)}).bind(15, std::int64_t{t.usertype()});
    insert.bind(16, std::int64_t{t.precision}).bind(17, std::int64_t{t.scale});
    insert.bind(18, std::int64_t{c.computed ? 1 : 0}).bind(19, std::int64_t{c.nullable ? 1 : 0});
    if (t.isCharacter()) insert.bind(20, c.collation); else insert.bindNull(20);
    insert.step();
}

void Catalog::updateColumn(int tableId, int colid, const NewColumn& c) {
    Statement update(m_db,
                     "UPDATE syscolumns SET xtype = ?, xusertype = ?, length = ?, xprec = ?, xscale = ?, colstat = ?, "
                     "collationid = ?, status = ?, type = ?, usertype = ?, prec = ?, scale = ?, isnullable = ?, "
                     "collation = ? WHERE id = ? AND colid = ?");
    const ColumnType& t = c.type;
    update.bind(1, std::int64_t{t.base->xtype}).bind(2, std::int64_t{t.xusertype()}).bind(3, std::int64_t{t.length});
    update.bind(4, std::int64_t{xprecOf(t)}).bind(5, std::int64_t{t.scale}).bind(6, std::int64_t{c.identity ? 1 : 0});
    if (t.isCharacter()) update.bind(7, std::int64_t{872468488}); else update.bindNull(7);
    update.bind(8, std::int64_t{(c.nullable ? 0x08 : 0) | (c.identity ? 0x80 : 0)});
    update.bind(9, std::int64_t{legacyTypeCode(t)}).bind(10, std::int64_t{t.usertype()});
    update.bind(11, std::int64_t{t.precision}).bind(12, std::int64_t{t.scale}).bind(13, std::int64_t{c.nullable ? 1 : 0});
    if (t.isCharacter()) update.bind(14, c.collation); else update.bindNull(14);
    update.bind(15, std::int64_t{tableId}).bind(16, std::int64_t{colid}).step();
}

void Catalog::setColumnDefault(int tableId, int colid, int defaultId) {
    Statement update(m_db, "UPDATE syscolumns SET cdefault = ? WHERE id = ? AND colid = ?");
    update.bind(1, std::int64_t{defaultId}).bind(2, std::int64_t{tableId}).bind(3, std::int64_t{colid}).step();
}

void Catalog::addComment(int id, std::string_view text, int number) {
    Statement insert(m_db,
                     "INSERT INTO syscomments (id, number, colid, status, ctext, texttype, language, encrypted, "
                     "compressed, text) VALUES (?, ?, ?, 0, ?, 2, 0, 0, 0, ?)");
    int colid = 1;
    do {
        std::size_t end = utf8Offset(text, 4000);
        std::string_view chunk = text.substr(0, end);
        auto bytes = utf8ToUtf16le(chunk);
        insert.bind(1, std::int64_t{id}).bind(2, std::int64_t{number}).bind(3, std::int64_t{colid++});
        insert.bindBlob(4, bytes.data(), static_cast<int>(bytes.size())).bind(5, chunk);
        insert.step();
        insert.reset();
        text.remove_prefix(end);
    } while (!text.empty());
}

void Catalog::addIndex(int tableId, const NewIndex& index) {
    Statement insert(m_db,
                     "INSERT INTO sysindexes (id, status, first, indid, root, minlen, keycnt, groupid, dpages, "
                     "reserved, used, rowcnt, rowmodctr, reserved3, reserved4, xmaxlen, maxirow, OrigFillFactor, "
                     "StatVersion, reserved2, FirstIAM, impid, lockflags, pgmodctr, keys, name, statblob, maxlen, "
                     "rows) VALUES (?, ?, NULL, ?, NULL, 0, ?, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, NULL, 0, 0, 0, "
                     "NULL, ?, NULL, 8000, 0)");
    insert.bind(1, std::int64_t{tableId}).bind(2, std::int64_t{index.status}).bind(3, std::int64_t{index.indid});
    insert.bind(4, static_cast<std::int64_t>(index.colids.size())).bind(5, index.name).step();
    Statement key(m_db, "INSERT INTO sysindexkeys (id, indid, colid, keyno) VALUES (?, ?, ?, ?)");
    int keyno = 1;
    for (int colid : index.colids) {
        key.bind(1, std::int64_t{tableId}).bind(2, std::int64_t{index.indid}).bind(3, std::int64_t{colid});
        key.bind(4, std::int64_t{keyno++}).step();
        key.reset();
    }
}

void Catalog::removeIndex(int tableId, int indid) {
    Statement a(m_db, "DELETE FROM sysindexes WHERE id = ? AND indid = ?");
    a.bind(1, std::int64_t{tableId}).bind(2, std::int64_t{indid}).step();
    Statement b(m_db, "DELETE FROM sysindexkeys WHERE id = ? AND indid = ?");
    b.bind(1, std::int64_t{tableId}).bind(2, std::int64_t{indid}).step();
}

int Catalog::nextIndexId(int tableId) {
    Statement q(m_db, "SELECT indid FROM sysindexes WHERE id = ? AND indid BETWEEN 2 AND 250 ORDER BY indid");
    q.bind(1, std::int64_t{tableId});
    int next = 2;
    while (q.step()) {
        if (q.integer(0) != next) break;
        ++next;
    }
    return next;
}

void Catalog::renameObject(int id, std::string_view newName) {
    Statement object(m_db, "UPDATE sysobjects SET name = ? WHERE id = ?");
    object.bind(1, newName).bind(2, std::int64_t{id}).step();
    Statement heap(m_db, "UPDATE sysindexes SET name = ? WHERE id = ? AND indid = 0");
    heap.bind(1, newName).bind(2, std::int64_t{id}).step();
    Statement chain(m_db, "UPDATE sysindexes SET name = ? WHERE id = ? AND indid = 255");
    chain.bind(1, "t" + std::string(newName)).bind(2, std::int64_t{id}).step();
}

void Catalog::setCollation(std::string_view collation) {
    Statement meta(m_db, "UPDATE \"~sandbox\" SET value = ? WHERE key = 'collation'");
    meta.bind(1, collation).step();
    Statement types(m_db, "UPDATE systypes SET collation = ? WHERE collation IS NOT NULL");
    types.bind(1, collation).step();
    Statement columns(m_db,
                      "UPDATE syscolumns SET collation = ? WHERE collation IS NOT NULL AND id IN "
                      "(SELECT id FROM sysobjects WHERE xtype = 'S')");
    columns.bind(1, collation).step();
}

void Catalog::dropObject(int id) {
    std::vector<std::int64_t> ids{id};
    {
        Statement children(m_db, "SELECT id FROM sysobjects WHERE parent_obj = ? AND id <> ?");
        children.bind(1, std::int64_t{id}).bind(2, std::int64_t{id});
        while (children.step()) ids.push_back(children.integer(0));
    }
    const char* deletes[] = {"DELETE FROM sysobjects WHERE id = ?", "DELETE FROM syscolumns WHERE id = ?",
                             "DELETE FROM syscomments WHERE id = ?", "DELETE FROM sysindexes WHERE id = ?",
                             "DELETE FROM sysindexkeys WHERE id = ?", "DELETE FROM \"~identity\" WHERE id = ?",
                             "DELETE FROM sysforeignkeys WHERE constid = ?", "DELETE FROM sysreferences WHERE constid = ?",
                             "DELETE FROM sysprotects WHERE id = ?", "DELETE FROM \"~triggers\" WHERE id = ?",
                             "DELETE FROM \"~trigger_order\" WHERE id = ?",
                             // What the object depends on, and (as SQL Server 2000 forgets them) the
                             // rows of the modules that depend on it.
                             "DELETE FROM sysdepends WHERE id = ?", "DELETE FROM sysdepends WHERE depid = ?"};
    for (const char* sql : deletes) {
        Statement del(m_db, sql);
        for (auto each : ids) {
            del.bind(1, each).step();
            del.reset();
        }
    }
}

std::string Catalog::generatedName(std::string_view prefix, std::string_view table, std::string_view column,
                                   int objectId) {
    std::string name = std::string(prefix) + "__";
    if (column.empty()) {
        name += prefixChars(table, 16);
    } else {
        name += prefixChars(table, 9) + "__" + prefixChars(column, 9);
    }
    return name + "__" + hex8(objectId);
}

}  // namespace sandbox
