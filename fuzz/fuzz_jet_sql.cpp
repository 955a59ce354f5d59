// The store's Jet SQL rewriter. The first byte chooses what the rest is:
// - a whole statement text, rewritten and parameterized (crashes, hangs, UB);
// - the value list of an INSERT into a table of four columns: the statement is run on an
//   in-memory SQLite database twice, once as rewrite() gives it and once as
//   parameterizeInsert() shapes and binds it, and both must store the same row or fail
//   alike. This is the promise the store's connection relies on when it prepares one
//   statement for many inserts.

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>

#include "db/sqlite/jet_sql.h"
#include "fuzz_check.h"

namespace {

// Columns a and c hold text: their `+` is a concatenation.
bool isTextColumn(std::string_view name) {
    return name.size() == 1 && (name[0] == 'a' || name[0] == 'A' || name[0] == 'c' || name[0] == 'C');
}

const db::sqlite::JetSqlRewriter& rewriter() {
    static const db::sqlite::JetSqlRewriter instance(isTextColumn);
    return instance;
}

// Functions whose answer changes from one run to the next, or that build huge values:
// refused in both runs alike.
int authorize(void*, int action, const char*, const char* name, const char*, const char*) {
    if (action != SQLITE_FUNCTION || name == nullptr) return SQLITE_OK;
    static constexpr std::string_view kRefused[] = {
        "random", "randomblob", "zeroblob", "changes", "total_changes", "last_insert_rowid",
        "date", "time", "datetime", "julianday", "strftime", "unixepoch", "load_extension",
        "sqlite_offset", "printf", "format"};
    for (std::string_view refused : kRefused) {
        if (sqlite3_stricmp(refused.data(), name) == 0) return SQLITE_DENY;
    }
    return SQLITE_OK;
}

// Stops a statement that runs too long (a recursive query in a sub-select).
int progress(void*) { return 1; }

struct Database {
    sqlite3* handle = nullptr;
    Database() {
        sqlite3_open(":memory:", &handle);
        sqlite3_exec(handle, "CREATE TABLE t (a TEXT, b INTEGER, c VARCHAR(255), d REAL)", nullptr,
                     nullptr, nullptr);
        sqlite3_limit(handle, SQLITE_LIMIT_LENGTH, 1 << 20);
        sqlite3_set_authorizer(handle, authorize, nullptr);
        sqlite3_progress_handler(handle, 100000, progress, nullptr);
    }
};

// The row the statement stored ("error" when it failed), with each value's type.
std::string run(sqlite3* db, const std::string& sql,
                const std::vector<db::sqlite::BoundValue>* parameters) {
    sqlite3_exec(db, "DELETE FROM t", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail) != SQLITE_OK ||
        stmt == nullptr) {
        sqlite3_finalize(stmt);
        return "error";
    }
    const bool whole = tail == sql.c_str() + sql.size();
    if (parameters) {
        int n = 1;
        for (const db::sqlite::BoundValue& p : *parameters) {
            switch (p.kind) {
                case db::sqlite::BoundValue::Kind::Text:
                    sqlite3_bind_text(stmt, n, p.text.data(), static_cast<int>(p.text.size()),
                                      SQLITE_TRANSIENT);
                    break;
                case db::sqlite::BoundValue::Kind::Integer:
                    sqlite3_bind_int64(stmt, n, p.integer);
                    break;
                case db::sqlite::BoundValue::Kind::Real:
                    sqlite3_bind_double(stmt, n, p.real);
                    break;
            }
            ++n;
        }
    }
    const int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) return "error";
    std::string row = whole ? "" : "(more) ";
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT quote(a), typeof(a), quote(b), typeof(b), quote(c), typeof(c), "
                           "quote(d), typeof(d) FROM t", -1, &select, nullptr);
    while (sqlite3_step(select) == SQLITE_ROW) {
        for (int i = 0; i < 8; ++i) {
            const unsigned char* text = sqlite3_column_text(select, i);
            row += text ? reinterpret_cast<const char*>(text) : "NULL";
            row += '|';
        }
        row += '\n';
    }
    sqlite3_finalize(select);
    return row;
}

void compareRuns(const std::string& values) {
    static Database database;
    const std::string sql = "INSERT INTO t (a, b, c, d) VALUES (" + values + ")";
    const std::optional<db::sqlite::ParameterizedSql> shaped = rewriter().parameterizeInsert(sql);
    if (!shaped) return;
    const std::string rewritten = rewriter().rewrite(sql);
    // A NUL cuts the text for SQLite in one run and not in the other.
    if (rewritten.find('\0') != std::string::npos || shaped->shape.find('\0') != std::string::npos)
        return;
    const std::string plain = run(database.handle, rewritten, nullptr);
    const std::string bound = run(database.handle, shaped->shape, &shaped->parameters);
    FUZZ_CHECK(plain == bound, "rewritten: " + rewritten + "\n  -> " + plain + "\n  shaped: " +
                                   shaped->shape + "\n  -> " + bound);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        compareRuns(text);
    } else {
        rewriter().rewrite(text);
        rewriter().parameterizeInsert(text);
    }
    return 0;
}
