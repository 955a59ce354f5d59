#pragma once

#include <string>
#include <string_view>

#include "db/recordset.h"
#include "db/value.h"

namespace store {

// Kind codes of SQLValue.
inline constexpr int kSqlDate = 1;
inline constexpr int kSqlNumber = 2;
inline constexpr int kSqlText = 3;

// Stands for an apostrophe inside the text literals of data commands kept in the store.
inline constexpr std::string_view kApostropheMarker = "!39!";

// A literal is written for where its statement goes: SQLValue for statements run on the
// definitions store, SQLValueForServer for statements sent to SQL Server. The two differ
// only in how a text escapes an apostrophe: Jet's '+CHR(39)+' is no T-SQL (SQL Server
// answers it with 195, "'CHR' is not a recognized built-in function name.").

// The SQL literal of a value in a statement for the definitions store. Every form is the
// same whatever the process locale.
//   kind 3 (text): "null" for null or the empty text; otherwise the text form without
//     leading and trailing blanks, apostrophes escaped by Trtf, in apostrophes.
//     "  O'Neil " -> 'O'+CHR(39)+'Neil'      "   " -> ''
//   kind 2 (number): "null" for null or the empty text; a Boolean gives 1 or 0 (True is
//     no T-SQL literal); otherwise the text form with every "," made ".", unquoted.
//     -1.5 -> -1.5   decimal 1234.50 -> 1234.50   0.1 -> 0.1 (shortest round-trip form)
//   kind 1 (date-time): "null" for null or the empty text; a number is read as an OLE
//     Automation date, a text as a date-time ("yyyy-mm-dd[ hh:nn[:ss]]" or
//     "dd-mm-yyyy[ ...]", "/" also allowed); the time is rounded to the second; a year
//     before 1500 gives "null", any other
//     CONVERT(DATETIME,'2004-03-07 14:05:09',102).
//     Anything else (bytes, a text that is no date, a number out of the date range)
//     throws db::Error 13 (type mismatch) to the caller.
//   any other kind: the empty text.
std::string SQLValue(const db::Value& value, int kind);
std::string SQLValue(const db::Field& field, int kind);
std::string SQLValue(std::string_view text, int kind);

// SQLValue's literal appended to `out`, for texts built from many values (a kept data
// command): the same text, without a string of its own where none is needed.
void AppendSQLValue(std::string& out, const db::Value& value, int kind);

// The store literal of a text kept exactly as it is: SQLValue kind 3 without the trimming,
// for texts that are pieces of a longer one (source text the server keeps in chunks),
// whose blanks at the cut belong to the whole. "null" for null or the empty text.
//   "  O'Neil " -> '  O'+CHR(39)+'Neil '      "   " -> '   '
std::string SQLTextKeepingBlanks(const db::Value& value);

// The SQL literal of a value in a statement for SQL Server: SQLValue's rules for null,
// empty, trimming, numbers and dates, but a text doubles each apostrophe as T-SQL reads it,
// and one with letters outside the server's code page is an N literal, which keeps them.
//   "  O'Neil " -> 'O''Neil'      null or "" -> null      -1.5 (kind 2) -> -1.5
//   "tbΣύμβολα" -> N'tbΣύμβολα'   "Ação" -> 'Ação'
std::string SQLValueForServer(const db::Value& value, int kind);
std::string SQLValueForServer(const db::Field& field, int kind);
std::string SQLValueForServer(std::string_view text, int kind);

// The inside of a T-SQL text literal: each apostrophe doubled, nothing trimmed, for a
// text that goes between apostrophes as it is. Example: x'); DROP -> x''); DROP
std::string DoubleApostrophes(std::string_view text);

// How a T-SQL text literal of `text` opens: N' when the text has letters outside the
// server's code page (a plain literal would turn them into question marks), else '.
// Examples: Ação -> '   Σύμβολα -> N'
std::string_view ServerLiteralOpening(std::string_view text);

// A name in square brackets for a statement, each ']' inside doubled. The name is taken
// as it is, blanks included. Examples: tbX -> [tbX]; Customer Orders -> [Customer Orders];
// a]b -> [a]]b].
std::string BracketName(std::string_view name);

// A name for a statement that writes it without brackets: unchanged when T-SQL reads it
// as a regular identifier (a letter or '_' first, then letters, digits, '_', '@', '#' or
// '$'; any non-ASCII character counts as a letter), otherwise in brackets as BracketName
// writes them, since a blank, an apostrophe or a bracket would end the name or the
// statement. Reserved words are not looked for. Examples: IX_tbX_data -> IX_tbX_data;
// IX_tbO'Neil -> [IX_tbO'Neil]; vw Vendas -> [vw Vendas]; 2024 -> [2024].
std::string NameForStatement(std::string_view name);

// The text in small letters, as names are compared where letter case must not count:
// ASCII and Latin-1 letters ("ÁREA" -> "área"); other characters as they are.
std::string LowerCase(std::string_view text);

// The value's text form with every `find` character replaced by `replacement`; the empty
// text unless both are exactly one character. Example: ("1,2,3", ",", ".") -> "1.2.3".
std::string ReplaceChar(const db::Value& value, std::string_view find,
                        std::string_view replacement);

// Escapes apostrophes for the store: each ' becomes '+CHR(39)+' ; `text` receives the
// result too. Example: O'Neil -> O'+CHR(39)+'Neil. On an unexpected failure it reports to
// the error reporter (modCode, "Trtf") and returns the empty text; a failing reporter
// throws.
std::string Trtf(std::string& text);

// A text literal for a data command kept in the store: "null" for null or the empty
// text; otherwise the trimmed text form with each apostrophe as "!39!", in apostrophes.
// A "!39!" of the text itself is split over two literals, so that the replay does not
// take it for an apostrophe. Examples: a'b -> 'a!39!b'; a!39!b -> 'a!' + '39!b'.
std::string Transform(const db::Value& value);
// Transform's text appended to `out`; with `national`, an N literal (each piece of it):
// Ω!39!ς -> N'Ω!' + N'39!ς'.
void AppendTransform(std::string& out, const db::Value& value, bool national = false);
std::string Transform(const db::Field& field);

// A kept command made ready for SQL Server: every "!39!" becomes ' + CHAR(39) + ' , and
// inside an N literal ' + CHAR(39) + N' ; one inside a name in brackets or double quotes
// stays, as it is part of the name. Apostrophes, brackets and quotes inside comments
// (-- to the end of the line, /* */, nested) open nothing. The empty text and null give
// the empty text. Examples: 'a!39!b' -> 'a' + CHAR(39) + 'b'; N'Ω!39!ς' -> N'Ω' + CHAR(39)
// + N'ς'; [t!39!] -> [t!39!]; -- it's\n N'Ω!39!' -> -- it's\n N'Ω' + CHAR(39) + N''.
std::string DeTransform(const db::Value& value);
std::string DeTransform(std::string_view text);

// True when the record set has a field of that name, compared in capitals (Latin
// letters with their accents). On a failure (a closed record set: 3704) it reports to
// the error reporter (modData, "CheckField") and returns false; a failing reporter throws.
// Example: a field only_if_empty, asked ONLY_IF_EMPTY -> true.
bool CheckField(const db::Recordset& recordset, std::string_view fieldName);

// Whether a key value is a number for its SQL literal: numbers and Booleans are; a text
// is when, without its blanks, it is a plain decimal number: a sign, digits with at most
// one "." or "," and an exponent ("12", "-1,5", "1E3"); null, dates and bytes are not.
// A text such as "1.2.3" is not, so it stays a quoted literal.
bool IsNumeric(const db::Value& value);

// Each ' as "!39!": O'Neil -> O!39!Neil.
std::string MarkApostrophes(std::string_view text);

// Each "!39!" as ' (exact, left to right): it!39!s -> it's.
std::string UnmarkApostrophes(std::string_view text);

}  // namespace store
