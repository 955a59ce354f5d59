#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "api/engine.h"

// A stand-in for the T-SQL engine in tests of the wire: it knows a handful of batches by
// their exact text and answers them with canned responses.
//   "select types"     one row of every SQL type, and a row of NULLs
//   "select many N"    N rows of (int, varchar(200)) 
//   "echo <text>"      one nvarchar row holding the whole batch as received
//   "insert"           DONE counted 3
//   "two statements"   a row set, an info message, a failed statement, a counted DONE
//   "use other"        DatabaseChange master -> other, INFO 5701, uncounted DONE
//   "bad"              error 208 with its text
//   "proc error"       error 15023 raised in sp_addrole at line 32
//   "slow"             sleeps 300 ms, then answers like "select many 2000"
//   "throw"            throws std::runtime_error
// Anything else gets error 102. Login: user "sa", password "secret"; database "nosuch"
// fails with 4060 and 18456.
namespace sandbox::testing {

inline db::DateTime dateTime(int y, int mo, int d, int h, int mi, int s, int ms) {
    return db::DateTime{y, mo, d, h, mi, s, ms};
}

class FakeSession : public Session {
public:
    explicit FakeSession(std::string database) : m_database(std::move(database)) {}

    Response executeBatch(std::string_view sql) override {
        const std::string text(sql);
        Response r;
        if (text == "select types") {
            r.items = {typesRowSet(), Done{true, 2, false}};
        } else if (text.rfind("select many ", 0) == 0) {
            r.items = {manyRows(std::stoi(text.substr(12))), Done{true, std::stoi(text.substr(12)), false}};
        } else if (text.rfind("echo ", 0) == 0) {
            RowSet rows;
            rows.columns = {ColumnMeta{"batch", SqlType::NText, 16, 0, 0, false, false, ""}};
            rows.rows = {{db::Value::text(text)}};
            r.items = {rows, Done{true, 1, false}};
        } else if (text == "insert") {
            r.items = {Done{true, 3, false}};
        } else if (text == "two statements") {
            RowSet rows;
            rows.columns = {ColumnMeta{"n", SqlType::Int, 4, 0, 0, false, false, ""}};
            rows.rows = {{db::Value::integer(7)}};
            r.items = {rows, Done{true, 1, false}, Message{3621, 1, 0, "The statement has been terminated.", "", 2},
                       Message{2627, 1, 14, "Violation of PRIMARY KEY constraint 'PK_t'. Cannot insert duplicate key in object 't'.", "", 2},
                       Done{false, 0, true}, Done{true, 5, false}};
        } else if (text == "use other") {
            const std::string old = m_database;
            m_database = "other";
            r.items = {DatabaseChange{old, "other"},
                       Message{5701, 1, 0, "Changed database context to 'other'.", "", 1}, Done{}};
        } else if (text == "bad") {
            r.items = {Message{208, 1, 16, "Invalid object name 'nosuch'.", "", 1}, Done{false, 0, true}};
        } else if (text == "proc error") {
            r.items = {Message{15023, 1, 16, "User or role 'r' already exists in the current database.", "sp_addrole", 32},
                       Done{false, 0, true}};
        } else if (text == "slow") {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            r.items = {manyRows(2000), Done{true, 2000, false}};
        } else if (text == "throw") {
            throw std::runtime_error("engine exploded");
        } else {
            r.items = {Message{102, 1, 15, "Incorrect syntax near '" + text + "'.", "", 1}, Done{false, 0, true}};
        }
        std::lock_guard lock(m_mutex);
        m_batches.push_back(text);
        return r;
    }

    std::string currentDatabase() const override { return m_database; }

