#include "catalog/catalog_model.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "db/ado_types.h"
#include "db/error.h"
#include "store/sql_value.h"

namespace catalog {
namespace {

// A result without the columns the model asked for: the catalog is not one it can read.
struct Unusable {};

// Names per refresh query: the IN lists stay short texts.
constexpr std::size_t kNamesPerQuery = 100;

const char* const kCollationQuery =
    "SELECT CONVERT(sysname, DATABASEPROPERTYEX(DB_NAME(), 'Collation')) AS db_collation";

// Every object, or (with a filter) those the filter keeps.
// SELECT obj.id, obj.name, obj.xtype, obj.parent_obj, obj.status FROM sysobjects AS obj
std::string objectsQuery(const std::string& filter) {
    return "SELECT obj.id, obj.name, obj.xtype, obj.parent_obj, obj.status FROM sysobjects AS obj" +
           filter;
}

// The columns of the user tables with the same joins as the per-table column query (the
// base type's name, the default's text) and what those queries leave out (the default's
// name, colid, colorder, computed), by table and, within one, by name as the server sorts.
std::string columnsQuery(const std::string& filter) {
    return "SELECT tbl.id AS table_id, col.name AS column_name, typ.name AS type_name, "
           "col.length AS type_length, col.xprec, col.xscale, col.isnullable, col.colstat, "
           "col.collation, col.colid, col.colorder, col.iscomputed, col.cdefault, "
           "cmt.id AS comment_id, cmt.text AS default_text, dfo.name AS default_name "
           "FROM syscolumns AS col JOIN sysobjects AS tbl ON (col.id = tbl.id AND tbl.xtype = 'U') "
           "JOIN systypes AS typ ON col.xtype = typ.xusertype "
           "LEFT JOIN syscomments AS cmt ON col.cdefault = cmt.id "
           "LEFT JOIN sysobjects AS dfo ON cmt.id = dfo.id" +
           filter + " ORDER BY tbl.id, col.name, cmt.colid";
}

// The key columns of every index of the user tables, in key order.
std::string indexKeysQuery(const std::string& filter) {
    return "SELECT ind.id AS table_id, ind.indid, ind.name AS index_name, ind.status, ikey.colid, "
           "ikey.keyno FROM sysindexes AS ind JOIN sysindexkeys AS ikey ON (ind.id = ikey.id AND "
           "ind.indid = ikey.indid) JOIN sysobjects AS tbl ON (ind.id = tbl.id AND tbl.xtype = 'U')" +
           filter + " ORDER BY ind.id, ind.indid, ikey.keyno";
}

const char* const kUsersQuery = "SELECT usr.name FROM sysusers AS usr";

// The source rows of every function, view and procedure, each object's in order; an
// object without any gives one row with a null text.
const char* const kModulesQuery =
    "SELECT obj.id, cmt.id AS comment_id, cmt.text FROM sysobjects AS obj LEFT JOIN syscomments "
    "AS cmt ON obj.id = cmt.id WHERE obj.xtype IN ('FN', 'V', 'P') ORDER BY obj.id, cmt.number, "
    "cmt.colid";

// " WHERE tbl.name IN ('tbA', N'tbΣ')" for the names given.
std::string nameFilter(const char* column, const std::vector<std::string>& names) {
    std::string filter = std::string(" WHERE ") + column + " IN (";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) filter += ", ";
        filter += store::SQLValueForServer(names[i], store::kSqlText);
    }
    return filter + ")";
}

std::size_t need(const db::Recordset& rows, std::string_view field) {
    const std::optional<std::size_t> index = rows.fieldIndex(field);
    if (!index) throw Unusable{};
    return *index;
}

std::int64_t number(const db::Value& value) {
    if (value.isNull()) return 0;
    if (!value.isNumber()) throw Unusable{};
    return static_cast<std::int64_t>(value.asDouble());
}

std::string text(const db::Value& value) { return value.toText(); }

std::string trimmedType(const db::Value& value) {
    std::string type = value.toText();
    while (!type.empty() && type.back() == ' ') type.pop_back();
    return type;
}

