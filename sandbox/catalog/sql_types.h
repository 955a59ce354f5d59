#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "api/engine.h"

namespace sandbox {

// How a type takes its size arguments in a column definition.
enum class TypeShape {
    Fixed,        // int, datetime, text ... : no arguments
    Sized,        // char(n), varbinary(n): n bytes
    UnicodeSized, // nchar(n), nvarchar(n): n characters, 2n bytes
    Decimal       // decimal(p, s), numeric(p, s)
};

// One built-in SQL Server 2000 type as systypes lists it.
struct BuiltinType {
    std::string_view name;
    int xtype;         // physical type code (systypes.xtype, syscolumns.xtype)
    int xusertype;     // equals xtype except for sysname (256)
    int length;        // systypes.length: bytes of the fixed types, 8000 for the sized ones
    int xprec;
    int xscale;
    int usertype;      // the legacy Sybase-era number (0 where SQL Server has none of its own)
    bool variable;     // variable-length type
    SqlType sqlType;   // what a result column of this type is on the wire
    TypeShape shape;
};

// The built-in types in systypes order (by xusertype).
const BuiltinType* builtinTypes(std::size_t& count);

// Looks a type up by name, ignoring case. Example: "NVarChar" -> nvarchar; "bogus" -> null.
const BuiltinType* findType(std::string_view name);

// Looks a type up by its user-type code (syscolumns.xusertype).
const BuiltinType* findTypeByUserType(int xusertype);

// A column's declared type: the base type with its length in bytes and precision/scale
// as syscolumns holds them. Example: nvarchar(50) -> length 100, precision 50.
struct ColumnType {
    const BuiltinType* base = nullptr;
    int length = 0;     // bytes (syscolumns.length)
    int precision = 0;  // xprec; characters for character types (syscolumns.prec)
    int scale = 0;      // xscale
    int userTypeId = 0;      // systypes.xusertype of an alias type (sp_addtype); 0 for a built-in type
    int legacyUserType = 0;  // systypes.usertype of that alias type

    // syscolumns.xusertype and usertype of a column of this type.
    int xusertype() const { return userTypeId ? userTypeId : base->xusertype; }
    int usertype() const { return userTypeId ? legacyUserType : base->usertype; }

    bool isCharacter() const;  // char, varchar, text and the Unicode forms
    bool isUnicode() const;
    bool isBinary() const;     // binary, varbinary, image, timestamp
    bool isLong() const;       // text, ntext, image
    bool isInteger() const;    // tinyint .. bigint, bit
    bool isExactNumeric() const;  // decimal, numeric, money, smallmoney
    bool isDateTime() const;
    // The declaration as T-SQL writes it: "varchar(50)", "decimal(10,2)", "int".
    std::string declaration() const;
};

// Builds a column type from a name and up to two size arguments; nullopt when the name is
// unknown. Missing sizes take SQL Server's defaults: varchar -> varchar(1), decimal ->
// decimal(18,0). Throws ServerError for sizes out of range.
std::optional<ColumnType> makeColumnType(std::string_view name, std::optional<int> first,
                                         std::optional<int> second);

// The column type of a syscolumns row. Example: xtype 231, xusertype 231, length 100 ->
// nvarchar(50); xtype 167, xusertype 257 (an alias type of varchar) -> varchar of that
// alias. usertype: the row's legacy usertype.
ColumnType columnTypeFromCatalog(int xtype, int xusertype, int usertype, int length, int xprec, int xscale);

// The legacy syscolumns.type / systypes.type byte: the TDS type code of the type's
// nullable form where one exists. Example: int -> 38 (INTN), varchar -> 39.
int legacyTypeCode(const ColumnType& type);

// The bytes needed by a decimal of this precision: 1-9 -> 5, 10-19 -> 9, 20-28 -> 13, else 17.
int decimalStorageBytes(int precision);

}  // namespace sandbox
