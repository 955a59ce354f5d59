#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/sql_types.h"
#include "tsql/ast.h"

namespace sandbox::tsql {

class VariableScope;

// Inside a trigger: where its inserted and deleted tables are (SQLite names), and which
// columns the firing statement set, for UPDATE(column).
struct TriggerTables {
    std::string inserted;                     // "temp"."~inserted~1"
    std::string deleted;
    std::vector<std::string> updatedColumns;  // lower-case names; every column for an INSERT
};

// What a translation needs to know about the session: names and values that T-SQL
// expressions can ask for (DB_NAME(), @@IDENTITY, ...) and the database collation that
// applies to comparisons between expressions that are not columns.
struct TranslationContext {
    std::string databaseName;
    std::string collation;
    std::string loginName = "sa";
    std::optional<std::int64_t> lastIdentity;
    std::int64_t lastRowCount = 0;
    int lastError = 0;
    int spid = 51;
    int tranCount = 0;  // @@TRANCOUNT
    int nestLevel = 0;  // @@NESTLEVEL: 1 inside a trigger
    bool ansiNulls = true;
    const VariableScope* variables = nullptr;  // the running batch's variables
    const TriggerTables* trigger = nullptr;    // inside a trigger
    // The server's databases with their default collations, asked only when a batch
    // names DATABASEPROPERTY(EX) (unset: the current database is the only one known).
    std::function<std::vector<std::pair<std::string, std::string>>()> databases;
};

// An expression in SQLite's dialect with the SQL Server type T-SQL gives it, when the
// expression alone tells (literals, functions); columns take their type from the catalog.
struct Translated {
    std::string sql;
    std::optional<ColumnType> type;
    bool isColumn = false;
};

// True for the built-in functions the sandbox knows (lower-case name). Anything else in
// a batch is refused with 195 "'CHR' is not a recognized built-in function name.".
bool isBuiltinFunction(std::string_view lowerName);

// The @@VERSION text: a SQL Server 2000 SP4 version string.
std::string versionText();

// A constant taken out of the SQL text as a parameter: a text, the bytes of a blob, or a
// variable's value of any kind.
struct Constant {
    enum class Kind { Text, Blob, Integer, Real, Null };
    Kind kind = Kind::Text;
    std::string value;  // Text, Blob
    std::int64_t integer = 0;
    double real = 0;
};

// Translates T-SQL expressions and queries into SQLite SQL.
// Examples: "SELECT TOP 1 * FROM tbVersao" -> SELECT * FROM "tbVersao" LIMIT 1;
// "N'a' + CHAR(39)" -> ('a' || char(39)); "0x1F" -> x'1F';
// "CONVERT(DATETIME,'2004-03-07 14:05:09',102)" -> tsql_convert('DATETIME',NULL,NULL,'2004-03-07 14:05:09',102).
// Throws ServerError for what SQLite cannot do (cross-database names, user functions).
class Translator {
public:
    explicit Translator(const TranslationContext& context) : m_context(context) {}

    Translated expression(const Expr& expr);
    // A whole query; itemTypes receives the inferred type of each select-list item of the
    // first SELECT (nullopt for columns and unknown expressions).
    std::string select(const Select& select, std::vector<std::optional<ColumnType>>* itemTypes = nullptr);
    // The SQLite name of a table reference: dbo.tbX -> "tbX".
    std::string tableName(const ObjectName& name);

    // From now on, string and binary constants become SQLite parameters (?1, ?2, ...)
    // whose values are collected here, so that queries differing only in their constants
    // share one prepared statement, and a long literal is not parsed again by SQLite.
    // Example: WHERE name = 'tbX' -> WHERE name = ?1, {"tbX"}; 0x1F -> ?1, {"\x1F", blob}.
    void collectConstants(std::vector<Constant>* constants) { m_constants = constants; }

    // Table names as the query wrote them, for 208 messages: "tbx" -> "dbo.tbX".
    const std::map<std::string, std::string>& writtenNames() const { return m_writtenNames; }

private:
    std::string constant(Constant value);
    Translated variable(const Expr& expr);
    // OBJECTPROPERTY, COLUMNPROPERTY, SERVERPROPERTY and the other catalog functions
    // (property_functions.cpp); nullopt for any other function.
    std::optional<Translated> propertyFunction(const Expr& expr);
    // DATABASEPROPERTY(EX)'s property `name` (lower case) of the database the SQLite
    // expression `database` names.
    std::string databaseProperty(const std::string& name, const std::string& database) const;
    Translated function(const Expr& expr);
    // a + b + c ...: numbers add, texts concatenate, anything else goes to tsql_add, left
    // to right; a run of texts becomes one balanced concatenation.
    // Example: 'a' + CHAR(39) + 'b' -> (('a' || char(39)) || 'b').
    Translated addition(const Expr& expr);
    // Joins SQLite text expressions with || in pairs, then pairs of pairs.
    // Example: {a, b, c} -> ((a || b) || c); {a, b, c, d} -> ((a || b) || (c || d)).
    std::string concatenation(std::vector<std::string> pieces);
    std::string comparison(const Expr& expr, const Translated& left, const Translated& right);
    std::string fromItem(const FromItem& item);
    std::string tableRef(const TableRef& ref);

    const TranslationContext& m_context;
    std::map<std::string, std::string> m_writtenNames;
    std::vector<Constant>* m_constants = nullptr;
};

}  // namespace sandbox::tsql
