#include "catalog/sql_types.h"

#include <array>
#include <cctype>

#include "catalog/server_error.h"
#include "catalog/text_util.h"

namespace sandbox {
namespace {

using S = SqlType;
using T = TypeShape;

constexpr std::array<BuiltinType, 26> kTypes = {{
    {"image", 34, 34, 16, 0, 0, 20, false, S::Image, T::Fixed},
    {"text", 35, 35, 16, 0, 0, 19, false, S::Text, T::Fixed},
    {"uniqueidentifier", 36, 36, 16, 0, 0, 0, false, S::UniqueIdentifier, T::Fixed},
    {"tinyint", 48, 48, 1, 3, 0, 5, false, S::TinyInt, T::Fixed},
    {"smallint", 52, 52, 2, 5, 0, 6, false, S::SmallInt, T::Fixed},
    {"int", 56, 56, 4, 10, 0, 7, false, S::Int, T::Fixed},
    {"smalldatetime", 58, 58, 4, 16, 0, 22, false, S::SmallDateTime, T::Fixed},
    {"real", 59, 59, 4, 24, 0, 23, false, S::Real, T::Fixed},
    {"money", 60, 60, 8, 19, 4, 11, false, S::Money, T::Fixed},
    {"datetime", 61, 61, 8, 23, 3, 12, false, S::DateTime, T::Fixed},
    {"float", 62, 62, 8, 53, 0, 8, false, S::Float, T::Fixed},
    {"sql_variant", 98, 98, 8016, 0, 0, 0, true, S::SqlVariant, T::Fixed},
    {"ntext", 99, 99, 16, 0, 0, 0, false, S::NText, T::Fixed},
    {"bit", 104, 104, 1, 1, 0, 16, false, S::Bit, T::Fixed},
    {"decimal", 106, 106, 17, 38, 38, 24, false, S::Decimal, T::Decimal},
    {"numeric", 108, 108, 17, 38, 38, 10, false, S::Numeric, T::Decimal},
    {"smallmoney", 122, 122, 4, 10, 4, 21, false, S::SmallMoney, T::Fixed},
    {"bigint", 127, 127, 8, 19, 0, 0, false, S::BigInt, T::Fixed},
    {"varbinary", 165, 165, 8000, 0, 0, 4, true, S::VarBinary, T::Sized},
    {"varchar", 167, 167, 8000, 0, 0, 2, true, S::VarChar, T::Sized},
    {"binary", 173, 173, 8000, 0, 0, 3, false, S::Binary, T::Sized},
    {"char", 175, 175, 8000, 0, 0, 1, false, S::Char, T::Sized},
    {"timestamp", 189, 189, 8, 0, 0, 80, false, S::Timestamp, T::Fixed},
    {"nvarchar", 231, 231, 8000, 0, 0, 0, true, S::NVarChar, T::UnicodeSized},
    {"nchar", 239, 239, 8000, 0, 0, 0, false, S::NChar, T::UnicodeSized},
    {"sysname", 231, 256, 256, 0, 0, 18, true, S::NVarChar, T::Fixed},
}};

}  // namespace

const BuiltinType* builtinTypes(std::size_t& count) {
    count = kTypes.size();
    return kTypes.data();
}

const BuiltinType* findType(std::string_view name) {
    for (const auto& t : kTypes)
        if (iequals(t.name, name)) return &t;
    if (iequals(name, "integer")) return findType("int");
    if (iequals(name, "dec")) return findType("decimal");
    if (iequals(name, "character")) return findType("char");
    if (iequals(name, "double precision")) return findType("float");
    if (iequals(name, "rowversion")) return findType("timestamp");
    return nullptr;
}

const BuiltinType* findTypeByUserType(int xusertype) {
    for (const auto& t : kTypes)
        if (t.xusertype == xusertype) return &t;
    return nullptr;
}

int decimalStorageBytes(int precision) {
    if (precision <= 9) return 5;
    if (precision <= 19) return 9;
    if (precision <= 28) return 13;
    return 17;
}

bool ColumnType::isCharacter() const {
    switch (base->sqlType) {
        case S::Char: case S::VarChar: case S::Text: case S::NChar: case S::NVarChar: case S::NText: return true;
        default: return false;
    }
}
bool ColumnType::isUnicode() const {
    return base->sqlType == S::NChar || base->sqlType == S::NVarChar || base->sqlType == S::NText;
}
bool ColumnType::isBinary() const {
    switch (base->sqlType) {
        case S::Binary: case S::VarBinary: case S::Image: case S::Timestamp: return true;
        default: return false;
    }
}
bool ColumnType::isLong() const {
    return base->sqlType == S::Text || base->sqlType == S::NText || base->sqlType == S::Image;
}
bool ColumnType::isInteger() const {
    switch (base->sqlType) {
        case S::TinyInt: case S::SmallInt: case S::Int: case S::BigInt: case S::Bit: return true;
        default: return false;
    }
}
bool ColumnType::isExactNumeric() const {
    switch (base->sqlType) {
        case S::Decimal: case S::Numeric: case S::Money: case S::SmallMoney: return true;
        default: return false;
    }
}
bool ColumnType::isDateTime() const {
    return base->sqlType == S::DateTime || base->sqlType == S::SmallDateTime;
}

std::string ColumnType::declaration() const {
    std::string name(base->name);
    switch (base->shape) {
        case T::Sized: return name + "(" + std::to_string(length) + ")";
        case T::UnicodeSized: return name + "(" + std::to_string(length / 2) + ")";
        case T::Decimal: return name + "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
        case T::Fixed: break;
    }
    return name;
}

std::optional<ColumnType> makeColumnType(std::string_view name, std::optional<int> first,
                                         std::optional<int> second) {
    const BuiltinType* base = findType(name);
    if (!base) return std::nullopt;
    ColumnType type;
    type.base = base;
    switch (base->shape) {
        case T::Fixed:
            type.length = base->length;
            type.precision = base->xprec;
            type.scale = base->xscale;
            if (base->xusertype == 256) type.precision = 128;  // sysname = nvarchar(128)
            break;
        case T::Sized: {
            int n = first.value_or(1);
            if (n < 1 || n > 8000)
                throw ServerError(131, 15, "The size (" + std::to_string(n) + ") given to the type '" +
                                               std::string(base->name) + "' exceeds the maximum allowed for any data type (8000).");
            type.length = n;
            type.precision = n;
            break;
        }
        case T::UnicodeSized: {
            int n = first.value_or(1);
            if (n < 1 || n > 4000)
                throw ServerError(2717, 16, "The size (" + std::to_string(n) + ") given to the parameter '" +
                                                std::string(base->name) + "' exceeds the maximum allowed (4000).");
            type.length = 2 * n;
            type.precision = n;
            break;
        }
        case T::Decimal: {
            int p = first.value_or(18), s = second.value_or(0);
            if (p < 1 || p > 38 || s < 0 || s > p)
                throw ServerError(2750, 16, "Column or parameter #1: Specified column precision " + std::to_string(p) +
                                                " is greater than the maximum precision of 38.");
            type.length = decimalStorageBytes(p);
            type.precision = p;
            type.scale = s;
            break;
        }
    }
    return type;
}

ColumnType columnTypeFromCatalog(int xtype, int xusertype, int usertype, int length, int xprec, int xscale) {
    ColumnType type;
    type.base = findTypeByUserType(xusertype);
    if (!type.base) {
        // An alias type: its physical type, the alias kept for the catalog.
        type.base = findTypeByUserType(xtype);
        type.userTypeId = xusertype;
        type.legacyUserType = usertype;
    }
    if (!type.base) type.base = findType("int");
    type.length = length;
    type.precision = xprec;
    type.scale = xscale;
    if (type.base->shape == T::Sized) type.precision = length;
    if (type.base->shape == T::UnicodeSized || type.base->xusertype == 256) type.precision = length / 2;
    return type;
}

int legacyTypeCode(const ColumnType& t) {
    switch (t.base->sqlType) {
        case SqlType::TinyInt: case SqlType::SmallInt: case SqlType::Int: case SqlType::BigInt: return 38;
        case SqlType::Bit: return 50;
        case SqlType::Real: case SqlType::Float: return 109;
        case SqlType::Money: case SqlType::SmallMoney: return 110;
        case SqlType::DateTime: case SqlType::SmallDateTime: return 111;
        case SqlType::Decimal: return 106;
        case SqlType::Numeric: return 108;
        case SqlType::Char: case SqlType::NChar: return 47;
        case SqlType::VarChar: case SqlType::NVarChar: return 39;
        case SqlType::Binary: case SqlType::Timestamp: return 45;
        case SqlType::VarBinary: return 37;
        case SqlType::Text: case SqlType::NText: return 35;
        case SqlType::Image: return 34;
        default: return t.base->xtype;
    }
}

}  // namespace sandbox
