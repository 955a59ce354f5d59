#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/recordset.h"

// The data command of a captured row: the T-SQL INSERT that the upgrade replays on a
// target, kept in the store with "!39!" in place of every apostrophe inside its texts.
namespace capture {

// Written in a data command in place of a binary value; the value itself travels in
// tbDados_Gigantic.
inline constexpr std::string_view kBinaryPlaceholder = "'BINARYUPDATE1E10414936DE'";

// A value of more than this many bytes is a large field.
inline constexpr long kLargeFieldBytes = 7998;

// Whether a type code is one of the binary types (binary, varbinary, image).
bool isBinaryType(int adoType);

// Appends a field's value as the command writes it, chosen by the field's type code:
// numbers (and Booleans, as 1 or 0) through SQLValue kind 2, dates through kind 1, texts
// through Transform, binaries as the placeholder, anything else as its text form.
// Examples: int 7 -> 7; datetime 2004-03-07 14:05:09 ->
// CONVERT(DATETIME,'2004-03-07 14:05:09',102); a date in 1499 -> null;
// varchar O'Neil -> 'O!39!Neil'; null text -> null; image -> 'BINARYUPDATE1E10414936DE'.
// A wide text (nchar, nvarchar, ntext) with letters outside the server's code page is an
// N literal: nvarchar Ωμέγα'ς -> N'Ωμέγα!39!ς'.
// A date field whose value is no date throws db::Error 13.
void appendDataCommandValue(std::string& command, const db::Field& field);

// A binary field, whatever its size, or one whose value holds more than 7998 bytes.
bool isLargeField(const db::Field& field);

// The command up to its values: INSERT INTO tbX (id, nome, data) VALUES (
// (names as store::NameForStatement writes them).
std::string dataCommandHead(std::string_view tableName, const std::vector<db::Column>& columns);

// A command for a table with an identity column, made to insert its value explicitly:
// SET IDENTITY_INSERT tbX ON INSERT INTO tbX ... )  SET IDENTITY_INSERT tbX OFF
// (two blanks before the second SET, one at the very end; the name as
// store::NameForStatement writes it).
std::string withIdentityInsert(std::string_view tableName, std::string_view command);

// A long text as tbDados_Gigantic keeps it: without its leading and trailing blanks,
// every apostrophe as "!39!". Example: "  it's " -> it!39!s
std::string giganticText(const db::Value& value);

}  // namespace capture
