#include "db/odbc/column_types.h"

#include <array>
#include <string>

#include "db/ado_types.h"
#include "db/recordset.h"

namespace db::odbc {
namespace {

struct NamedType {
    std::string_view name;
    ColumnKind kind;
};

// SQL Server 2000's type names; sysname is nvarchar(128).
constexpr std::array kNamedTypes = {
    NamedType{"int", {ado::kInteger, FetchAs::Integer}},
    NamedType{"smallint", {ado::kSmallInt, FetchAs::Integer}},
    NamedType{"tinyint", {ado::kUnsignedTinyInt, FetchAs::Integer}},
    NamedType{"bigint", {ado::kBigInt, FetchAs::Integer}},
    NamedType{"bit", {ado::kBoolean, FetchAs::Boolean}},
    NamedType{"real", {ado::kSingle, FetchAs::Single}},
    NamedType{"float", {ado::kDouble, FetchAs::Double}},
    NamedType{"money", {ado::kCurrency, FetchAs::Decimal}},
    NamedType{"smallmoney", {ado::kCurrency, FetchAs::Decimal}},
    NamedType{"decimal", {ado::kNumeric, FetchAs::Decimal}},
    NamedType{"numeric", {ado::kNumeric, FetchAs::Decimal}},
    NamedType{"datetime", {ado::kDBTimeStamp, FetchAs::DateTime}},
    NamedType{"smalldatetime", {ado::kDBTimeStamp, FetchAs::DateTime}},
    NamedType{"char", {ado::kChar, FetchAs::Text}},
    NamedType{"varchar", {ado::kVarChar, FetchAs::Text}},
    NamedType{"text", {ado::kLongVarChar, FetchAs::Text}},
    NamedType{"nchar", {ado::kWChar, FetchAs::Text}},
    NamedType{"nvarchar", {ado::kVarWChar, FetchAs::Text}},
    NamedType{"sysname", {ado::kVarWChar, FetchAs::Text}},
    NamedType{"ntext", {ado::kLongVarWChar, FetchAs::Text}},
    NamedType{"binary", {ado::kBinary, FetchAs::Bytes}},
    NamedType{"varbinary", {ado::kVarBinary, FetchAs::Bytes}},
    NamedType{"image", {ado::kLongVarBinary, FetchAs::Bytes}},
    NamedType{"timestamp", {ado::kBinary, FetchAs::Bytes}},
    NamedType{"uniqueidentifier", {ado::kGUID, FetchAs::Guid}},
    NamedType{"sql_variant", {ado::kVariant, FetchAs::Text}},
};

// SQL Server's ODBC type for sql_variant (not in the unixODBC headers).
constexpr SQLSMALLINT kSqlSsVariant = -150;

ColumnKind bySqlType(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_INTEGER:
            return {ado::kInteger, FetchAs::Integer};
        case SQL_SMALLINT:
            return {ado::kSmallInt, FetchAs::Integer};
        case SQL_TINYINT:
            return {ado::kUnsignedTinyInt, FetchAs::Integer};
        case SQL_BIGINT:
            return {ado::kBigInt, FetchAs::Integer};
        case SQL_BIT:
            return {ado::kBoolean, FetchAs::Boolean};
        case SQL_REAL:
            return {ado::kSingle, FetchAs::Single};
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return {ado::kDouble, FetchAs::Double};
        case SQL_DECIMAL:
        case SQL_NUMERIC:
            return {ado::kNumeric, FetchAs::Decimal};
        case SQL_TYPE_TIMESTAMP:
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
            return {ado::kDBTimeStamp, FetchAs::DateTime};
        case SQL_CHAR:
            return {ado::kChar, FetchAs::Text};
        case SQL_LONGVARCHAR:
            return {ado::kLongVarChar, FetchAs::Text};
        case SQL_WCHAR:
            return {ado::kWChar, FetchAs::Text};
        case SQL_WVARCHAR:
            return {ado::kVarWChar, FetchAs::Text};
        case SQL_WLONGVARCHAR:
            return {ado::kLongVarWChar, FetchAs::Text};
        case SQL_BINARY:
            return {ado::kBinary, FetchAs::Bytes};
        case SQL_VARBINARY:
            return {ado::kVarBinary, FetchAs::Bytes};
        case SQL_LONGVARBINARY:
            return {ado::kLongVarBinary, FetchAs::Bytes};
        case SQL_GUID:
            return {ado::kGUID, FetchAs::Guid};
        case kSqlSsVariant:
            return {ado::kVariant, FetchAs::Text};
        default:
            return {ado::kVarChar, FetchAs::Text};
    }
}

}  // namespace

ColumnKind classifyColumn(std::string_view typeName, SQLSMALLINT sqlType) {
    // SQL Server's own drivers name an identity column "int identity".
    const std::string_view base = typeName.substr(0, typeName.find(' '));
    for (const NamedType& named : kNamedTypes) {
        if (equalsIgnoreCase(named.name, base)) return named.kind;
    }
    return bySqlType(sqlType);
}

long longTypeDefinedSize(int adoType) {
    switch (adoType) {
        case ado::kLongVarChar:
        case ado::kLongVarBinary:
            return 2147483647;
        case ado::kLongVarWChar:
            return 1073741823;
        default:
            return 0;
    }
}

}  // namespace db::odbc
