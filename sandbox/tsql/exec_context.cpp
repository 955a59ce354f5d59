#include "tsql/exec_context.h"

#include "catalog/collation.h"
#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/sqlite_functions.h"
#include "tsql/transaction.h"
#include "tsql/value_convert.h"

namespace sandbox::tsql {
namespace {

bool startsWith(const std::string& s, std::string_view prefix) { return s.rfind(prefix, 0) == 0; }

int fixedLength(const ColumnType& type) {
    switch (type.base->sqlType) {
        case SqlType::Text: case SqlType::Image: return 2147483647;
        case SqlType::NText: return 2147483646;
        default: return type.length;
    }
}

ColumnMeta metaFrom(const std::string& name, const ColumnType& type, bool nullable, bool identity,
                    const std::string& collation) {
    ColumnMeta meta;
    meta.name = name;
    meta.type = type.base->sqlType;
    meta.length = fixedLength(type);
    meta.precision = type.isExactNumeric() || type.isInteger() || type.isDateTime() ? type.precision : 0;
    meta.scale = type.scale;
    meta.nullable = nullable;
    meta.identity = identity;
    if (type.isCharacter() && collation != kServerCollation) meta.collation = collation;
    return meta;
}

bool isLatin1(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0xC4) return false;  // code points above U+00FF
    }
    return true;
}

}  // namespace

Database& ExecContext::db() {
    Database* db = m_databases.find(m_session.database);
    if (!db) throw ServerError(911, 16, "Could not locate entry in sysdatabases for database '" + m_session.database + "'.");
    enlistInTransaction(m_session, *db);
    return *db;
}

TranslationContext ExecContext::translation() {
    TranslationContext t;
    Database& d = db();
    t.databaseName = d.name();
    t.collation = d.collation();
    t.loginName = m_session.login;
    t.lastIdentity = m_session.lastIdentity;
    t.lastRowCount = m_session.lastRowCount;
    t.lastError = m_session.lastError;
    t.spid = m_session.spid;
    t.tranCount = m_session.transaction.count;
    t.nestLevel = m_nestLevel;
    t.ansiNulls = m_session.options.ansiNulls;
    t.variables = m_variables;
    t.trigger = m_trigger;
    t.databases = [this] { return m_databases.collations(); };
    return t;
}

void ExecContext::done(bool counted, std::int64_t rowCount) {
    Done d;
    d.counted = counted && !m_session.options.nocount;
    d.rowCount = d.counted ? rowCount : 0;
    if (counted) m_session.lastRowCount = rowCount;
    m_response.items.emplace_back(d);
}

void ExecContext::info(std::int32_t number, const std::string& text, std::uint8_t state) {
    m_response.items.emplace_back(Message{number, state, 0, text, {}, 1});
}

void ExecContext::raise(const sqlite::Failure& failure, const Translator* translator) {
    std::string text = failure.what();
    if (auto decoded = decodeFunctionError(text)) {
        bool batch = decoded->number() == 245 || decoded->number() == 241 || decoded->number() == 242 ||
                     decoded->number() == 8114 || decoded->number() == 8169;
        throw ServerError(decoded->number(), decoded->severity(), decoded->text(), decoded->state(),
                          batch ? ErrorScope::Batch : ErrorScope::Statement);
    }
    auto after = [&](std::string_view prefix) { return text.substr(prefix.size()); };
    if (startsWith(text, "no such table: ")) {
        std::string name = after("no such table: ");
        if (startsWith(name, "main.")) name = name.substr(5);
        if (translator) {
            auto found = translator->writtenNames().find(lower(name));
            if (found != translator->writtenNames().end()) name = found->second;
        }
        if (auto object = db().catalog().findObject(name); object && object->xtype == "V")
            throw ServerError(err::kUnsupported, 16,
                              "The sandbox server cannot run the view '" + object->name + "' (its query is not supported).");
        throw ServerError(err::kInvalidObject, 16, "Invalid object name '" + name + "'.", 1, ErrorScope::Batch);
    }
    if (startsWith(text, "no such column: ")) {
        std::string name = after("no such column: ");
        std::size_t dot = name.rfind('.');
        if (dot != std::string::npos) name = name.substr(dot + 1);
        throw ServerError(err::kInvalidColumn, 16, "Invalid column name '" + name + "'.", 1, ErrorScope::Batch);
    }
    if (startsWith(text, "ambiguous column name: ")) {
        std::string name = after("ambiguous column name: ");
        std::size_t dot = name.rfind('.');
        if (dot != std::string::npos) name = name.substr(dot + 1);
        throw ServerError(err::kAmbiguousColumn, 16, "Ambiguous column name '" + name + "'.", 1, ErrorScope::Batch);
    }
    throw ServerError(err::kUnsupported, 16, "The sandbox server could not run the statement: " + text + ".");
}