// Record sets shaped as the per-item queries return them.
std::vector<db::Column> textFields(std::initializer_list<const char*> names) {
    std::vector<db::Column> columns;
    for (const char* name : names) columns.push_back({name, db::ado::kVarWChar});
    return columns;
}

std::vector<db::Column> columnQueryFields(bool withCollation) {
    std::vector<db::Column> columns = {
        {"tabela", db::ado::kVarWChar},   {"campo", db::ado::kVarWChar},
        {"tipo", db::ado::kVarWChar},     {"tamanho", db::ado::kSmallInt},
        {"xprec", db::ado::kUnsignedTinyInt}, {"xscale", db::ado::kUnsignedTinyInt},
        {"isnullable", db::ado::kInteger}, {"isidentity", db::ado::kSmallInt},
        {"cdefault", db::ado::kVarWChar}};
    if (withCollation) columns.push_back({"collation", db::ado::kVarWChar});
    return columns;
}

std::vector<db::Column> keyedFields(const char* nameField) {
    return {{nameField, db::ado::kVarWChar}, {"tabela", db::ado::kVarWChar},
            {"campo", db::ado::kVarWChar},   {"id", db::ado::kInteger},
            {"indid", db::ado::kSmallInt},   {"colid", db::ado::kSmallInt},
            {"keyno", db::ado::kSmallInt}};
}

std::vector<db::Value> keyedRow(const std::string& name, const TableInfo& table,
                                const ColumnInfo& column, const IndexInfo& index,
                                const IndexInfo::Key& key) {
    return {db::Value::text(name),          db::Value::text(table.object.name),
            db::Value::text(column.name),   db::Value::integer(table.object.id),
            db::Value::integer(index.indid), db::Value::integer(key.colid),
            db::Value::integer(key.keyno)};
}

bool startsWithIx(const NameRules& rules, std::string_view name) {
    // substring(name, 1, 2) = 'IX': the first two characters, compared as names are.
    std::size_t end = 0;
    for (int characters = 0; characters < 2 && end < name.size(); ++characters) {
        ++end;
        while (end < name.size() && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) ++end;
    }
    return rules.same(name.substr(0, end), "IX");
}

}  // namespace

const ColumnInfo* TableInfo::columnById(std::int64_t colid) const {
    for (const ColumnInfo& column : columns)
        if (column.colid == colid) return &column;
    return nullptr;
}

const ObjectInfo* TableInfo::primaryKeyObject(const NameRules&) const {
    for (const ObjectInfo& object : owned)
        if (object.xtype == "PK") return &object;
    return nullptr;
}

const IndexInfo* TableInfo::primaryKeyIndex(const NameRules& rules) const {
    const ObjectInfo* key = primaryKeyObject(rules);
    if (!key) return nullptr;
    for (const IndexInfo& index : indexes)
        if (rules.same(index.name, key->name)) return &index;
    return nullptr;
}

std::vector<const ColumnInfo*> TableInfo::primaryKeyColumns(const NameRules& rules) const {
    std::vector<const ColumnInfo*> keyColumns;
    if (const IndexInfo* index = primaryKeyIndex(rules)) {
        for (const IndexInfo::Key& key : index->keys)
            if (const ColumnInfo* column = columnById(key.colid)) keyColumns.push_back(column);
    }
    return keyColumns;
}

const ColumnInfo* TableInfo::identityColumn() const {
    for (const ColumnInfo& column : columns)
        if (!column.isidentity.isNull() && column.isidentity.isNumber() &&
            (static_cast<std::int64_t>(column.isidentity.asDouble()) & 1) != 0)
            return &column;
    return nullptr;
}

Model::Model(db::Connection& connection) : m_connection(connection) {}

db::Recordset Model::query(const std::string& sql) {
    ++m_queries;
    return m_connection.open(sql, db::CursorType::ForwardOnly, db::LockType::ReadOnly);
}

void Model::indexObject(const ObjectInfo& object) {
    m_objects[m_rules.key(object.name)].push_back(object);
}

bool Model::available() {
    if (!m_tried) {
        m_tried = true;
        m_available = load();
    }
    return m_available;
}

