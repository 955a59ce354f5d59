#include "catalog/sqlite_util.h"

namespace sandbox::sqlite {

Statement::Statement(sqlite3* db, std::string_view sql) {
    int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        std::string text = sqlite3_errmsg(db);
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw Failure(rc, text);
    }
}

Statement::~Statement() { sqlite3_finalize(m_stmt); }

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_stmt = other.m_stmt;
        other.m_stmt = nullptr;
    }
    return *this;
}

bool Statement::step() {
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3* db = sqlite3_db_handle(m_stmt);
    std::string text = sqlite3_errmsg(db);
    int ext = sqlite3_extended_errcode(db);
    sqlite3_reset(m_stmt);
    throw Failure(ext, text);
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

Statement& Statement::bind(int index, std::int64_t v) {
    sqlite3_bind_int64(m_stmt, index, v);
    return *this;
}

Statement& Statement::bind(int index, std::string_view v) {
    sqlite3_bind_text(m_stmt, index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindNull(int index) {
    sqlite3_bind_null(m_stmt, index);
    return *this;
}

Statement& Statement::bindBlob(int index, const void* data, int size) {
    sqlite3_bind_blob(m_stmt, index, data, size, SQLITE_TRANSIENT);
    return *this;
}

std::string Statement::text(int col) const {
    const unsigned char* p = sqlite3_column_text(m_stmt, col);
    if (!p) return {};
    return std::string(reinterpret_cast<const char*>(p),
                       static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, col)));
}

void exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::string text = error ? error : sqlite3_errmsg(db);
        sqlite3_free(error);
        throw Failure(sqlite3_extended_errcode(db), text);
    }
}

std::string quoteIdentifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string quoteLiteral(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

}  // namespace sandbox::sqlite