ExecContext::~ExecContext() {
    for (sqlite3_stmt* stmt : m_longStatements) sqlite3_finalize(stmt);
}

sqlite3_stmt* ExecContext::prepare(const std::string& sql, const Translator* translator) {
    try {
        if (sql.size() <= kLongStatementBytes) return db().prepare(sql);
        sqlite3* handle = db().handle();
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v2(handle, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
        if (rc != SQLITE_OK) {
            sqlite::Failure failure(rc, sqlite3_errmsg(handle));
            sqlite3_finalize(stmt);
            throw failure;
        }
        m_longStatements.push_back(stmt);
        return stmt;
    } catch (const sqlite::Failure& failure) {
        raise(failure, translator);
    }
}

bool ExecContext::step(sqlite3_stmt* stmt, const Translator* translator) {
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3* handle = sqlite3_db_handle(stmt);
    sqlite::Failure failure(sqlite3_extended_errcode(handle), sqlite3_errmsg(handle));
    sqlite3_reset(stmt);
    raise(failure, translator);
}

void bindConstants(sqlite3_stmt* stmt, const std::vector<Constant>& constants) {
    for (std::size_t i = 0; i < constants.size(); ++i) {
        const Constant& c = constants[i];
        const int at = static_cast<int>(i + 1);
        switch (c.kind) {
            case Constant::Kind::Text:
                sqlite3_bind_text64(stmt, at, c.value.data(), c.value.size(), SQLITE_STATIC, SQLITE_UTF8);
                break;
            case Constant::Kind::Blob: sqlite3_bind_blob64(stmt, at, c.value.data(), c.value.size(), SQLITE_STATIC); break;
            case Constant::Kind::Integer: sqlite3_bind_int64(stmt, at, c.integer); break;
            case Constant::Kind::Real: sqlite3_bind_double(stmt, at, c.real); break;
            case Constant::Kind::Null: sqlite3_bind_null(stmt, at); break;
        }
    }
}

StoredRowSet readStoredRows(ExecContext& context, sqlite3_stmt* stmt, const Translator& translator,
                            const std::vector<std::optional<ColumnType>>& itemTypes, bool itemsAlign) {
    StoredRowSet result;
    Database& db = context.db();
    const SessionOptions& options = context.session().options;
    int count = sqlite3_column_count(stmt);
    std::vector<std::optional<ColumnType>> types(static_cast<std::size_t>(count));
    std::vector<bool> decided(static_cast<std::size_t>(count), false);
    result.columns.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto idx = static_cast<std::size_t>(i);
        const char* name = sqlite3_column_name(stmt, i);
        const char* table = sqlite3_column_table_name(stmt, i);
        const char* origin = sqlite3_column_origin_name(stmt, i);
        ResultColumn& column = result.columns[idx];
        column.name = name ? name : "";
        if (table && origin) {
            if (auto info = db.table(table)) {
                int c = info->findColumn(origin);
                if (c >= 0) {
                    const ColumnInfo& col = info->columns[static_cast<std::size_t>(c)];
                    column.type = col.type;
                    column.nullable = col.nullable;
                    column.identity = col.identity;
                    column.collation = col.collation;
                    column.sourceTable = info;
                    column.sourceColid = col.colid;
                    decided[idx] = true;
                    continue;
                }
            }
        }
        if (itemsAlign && idx < itemTypes.size() && itemTypes[idx]) types[idx] = itemTypes[idx];
    }
    // Rows, stored as they come; the types still unknown are decided from them.
    std::vector<std::vector<StoredValue>>& stored = result.rows;
    std::int64_t limit = options.rowCount;
    if (!options.fmtOnly) {
        while (context.step(stmt, &translator)) {
            std::vector<StoredValue> row;
            row.reserve(static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i) row.push_back(fromSqlite(sqlite3_column_value(stmt, i)));
            stored.push_back(std::move(row));
            if (limit > 0 && static_cast<std::int64_t>(stored.size()) >= limit) break;
        }
    }
    sqlite3_reset(stmt);
    for (int i = 0; i < count; ++i) {
        auto idx = static_cast<std::size_t>(i);
        if (decided[idx]) continue;
        std::optional<ColumnType>& t = types[idx];
        bool nullable = true;
        if (!t || (t->isCharacter() && !t->isLong() && t->length == 0) ||
            ((t->base->sqlType == SqlType::VarBinary) && t->length == 0)) {
            // Decide from the data: the kind of the first non-null value, the longest text.
            StoredValue::Kind kind = StoredValue::Kind::Null;
            std::size_t longest = 1;
            bool latin1 = true;
            for (const auto& row : stored) {
                const StoredValue& v = row[idx];
                if (v.isNull()) continue;
                if (kind == StoredValue::Kind::Null) kind = v.kind;
                if (v.kind == StoredValue::Kind::Text) {
                    longest = std::max(longest, utf8Length(v.bytes));
                    latin1 = latin1 && isLatin1(v.bytes);
                } else if (v.kind == StoredValue::Kind::Blob) {
                    longest = std::max(longest, v.bytes.size());
                }
            }
            bool unicode = (t && t->isUnicode()) || !latin1;
            // SUBSTRING and the like over binary data give binary data.
            if (t && t->isCharacter() && kind != StoredValue::Kind::Blob) kind = StoredValue::Kind::Text;
            switch (kind) {
                case StoredValue::Kind::Integer: {
                    bool big = false;
                    for (const auto& row : stored)
                        if (row[idx].kind == StoredValue::Kind::Integer &&
                            (row[idx].integer > 2147483647LL || row[idx].integer < -2147483648LL))
                            big = true;
                    t = makeColumnType(big ? "bigint" : "int", std::nullopt, std::nullopt);
                    break;
                }
                case StoredValue::Kind::Real: t = makeColumnType("float", std::nullopt, std::nullopt); break;
                case StoredValue::Kind::Blob:
                    t = longest > 8000 ? makeColumnType("image", std::nullopt, std::nullopt)
                                       : makeColumnType("varbinary", static_cast<int>(longest), std::nullopt);
                    break;
                case StoredValue::Kind::Text:
                    if (unicode)
                        t = longest > 4000 ? makeColumnType("ntext", std::nullopt, std::nullopt)
                                           : makeColumnType("nvarchar", static_cast<int>(longest), std::nullopt);
                    else
                        t = longest > 8000 ? makeColumnType("text", std::nullopt, std::nullopt)
                                           : makeColumnType("varchar", static_cast<int>(longest), std::nullopt);
                    break;
                case StoredValue::Kind::Null:
                    if (!t) t = makeColumnType("int", std::nullopt, std::nullopt);
                    if (t->isCharacter() && t->length == 0) t = makeColumnType(t->isUnicode() ? "nvarchar" : "varchar", 1, std::nullopt);
                    if (t->base->sqlType == SqlType::VarBinary && t->length == 0) t = makeColumnType("varbinary", 1, std::nullopt);
                    break;
            }
        }
        ResultColumn& column = result.columns[idx];
        column.type = *t;
        column.nullable = nullable;
        column.collation = db.collation();
    }
    return result;
}