bool Model::load() {
    try {
        {
            db::Recordset rows = query(kCollationQuery);
            const std::size_t field = need(rows, "db_collation");
            if (!rows.eof()) m_rules = NameRules::ofCollation(rows.field(field).value().toText());
        }
        readTables({});
        readUsers();
        return true;
    } catch (const db::Error&) {
    } catch (const Unusable&) {
    }
    m_tables.clear();
    m_objects.clear();
    m_users.clear();
    return false;
}

// Reads the objects, columns and index keys of the tables named (every table when none
// is named), replacing what the model held for them.
void Model::readTables(const std::vector<std::string>& names) {
    std::string tableFilter;
    std::set<std::string> keys;
    if (!names.empty()) {
        tableFilter = nameFilter("tbl.name", names);
        for (const std::string& name : names) keys.insert(literalKey(name));
        std::set<std::int64_t> gone;
        for (auto it = m_tables.begin(); it != m_tables.end();) {
            if (keys.count(m_rules.key(it->second.object.name))) {
                gone.insert(it->first);
                it = m_tables.erase(it);
            } else {
                ++it;
            }
        }
        for (auto& [key, objects] : m_objects) {
            std::erase_if(objects, [&](const ObjectInfo& o) {
                return gone.count(o.id) || gone.count(o.parent) ||
                       (o.xtype == "U" && keys.count(key));
            });
        }
    }

    // Whether this read covers the table: every table, or one of the names.
    const auto read = [&](const TableInfo& table) {
        return names.empty() || keys.count(m_rules.key(table.object.name)) > 0;
    };
    {
        const std::string filter =
            names.empty() ? std::string()
                          : " JOIN sysobjects AS tbl ON (obj.id = tbl.id OR obj.parent_obj = tbl.id)" +
                                nameFilter("tbl.name", names) + " AND tbl.xtype = 'U'";
        db::Recordset rows = query(objectsQuery(filter));
        const std::size_t id = need(rows, "id"), name = need(rows, "name"), xtype = need(rows, "xtype"),
                          parent = need(rows, "parent_obj"), status = need(rows, "status");
        std::vector<ObjectInfo> owned;
        for (; !rows.eof(); rows.moveNext()) {
            ObjectInfo object{number(rows.field(id).value()), text(rows.field(name).value()),
                              trimmedType(rows.field(xtype).value()),
                              number(rows.field(parent).value()), number(rows.field(status).value())};
            indexObject(object);
            if (object.xtype == "U") {
                m_tables[object.id].object = object;
            } else if (object.parent != 0) {
                owned.push_back(std::move(object));
            }
        }
        for (ObjectInfo& object : owned) {
            auto table = m_tables.find(object.parent);
            if (table != m_tables.end()) table->second.owned.push_back(std::move(object));
        }
        for (auto& [tableId, table] : m_tables) {
            if (!read(table)) continue;
            std::sort(table.owned.begin(), table.owned.end(),
                      [](const ObjectInfo& a, const ObjectInfo& b) { return a.id < b.id; });
        }
    }
    {
        db::Recordset rows = query(columnsQuery(tableFilter));
        const std::size_t tableId = need(rows, "table_id"), name = need(rows, "column_name"),
                          type = need(rows, "type_name"), length = need(rows, "type_length"),
                          xprec = need(rows, "xprec"), xscale = need(rows, "xscale"),
                          nullable = need(rows, "isnullable"), colstat = need(rows, "colstat"),
                          collation = need(rows, "collation"), colid = need(rows, "colid"),
                          colorder = need(rows, "colorder"), computed = need(rows, "iscomputed"),
                          cdefault = need(rows, "cdefault"), commentId = need(rows, "comment_id"),
                          defaultText = need(rows, "default_text"),
                          defaultName = need(rows, "default_name");
        TableInfo* table = nullptr;
        std::int64_t currentTable = -1;
        std::size_t rank = 0;
        for (; !rows.eof(); rows.moveNext()) {
            const std::int64_t id = number(rows.field(tableId).value());
            if (id != currentTable) {
                currentTable = id;
                rank = 0;
                auto found = m_tables.find(id);
                table = found == m_tables.end() ? nullptr : &found->second;
                if (table) table->columns.clear();
            }
            if (!table) continue;
            const std::int64_t columnId = number(rows.field(colid).value());
            DefaultRow deflt{rows.field(defaultText).value(), !rows.field(commentId).value().isNull(),
                             rows.field(defaultName).value()};
            if (!table->columns.empty() && table->columns.back().colid == columnId) {
                table->columns.back().defaults.push_back(std::move(deflt));
                continue;
            }
            ColumnInfo column;
            column.name = text(rows.field(name).value());
            column.colid = columnId;
            column.colorder = number(rows.field(colorder).value());
            column.nameRank = rank++;
            column.tipo = rows.field(type).value();
            column.tamanho = rows.field(length).value();
            column.xprec = rows.field(xprec).value();
            column.xscale = rows.field(xscale).value();
            column.isnullable = rows.field(nullable).value();
            column.isidentity = rows.field(colstat).value();
            column.collation = rows.field(collation).value();
            column.iscomputed = rows.field(computed).value();
            column.defaultId = number(rows.field(cdefault).value());
            column.defaults.push_back(std::move(deflt));
            table->columns.push_back(std::move(column));
        }
        for (auto& [id, each] : m_tables) {
            if (!read(each)) continue;
            std::sort(each.columns.begin(), each.columns.end(),
                      [](const ColumnInfo& a, const ColumnInfo& b) { return a.colid < b.colid; });
        }
    }
    {
        db::Recordset rows = query(indexKeysQuery(tableFilter));
        const std::size_t tableId = need(rows, "table_id"), indid = need(rows, "indid"),
                          name = need(rows, "index_name"), status = need(rows, "status"),
                          colid = need(rows, "colid"), keyno = need(rows, "keyno");
        std::int64_t currentTable = -1;
        TableInfo* table = nullptr;
        for (; !rows.eof(); rows.moveNext()) {
            const std::int64_t id = number(rows.field(tableId).value());
            if (id != currentTable) {
                currentTable = id;
                auto found = m_tables.find(id);
                table = found == m_tables.end() ? nullptr : &found->second;
                if (table) table->indexes.clear();
            }
            if (!table) continue;
            const std::int64_t indexId = number(rows.field(indid).value());
            if (table->indexes.empty() || table->indexes.back().indid != indexId) {
                table->indexes.push_back({indexId, text(rows.field(name).value()),
                                          number(rows.field(status).value()), {}});
            }
            table->indexes.back().keys.push_back(
                {number(rows.field(colid).value()), number(rows.field(keyno).value())});
        }
    }
}

