#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string_view>

namespace db::odbc {

// How a column's values are read from the driver and what db::Value they become.
enum class FetchAs {
    Integer,   // SQL_C_SBIGINT -> Value::integer
    Boolean,   // SQL_C_BIT -> Value::boolean
    Single,    // SQL_C_FLOAT -> Value::real of the float's shortest decimal form
    Double,    // SQL_C_DOUBLE -> Value::real
    Decimal,   // SQL_C_CHAR -> Value::decimal (exact text)
    DateTime,  // SQL_C_TYPE_TIMESTAMP -> Value::dateTime
    Guid,      // SQL_C_GUID -> Value::text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
    Text,      // SQL_C_WCHAR in chunks -> Value::text (UTF-8)
    Bytes,     // SQL_C_BINARY in chunks -> Value::bytes
};

// A result column's ADO type code (as SQL Server's OLE DB provider reports it) and the way
// its values are fetched.
struct ColumnKind {
    int adoType;
    FetchAs fetchAs;
};

// Classifies a result column by the server's type name (SQL_DESC_TYPE_NAME), falling back
// on the ODBC SQL type for a name it does not know. The name tells apart what the ODBC
// type cannot: money from decimal, tinyint from smallint, timestamp from binary.
// Examples: ("money", SQL_DECIMAL) -> {adCurrency 6, Decimal};
// ("decimal", SQL_NUMERIC) -> {adNumeric 131, Decimal}; ("ntext", SQL_WLONGVARCHAR) ->
// {adLongVarWChar 203, Text}; ("int identity", SQL_INTEGER) -> {adInteger 3, Integer}.
ColumnKind classifyColumn(std::string_view typeName, SQLSMALLINT sqlType);

// ADO's DefinedSize for the long types (text, ntext, image), 0 for any other type.
long longTypeDefinedSize(int adoType);

}  // namespace db::odbc
