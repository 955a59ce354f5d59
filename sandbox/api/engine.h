#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "db/value.h"

// The boundary between the sandbox's wire protocol and its T-SQL engine. The wire
// decodes packets into logins and batches, hands them over here, and encodes what comes
// back as TDS tokens; the engine knows nothing of packets.
namespace sandbox {

// The SQL Server data types a result column can carry.
enum class SqlType : std::uint8_t {
    TinyInt, SmallInt, Int, BigInt, Bit, Real, Float, Money, SmallMoney, DateTime,
    SmallDateTime, Decimal, Numeric, UniqueIdentifier, Char, VarChar, Text, NChar, NVarChar,
    NText, Binary, VarBinary, Image, Timestamp, SqlVariant
};

// One result column as SQL Server describes it.
struct ColumnMeta {
    std::string name;
    SqlType type = SqlType::Int;
    int length = 0;          // bytes for char/binary types (nvarchar(50) -> 100)
    int precision = 0;       // decimal and numeric
    int scale = 0;
    bool nullable = true;
    bool identity = false;
    std::string collation;   // character types; empty means the server default
};

// A row set: column descriptions and rows of values. Text values are UTF-8; date-times
// carry milliseconds (the wire rounds them to 1/300 s); decimals are exact text;
// uniqueidentifier values are 16 bytes in the server's byte order.
struct RowSet {
    std::vector<ColumnMeta> columns;
    std::vector<std::vector<db::Value>> rows;
};

// An error (severity above 10) or an informational message (10 or less).
struct Message {
    std::int32_t number = 0;
    std::uint8_t state = 1;
    std::uint8_t severity = 16;
    std::string text;
    std::string procName;
    int line = 1;
};

// The end of one statement. `counted` is set for statements whose row count a client
// sees (SELECT, INSERT, UPDATE, DELETE without NOCOUNT); never for DDL, SET or USE.
struct Done {
    bool counted = false;
    std::int64_t rowCount = 0;
    bool error = false;
};

// The session's current database changed (USE, or the login's database).
struct DatabaseChange {
    std::string oldName;
    std::string newName;
};

using ResponseItem = std::variant<RowSet, Message, Done, DatabaseChange>;

// Everything a batch produced, in order. The wire marks every Done but the last as
// "more follows" and adds a final Done when the items end without one.
struct Response {
    std::vector<ResponseItem> items;
};

// What a LOGIN7 carried that the engine needs.
struct LoginRequest {
    std::string user;
    std::string password;
    std::string database;     // empty: the login's default database
    std::string appName;
    std::string hostName;
    bool odbcDefaults = true; // fODBC: ANSI_NULLS, QUOTED_IDENTIFIER, ... ON
};

// One client connection's state: its current database and SET options. Calls on one
// session come from one thread at a time; different sessions may run concurrently.
class Session {
public:
    virtual ~Session() = default;
    virtual Response executeBatch(std::string_view sqlUtf8) = 0;
    virtual std::string currentDatabase() const = 0;
};

struct LoginResult {
    std::unique_ptr<Session> session;  // null when the login failed
    std::vector<Message> messages;     // errors of a failed login (4060, 18456)
    std::string database;              // the session's database after login
};

// The server: its databases and logins. Thread-safe.
class Engine {
public:
    virtual ~Engine() = default;
    virtual LoginResult login(const LoginRequest& request) = 0;
};

}  // namespace sandbox