void Model::readObjectsNamed(const std::vector<std::string>& names) {
    std::set<std::string> keys;
    for (const std::string& name : names) keys.insert(m_rules.key(name));
    for (const std::string& key : keys) {
        auto found = m_objects.find(key);
        if (found == m_objects.end()) continue;
        std::erase_if(found->second,
                      [](const ObjectInfo& o) { return o.parent == 0 && o.xtype != "U"; });
    }
    db::Recordset rows = query(objectsQuery(nameFilter("obj.name", names)));
    const std::size_t id = need(rows, "id"), name = need(rows, "name"), xtype = need(rows, "xtype"),
                      parent = need(rows, "parent_obj"), status = need(rows, "status");
    for (; !rows.eof(); rows.moveNext()) {
        ObjectInfo object{number(rows.field(id).value()), text(rows.field(name).value()),
                          trimmedType(rows.field(xtype).value()), number(rows.field(parent).value()),
                          number(rows.field(status).value())};
        if (object.parent == 0 && object.xtype != "U") indexObject(object);
    }
}

void Model::readUsers() {
    m_users.clear();
    db::Recordset rows = query(kUsersQuery);
    const std::size_t name = need(rows, "name");
    for (; !rows.eof(); rows.moveNext()) m_users.insert(m_rules.key(text(rows.field(name).value())));
}