    static RowSet typesRowSet() {
        RowSet rows;
        auto col = [](std::string name, SqlType type, int length = 0, int precision = 0, int scale = 0) {
            return ColumnMeta{std::move(name), type, length, precision, scale, true, false, ""};
        };
        rows.columns = {col("ti", SqlType::TinyInt), col("si", SqlType::SmallInt), col("i", SqlType::Int),
                        col("bi", SqlType::BigInt), col("b", SqlType::Bit), col("r", SqlType::Real),
                        col("f", SqlType::Float), col("m", SqlType::Money), col("sm", SqlType::SmallMoney),
                        col("dt", SqlType::DateTime), col("sdt", SqlType::SmallDateTime),
                        col("de", SqlType::Decimal, 0, 10, 2), col("nu", SqlType::Numeric, 0, 38, 4),
                        col("g", SqlType::UniqueIdentifier), col("c", SqlType::Char, 5),
                        col("vc", SqlType::VarChar, 20), col("tx", SqlType::Text),
                        col("nc", SqlType::NChar, 6), col("nvc", SqlType::NVarChar, 40),
                        col("ntx", SqlType::NText), col("bn", SqlType::Binary, 4),
                        col("vb", SqlType::VarBinary, 10), col("img", SqlType::Image),
                        col("ts", SqlType::Timestamp, 8), col("sv", SqlType::SqlVariant)};
        rows.rows.push_back({db::Value::integer(255), db::Value::integer(-32768), db::Value::integer(2147483647),
                             db::Value::integer(-9000000000LL), db::Value::boolean(true), db::Value::real(1.5),
                             db::Value::real(-2.25), db::Value::decimal("-922337203685477.5808"),
                             db::Value::decimal("214748.3647"), db::Value::dateTime(dateTime(2004, 3, 7, 14, 5, 9, 997)),
                             db::Value::dateTime(dateTime(2079, 6, 6, 23, 59, 0, 0)), db::Value::decimal("-12345678.99"),
                             db::Value::decimal("12345678901234567890123456789012.3456"),
                             db::Value::text("00112233-4455-6677-8899-AABBCCDDEEFF"), db::Value::text("ab"),
                             db::Value::text("caf\xC3\xA9 \xE2\x82\xAC \xE2\x9C\x93"), db::Value::text(std::string(9000, 'x')),
                             db::Value::text("\xC3\xA7\xC3\xA3o"), db::Value::text("\xE2\x9C\x93 O'Neil"),
                             db::Value::text("\xE6\x97\xA5\xE6\x9C\xAC"), db::Value::bytes({0xDE, 0xAD}),
                             db::Value::bytes({0x00, 0x01, 0xFF}), db::Value::bytes(db::Bytes(20000, 0xAB)),
                             db::Value::integer(0x07D1), db::Value::integer(42)});
        rows.rows.emplace_back(rows.columns.size(), db::Value());
        return rows;
    }

    static RowSet manyRows(int count) {
        RowSet rows;
        rows.columns = {ColumnMeta{"id", SqlType::Int, 4, 0, 0, false, true, ""},
                        ColumnMeta{"descrit", SqlType::VarChar, 200, 0, 0, true, false, ""}};
        for (int i = 0; i < count; ++i)
            rows.rows.push_back({db::Value::integer(i), db::Value::text("row " + std::to_string(i) + std::string(150, '.'))});
        return rows;
    }

    std::vector<std::string> batches() const {
        std::lock_guard lock(m_mutex);
        return m_batches;
    }

private:
    std::string m_database;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_batches;
};

class FakeEngine : public Engine {
public:
    LoginResult login(const LoginRequest& request) override {
        {
            std::lock_guard lock(m_mutex);
            m_logins.push_back(request);
        }
        LoginResult result;
        if (request.database == "nosuch") {
            result.messages = {Message{4060, 1, 11, "Cannot open database requested in login 'nosuch'. Login fails.", "", 1},
                               Message{18456, 1, 14, "Login failed for user '" + request.user + "'.", "", 1}};
            return result;
        }
        if (request.user != "sa" || request.password != "secret") {
            result.messages = {Message{18456, 1, 14, "Login failed for user '" + request.user + "'.", "", 1}};
            return result;
        }
        result.database = request.database.empty() ? "master" : request.database;
        result.session = std::make_unique<FakeSession>(result.database);
        return result;
    }

    std::vector<LoginRequest> logins() const {
        std::lock_guard lock(m_mutex);
        return m_logins;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<LoginRequest> m_logins;
};

}  // namespace sandbox::testing
