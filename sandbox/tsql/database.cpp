#include "tsql/database.h"

#include "catalog/collation.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/sqlite_functions.h"
#include "tsql/table_rules.h"

namespace sandbox::tsql {
namespace {

constexpr std::size_t kStatementCacheSize = 128;

}  // namespace

int TriggerRule::placeFor(std::string_view statement) const {
    const std::string first = std::string(statement) + ":First";
    const std::string last = std::string(statement) + ":Last";
    if (order.find(first) != std::string::npos) return -1;
    if (order.find(last) != std::string::npos) return 1;
    return 0;
}

int TableInfo::findColumn(std::string_view columnName) const {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (iequals(columns[i].name, columnName)) return static_cast<int>(i);
    return -1;
}

Database::Database(std::string name, const std::filesystem::path& file, bool windowsPaths, bool isMaster,
                   const std::string& collation)
    : m_name(std::move(name)), m_file(file), m_catalog(nullptr) {
    bool exists = std::filesystem::exists(file);
    int rc = sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string text = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw sqlite::Failure(rc, "cannot open " + file.string() + ": " + text);
    }
    m_catalog = Catalog(m_db);
    // "x" must name a column, never fall back to being a string as SQLite would allow.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    registerCollations(m_db);
    registerFunctions(m_db);
    sqlite::exec(m_db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=OFF;");
    if (!exists) {
        sqlite::exec(m_db, "BEGIN");
        Catalog::create(m_db, m_name, collation.empty() ? std::string(kServerCollation) : collation, isMaster);
        sqlite::exec(m_db, "COMMIT");
    } else {
        std::string stored = m_catalog.databaseName();
        if (!stored.empty()) m_name = stored;
    }
    m_collation = m_catalog.collation();
    if (exists) Catalog::addMissingTables(m_db, m_collation);
    std::string data = windowsPaths ? "C:\\MSSQL\\Data\\" + m_name + "_Data.MDF" : std::filesystem::absolute(file).string();
    std::string log = windowsPaths ? "C:\\MSSQL\\Data\\" + m_name + "_Log.LDF"
                                   : std::filesystem::absolute(file).string() + "-wal";
    m_catalog.setFiles(m_name, data, log);
}

Database::~Database() {
    for (auto& [sql, entry] : m_statements) sqlite3_finalize(entry.first);
    sqlite3_close_v2(m_db);
}

void Database::checkpoint() {
    for (auto& [sql, entry] : m_statements) sqlite3_finalize(entry.first);
    m_statements.clear();
    m_statementOrder.clear();
    sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
}

std::shared_ptr<const TableInfo> Database::table(std::string_view tableName) {
    std::string key = lower(tableName);
    auto found = m_tables.find(key);
    if (found != m_tables.end()) return found->second;
    auto object = m_catalog.findObject(tableName);
    if (!object || (object->xtype != "U" && object->xtype != "S")) return nullptr;
    auto info = std::make_shared<TableInfo>();
    info->id = object->id;
    info->name = object->name;
    info->xtype = object->xtype;
    sqlite::Statement cols(m_db,
                           "SELECT c.name, c.colid, c.xusertype, c.length, c.xprec, c.xscale, c.isnullable, c.colstat, "
                           "c.collation, c.cdefault, (SELECT group_concat(m.text, '') FROM (SELECT text FROM syscomments "
                           "WHERE id = c.cdefault AND c.cdefault <> 0 ORDER BY colid) m), c.xtype, c.usertype, "
                           "c.iscomputed "
                           "FROM syscolumns c WHERE c.id = ? ORDER BY c.colid");
    cols.bind(1, std::int64_t{object->id});
    while (cols.step()) {
        ColumnInfo c;
        c.name = cols.text(0);
        c.colid = static_cast<int>(cols.integer(1));
        c.type = columnTypeFromCatalog(static_cast<int>(cols.integer(11)), static_cast<int>(cols.integer(2)),
                                       static_cast<int>(cols.integer(12)), static_cast<int>(cols.integer(3)),
                                       static_cast<int>(cols.integer(4)), static_cast<int>(cols.integer(5)));
        c.computed = cols.integer(13) != 0;
        c.nullable = cols.integer(6) != 0;
        c.identity = (cols.integer(7) & 1) != 0;
        c.collation = cols.isNull(8) ? std::string() : cols.text(8);
        c.defaultId = static_cast<int>(cols.integer(9));
        if (!cols.isNull(10)) c.defaultText = cols.text(10);
        info->columns.push_back(std::move(c));
    }
    sqlite::Statement ident(m_db, "SELECT colid, seed, increment, current, fresh FROM \"~identity\" WHERE id = ?");
    ident.bind(1, std::int64_t{object->id});
    if (ident.step()) {
        IdentityInfo id;
        id.colid = static_cast<int>(ident.integer(0));
        id.seed = ident.integer(1);
        id.increment = ident.integer(2);
        if (!ident.isNull(3)) id.current = ident.integer(3);
        id.fresh = !ident.isNull(4) && ident.integer(4) != 0;
        info->identity = id;
    }
    loadTableRules(m_db, m_name, m_collation, *info);
    m_tables[key] = info;
    return info;
}

void Database::setCollation(const std::string& collation) {
    m_catalog.setCollation(collation);
    m_collation = collation;
    invalidateAll();
}

void Database::reloadAfterRollback() {
    invalidateAll();
    m_collation = m_catalog.collation();
}

void Database::invalidate(std::string_view tableName) { m_tables.erase(lower(tableName)); }

void Database::invalidateAll() { m_tables.clear(); }

void Database::setIdentityCurrent(int tableId, std::int64_t value, bool fresh) {
    sqlite3_stmt* stmt = prepare("UPDATE \"~identity\" SET current = ?, fresh = ? WHERE id = ?");
    sqlite3_bind_int64(stmt, 1, value);
    sqlite3_bind_int(stmt, 2, fresh ? 1 : 0);
    sqlite3_bind_int64(stmt, 3, tableId);
    sqlite3_step(stmt);
    sqlite3_reset(stmt);
    for (auto& [key, info] : m_tables) {
        if (info->id == tableId && info->identity) {
            auto copy = std::make_shared<TableInfo>(*info);
            copy->identity->current = value;
            copy->identity->fresh = fresh;
            info = copy;
            break;
        }
    }
}

sqlite3_stmt* Database::prepare(const std::string& sql) {
    auto found = m_statements.find(sql);
    if (found != m_statements.end()) {
        m_statementOrder.splice(m_statementOrder.end(), m_statementOrder, found->second.second);
        sqlite3_reset(found->second.first);
        sqlite3_clear_bindings(found->second.first);
        return found->second.first;
    }
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v3(m_db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt,
                                nullptr);
    if (rc != SQLITE_OK) {
        std::string text = sqlite3_errmsg(m_db);
        sqlite3_finalize(stmt);
        throw sqlite::Failure(rc, text);
    }
    if (m_statements.size() >= kStatementCacheSize) {
        auto oldest = m_statements.find(m_statementOrder.front());
        sqlite3_finalize(oldest->second.first);
        m_statements.erase(oldest);
        m_statementOrder.pop_front();
    }
    m_statementOrder.push_back(sql);
    m_statements.emplace(sql, std::make_pair(stmt, std::prev(m_statementOrder.end())));
    return stmt;
}

}  // namespace sandbox::tsql