void Model::apply(const Change& change) {
    switch (change.kind) {
        case Change::Kind::Nothing:
            return;
        case Change::Kind::Table:
            m_staleTables.emplace(literalKey(change.table), change.table);
            return;
        case Change::Kind::Column:
            m_staleColumnTables.emplace(literalKey(change.table), change.table);
            m_staleColumns.insert(literalKey(change.table) + '\n' + literalKey(change.column));
            return;
        case Change::Kind::Object:
            m_staleObjects.emplace(literalKey(change.object), change.object);
            return;
        case Change::Kind::Users:
            m_staleUsers = true;
            return;
        case Change::Kind::Anything:
            // Read everything again on the next question.
            m_tried = false;
            m_available = false;
            m_tables.clear();
            m_objects.clear();
            m_users.clear();
            m_staleTables.clear();
            m_staleColumnTables.clear();
            m_staleColumns.clear();
            m_staleObjects.clear();
            m_staleUsers = false;
            m_modulesTried = false;
            m_chunks.clear();
            return;
    }
}

// The key of a name as a query's literal carries it (trimmed), so that a change and a
// question name the same table alike.
std::string Model::literalKey(std::string_view name) const {
    return m_rules.key(literalText(name).value_or(std::string()));
}

bool Model::tableStale(std::string_view table) const {
    const std::string key = literalKey(table);
    return m_staleTables.count(key) || m_staleColumnTables.count(key);
}

bool Model::columnStale(std::string_view table, std::string_view column) const {
    const std::string key = literalKey(table);
    return m_staleTables.count(key) || m_staleColumns.count(key + '\n' + literalKey(column));
}

void Model::freshen(bool stale) {
    if (stale) refreshStale();
}

// Every changed table, read again together: its rows in the model were what the server
// had before the change.
void Model::refreshStale() {
    try {
        std::map<std::string, std::string> tables = m_staleTables;
        tables.insert(m_staleColumnTables.begin(), m_staleColumnTables.end());
        std::vector<std::string> batch;
        for (auto it = tables.begin(); it != tables.end();) {
            batch.push_back(it->second);
            ++it;
            if (batch.size() == kNamesPerQuery || it == tables.end()) {
                readTables(batch);
                batch.clear();
            }
        }
        m_staleTables.clear();
        m_staleColumnTables.clear();
        m_staleColumns.clear();
        if (!m_staleObjects.empty()) {
            std::vector<std::string> names;
            for (const auto& [key, name] : m_staleObjects) names.push_back(name);
            for (std::size_t from = 0; from < names.size(); from += kNamesPerQuery) {
                readObjectsNamed(std::vector<std::string>(
                    names.begin() + static_cast<std::ptrdiff_t>(from),
                    names.begin() + static_cast<std::ptrdiff_t>(std::min(names.size(), from + kNamesPerQuery))));
            }
            m_staleObjects.clear();
        }
        if (m_staleUsers) {
            readUsers();
            m_staleUsers = false;
        }
    } catch (const db::Error&) {
        m_available = false;
    } catch (const Unusable&) {
        m_available = false;
    }
}

std::vector<TableInfo*> Model::matching(std::string_view table) {
    std::vector<TableInfo*> found;
    const std::optional<std::string> literal = literalText(table);
    if (!literal) return found;
    auto objects = m_objects.find(m_rules.key(*literal));
    if (objects == m_objects.end()) return found;
    for (const ObjectInfo& object : objects->second) {
        if (object.xtype != "U") continue;
        auto it = m_tables.find(object.id);
        if (it != m_tables.end()) found.push_back(&it->second);
    }
    std::sort(found.begin(), found.end(),
              [](const TableInfo* a, const TableInfo* b) { return a->object.id < b->object.id; });
    return found;
}

std::vector<const TableInfo*> Model::tables(std::string_view name) {
    std::vector<const TableInfo*> found;
    if (!available()) return found;
    freshen(tableStale(name));
    if (!m_available) return found;
    for (TableInfo* table : matching(name)) found.push_back(table);
    return found;
}

