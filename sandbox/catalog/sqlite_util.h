#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sandbox::sqlite {

// A failure of SQLite itself (not a T-SQL error): carries SQLite's result code and text.
class Failure : public std::runtime_error {
public:
    Failure(int code, const std::string& text) : std::runtime_error(text), m_code(code) {}
    int code() const { return m_code; }

private:
    int m_code;
};

// A prepared statement, finalized on destruction. Throws Failure on prepare errors.
class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept : m_stmt(other.m_stmt) { other.m_stmt = nullptr; }
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Steps once: true while a row is available, false when done; throws Failure.
    bool step();
    void reset();

    Statement& bind(int index, std::int64_t v);
    Statement& bind(int index, std::string_view v);
    Statement& bindNull(int index);
    Statement& bindBlob(int index, const void* data, int size);

    std::int64_t integer(int col) const { return sqlite3_column_int64(m_stmt, col); }
    std::string text(int col) const;
    bool isNull(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }
    sqlite3_stmt* handle() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// Runs one or more statements without results; throws Failure.
void exec(sqlite3* db, const std::string& sql);

// Quotes an identifier for SQLite: abc -> "abc", a"b -> "a""b".
std::string quoteIdentifier(std::string_view name);

// Quotes a text literal for SQLite: O'Neil -> 'O''Neil'.
std::string quoteLiteral(std::string_view text);

}  // namespace sandbox::sqlite