RowSet readRowSet(ExecContext& context, sqlite3_stmt* stmt, const Translator& translator,
                  const std::vector<std::optional<ColumnType>>& itemTypes, bool itemsAlign) {
    const SessionOptions& options = context.session().options;
    StoredRowSet stored = readStoredRows(context, stmt, translator, itemTypes, itemsAlign);
    RowSet rows;
    rows.columns.reserve(stored.columns.size());
    for (const auto& c : stored.columns)
        rows.columns.push_back(metaFrom(c.name, c.type, c.nullable, c.identity, c.collation));
    rows.rows.reserve(stored.rows.size());
    for (auto& row : stored.rows) {
        std::vector<db::Value> out;
        out.reserve(row.size());
        for (std::size_t i = 0; i < row.size(); ++i) {
            const ColumnType& type = stored.columns[i].type;
            StoredValue& v = row[i];
            if (type.isLong() && !v.isNull() && options.textSize > 0) {
                std::size_t limitBytes = static_cast<std::size_t>(options.textSize);
                if (type.isUnicode()) {
                    std::size_t chars = limitBytes / 2;
                    if (utf8Length(v.bytes) > chars) v.bytes.resize(utf8Offset(v.bytes, chars));
                } else if (type.base->sqlType == SqlType::Text) {
                    if (utf8Length(v.bytes) > limitBytes) v.bytes.resize(utf8Offset(v.bytes, limitBytes));
                } else if (v.bytes.size() > limitBytes) {
                    v.bytes.resize(limitBytes);
                }
            }
            out.push_back(toWireValue(type, v));
        }
        rows.rows.push_back(std::move(out));
    }
    return rows;
}

}  // namespace sandbox::tsql