std::optional<db::Recordset> Model::tableColumns(std::string_view table, bool withCollation) {
    if (!ready(tableStale(table))) return std::nullopt;
    std::vector<std::vector<db::Value>> rows;
    for (const TableInfo* info : matching(table)) {
        if (m_rules.same(info->object.name, "dtproperties")) continue;
        for (const ColumnInfo& column : info->columns) {
            for (const DefaultRow& deflt : column.defaults) {
                std::vector<db::Value> row = {db::Value::text(info->object.name),
                                              db::Value::text(column.name), column.tipo,
                                              column.tamanho, column.xprec, column.xscale,
                                              column.isnullable, column.isidentity, deflt.text};
                if (withCollation) row.push_back(column.collation);
                rows.push_back(std::move(row));
            }
        }
    }
    return db::Recordset(columnQueryFields(withCollation), std::move(rows));
}

bool Model::ready(bool stale) {
    if (!available()) return false;
    freshen(stale);
    return m_available;
}

void Model::forColumnsNamed(std::string_view table, std::string_view column,
                            const std::function<void(const TableInfo&, const ColumnInfo&)>& each) {
    const std::optional<std::string> wanted = literalText(column);
    if (!wanted) return;
    for (const TableInfo* info : matching(table)) {
        if (m_rules.same(info->object.name, "dtproperties")) continue;
        for (const ColumnInfo& found : info->columns)
            if (m_rules.same(found.name, *wanted)) each(*info, found);
    }
}

std::optional<db::Recordset> Model::column(std::string_view table, std::string_view column) {
    if (!ready(columnStale(table, column))) return std::nullopt;
    std::vector<std::vector<db::Value>> rows;
    forColumnsNamed(table, column, [&](const TableInfo& info, const ColumnInfo& each) {
        for (const DefaultRow& deflt : each.defaults) {
            rows.push_back({db::Value::text(info.object.name), db::Value::text(each.name), each.tipo,
                            each.tamanho, each.xprec, each.xscale, each.isnullable, each.isidentity,
                            deflt.text, each.collation});
        }
    });
    return db::Recordset(columnQueryFields(true), std::move(rows));
}

std::optional<db::Recordset> Model::primaryKey(std::string_view table) {
    if (!ready(tableStale(table))) return std::nullopt;
    struct Row {
        std::size_t rank;
        std::vector<db::Value> values;
    };
    std::vector<Row> rows;
    for (const TableInfo* info : matching(table)) {
        for (const ObjectInfo& key : info->owned) {
            if (key.xtype != "PK") continue;
            for (const IndexInfo& index : info->indexes) {
                if (!m_rules.same(index.name, key.name)) continue;
                for (const IndexInfo::Key& k : index.keys) {
                    const ColumnInfo* column = info->columnById(k.colid);
                    if (column)
                        rows.push_back({column->nameRank, keyedRow(key.name, *info, *column, index, k)});
                }
            }
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.rank < b.rank; });
    std::vector<std::vector<db::Value>> values;
    for (Row& row : rows) values.push_back(std::move(row.values));
    return db::Recordset(keyedFields("PK_Name"), std::move(values));
}

// Whether the table owns an object of that name: the index of its key or of a unique
// constraint bears the constraint's name.
bool Model::ownsObjectNamed(const TableInfo& table, std::string_view name) const {
    for (const ObjectInfo& owned : table.owned)
        if (m_rules.same(owned.name, name)) return true;
    return false;
}

std::optional<db::Recordset> Model::ixIndexes(std::string_view table, std::string_view column) {
    if (!ready(columnStale(table, column))) return std::nullopt;
    const std::optional<std::string> wanted = literalText(column);
    std::vector<std::vector<db::Value>> rows;
    for (const TableInfo* info : matching(table)) {
        if (!wanted) continue;
        for (const IndexInfo& index : info->indexes) {
            if (!startsWithIx(m_rules, index.name) || ownsObjectNamed(*info, index.name)) continue;
            for (const IndexInfo::Key& key : index.keys) {
                const ColumnInfo* keyColumn = info->columnById(key.colid);
                if (keyColumn && m_rules.same(keyColumn->name, *wanted))
                    rows.push_back(keyedRow(index.name, *info, *keyColumn, index, key));
            }
        }
    }
    return db::Recordset(keyedFields("IX_Name"), std::move(rows));
}

