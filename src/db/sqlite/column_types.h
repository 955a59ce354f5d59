#pragma once

#include <string>
#include <vector>

#include <sqlite3.h>

#include "db/recordset.h"
#include "db/value.h"

namespace db::sqlite {

// The column a result column of `statement` reports: its name and, from its declared
// type, the ADO type code and size the Jet provider reports for that kind of field.
// Examples: TEXT(255) -> adVarWChar (202), size 255; LONGTEXT -> adLongVarWChar (203);
// INTEGER -> adInteger (3); BOOLEAN -> adBoolean (11); BLOB -> adLongVarBinary (205);
// DOUBLE -> adDouble (5). An expression (Max(ID)) has no declared type: its type stays
// adEmpty (0) until typeFromValues() settles it.
Column describeColumn(sqlite3_stmt* statement, int index);

// Gives every column still typed adEmpty the type of its first non-null value in
// `rows`: integers adInteger (adBigInt beyond 32 bits), reals adDouble, text adVarWChar,
// blobs adLongVarBinary; a column with no value at all adVarWChar.
void typeFromValues(std::vector<Column>& columns, const std::vector<std::vector<Value>>& rows);

// The value of column `index` of the current row, read as a field of `column`'s type:
// a Boolean field gives a Boolean (any non-zero number is true), a date field stored as
// "yyyy-mm-dd hh:nn:ss" text gives a date-time; otherwise integer, double, text or bytes
// as stored.
Value readValue(sqlite3_stmt* statement, int index, const Column& column);

// Reads the whole current row.
void readRow(sqlite3_stmt* statement, const std::vector<Column>& columns, std::vector<Value>& row);

}  // namespace db::sqlite