std::optional<db::Recordset> Model::columnDefault(std::string_view table, std::string_view column) {
    if (!ready(columnStale(table, column))) return std::nullopt;
    std::vector<std::vector<db::Value>> rows;
    forColumnsNamed(table, column, [&](const TableInfo& info, const ColumnInfo& each) {
        for (const DefaultRow& deflt : each.defaults) {
            if (!deflt.commentFound || deflt.name.isNull()) continue;
            rows.push_back({deflt.name, db::Value::text(info.object.name), db::Value::text(each.name),
                            deflt.text});
        }
    });
    return db::Recordset(textFields({"DF_name", "tabela", "campo", "valor"}), std::move(rows));
}

std::optional<bool> Model::hasObject(std::string_view name, std::string_view xtype,
                                     std::optional<std::int64_t> status) {
    const std::optional<std::string> literal = literalText(name);
    if (!literal || !available()) return std::nullopt;
    freshen(m_staleObjects.count(m_rules.key(*literal)) > 0);
    if (!m_available) return std::nullopt;
    auto objects = m_objects.find(m_rules.key(*literal));
    if (objects == m_objects.end()) return false;
    for (const ObjectInfo& object : objects->second) {
        if (object.xtype == xtype && (!status || object.status == *status)) return true;
    }
    return false;
}

std::optional<bool> Model::hasObjectNamed(std::string_view name) {
    const std::optional<std::string> literal = literalText(name);
    if (!literal || !available()) return std::nullopt;
    const std::string key = m_rules.key(*literal);
    freshen(m_staleObjects.count(key) || m_staleTables.count(key));
    if (!m_available) return std::nullopt;
    auto objects = m_objects.find(key);
    return objects != m_objects.end() && !objects->second.empty();
}

std::optional<bool> Model::hasUser(std::string_view name) {
    if (!available()) return std::nullopt;
    freshen(m_staleUsers);
    if (!m_available) return std::nullopt;
    return m_users.count(m_rules.key(name)) > 0;
}

bool Model::loadModules() {
    if (m_modulesTried) return m_modulesAvailable;
    m_modulesTried = true;
    try {
        db::Recordset rows = query(kModulesQuery);
        const std::size_t id = need(rows, "id"), commentId = need(rows, "comment_id"),
                          chunk = need(rows, "text");
        for (; !rows.eof(); rows.moveNext()) {
            std::vector<db::Value>& chunks = m_chunks[number(rows.field(id).value())];
            if (!rows.field(commentId).value().isNull()) chunks.push_back(rows.field(chunk).value());
        }
        m_modulesAvailable = true;
    } catch (const db::Error&) {
    } catch (const Unusable&) {
    }
    if (!m_modulesAvailable) m_chunks.clear();
    return m_modulesAvailable;
}

std::optional<std::vector<db::Value>> Model::moduleChunks(std::string_view xtype,
                                                         const db::Value& name) {
    if (name.isNull()) return std::nullopt;
    const std::optional<std::string> literal = literalText(name.toText());
    if (!literal || !available() || !loadModules()) return std::nullopt;
    std::vector<db::Value> chunks;
    auto objects = m_objects.find(m_rules.key(*literal));
    if (objects == m_objects.end()) return chunks;
    std::vector<ObjectInfo> found = objects->second;
    std::sort(found.begin(), found.end(),
              [](const ObjectInfo& a, const ObjectInfo& b) { return a.id < b.id; });
    for (const ObjectInfo& object : found) {
        if (object.xtype != xtype || m_rules.same(object.name, "sysconstraints") ||
            m_rules.same(object.name, "syssegments"))
            continue;
        auto own = m_chunks.find(object.id);
        if (own == m_chunks.end() || own->second.empty()) {
            chunks.emplace_back();  // the left join's row without source
        } else {
            chunks.insert(chunks.end(), own->second.begin(), own->second.end());
        }
    }
    return chunks;
}

std::optional<std::vector<db::Value>> Model::moduleChunksById(std::int64_t id) {
    if (!loadModules()) return std::nullopt;
    auto own = m_chunks.find(id);
    if (own == m_chunks.end()) return std::vector<db::Value>{};
    return own->second;
}

}  // namespace catalog
