#include "store/sql_value.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <new>
#include <optional>

#include "db/error.h"
#include "db/text_encoding.h"
#include "report/error_reporter.h"

namespace store {
namespace {

// OLE Automation dates cover 1 January 100 to 31 December 9999.
constexpr double kFirstOleDate = -657434.0;
constexpr double kAfterLastOleDate = 2958466.0;

// 'inner' built by appending: GCC 12 misreports "'" + std::string + "'" under -O3
// (-Wrestrict, GCC bug 105329).
std::string quoted(std::string_view inner) {
    std::string out;
    out.reserve(inner.size() + 2);
    out += '\'';
    out += inner;
    out += '\'';
    return out;
}

bool isNullOrEmpty(const db::Value& value) {
    switch (value.kind()) {
        case db::Value::Kind::Null:
            return true;
        case db::Value::Kind::Text:
            return value.asText().empty();
        case db::Value::Kind::Bytes:
            return value.asBytes().empty();
        default:
            return false;
    }
}

// Removes leading and trailing blanks (spaces only, not tabs or line breaks).
std::string_view trimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string replaceAll(std::string_view text, std::string_view find, std::string_view replacement) {
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(find, from)) != std::string_view::npos;
         from = at + find.size()) {
        out.append(text, from, at - from);
        out += replacement;
    }
    out.append(text, from, std::string_view::npos);
    return out;
}

// Appends `text` to `out` with each `find` character replaced by `replacement`.
void appendReplacing(std::string& out, std::string_view text, char find, std::string_view replacement) {
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(find, from)) != std::string_view::npos; from = at + 1) {
        out.append(text, from, at - from);
        out += replacement;
    }
    out.append(text, from, std::string_view::npos);
}

// The value's text form, without a copy when it is a text already.
std::string_view textOf(const db::Value& value, std::string& scratch) {
    if (value.kind() == db::Value::Kind::Text) return value.asText();
    scratch = value.toText();
    return scratch;
}

std::size_t codePoints(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// Rounds to the nearest second, as OLE Automation does when it formats a date.
// Example: 1999-12-31 23:59:59.600 -> 2000-01-01 00:00:00.
db::DateTime roundToSecond(db::DateTime dt) {
    const bool up = dt.millisecond >= 500;
    dt.millisecond = 0;
    if (!up) return dt;
    if (++dt.second < 60) return dt;
    dt.second = 0;
    if (++dt.minute < 60) return dt;
    dt.minute = 0;
    if (++dt.hour < 24) return dt;
    dt.hour = 0;
    if (++dt.day <= daysInMonth(dt.year, dt.month)) return dt;
    dt.day = 1;
    if (++dt.month <= 12) return dt;
    dt.month = 1;
    ++dt.year;
    return dt;
}

// "07-03-2004 14:05" or "7/3/2004" (day first, as the Portuguese short date) in the ISO
// form DateTime::parse reads: "2004-03-07 14:05".
std::optional<std::string> dayFirstAsIso(std::string_view text) {
    int parts[3] = {0, 0, 0};
    std::size_t pos = 0;
    for (int p = 0; p < 3; ++p) {
        const std::size_t start = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 4) {
            parts[p] = parts[p] * 10 + (text[pos] - '0');
            ++pos;
        }
        const std::size_t digits = pos - start;
        if (digits == 0 || (p < 2 && digits > 2) || (p == 2 && digits != 4)) return std::nullopt;
        if (p < 2) {
            if (pos >= text.size() || (text[pos] != '-' && text[pos] != '/')) return std::nullopt;
            ++pos;
        }
    }
    char iso[16];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", parts[2], parts[1], parts[0]);
    return std::string(iso) + std::string(text.substr(pos));
}

db::DateTime toDateTime(const db::Value& value) {
    switch (value.kind()) {
        case db::Value::Kind::DateTime:
            return value.asDateTime();
        case db::Value::Kind::Integer:
        case db::Value::Kind::Double:
        case db::Value::Kind::Decimal:
        case db::Value::Kind::Boolean: {
            const double ole = value.asDouble();
            if (!std::isfinite(ole) || ole < kFirstOleDate || ole >= kAfterLastOleDate)
                throw db::typeMismatchError();
            return db::DateTime::fromOleDate(ole);
        }
        case db::Value::Kind::Text: {
            const std::string_view text = trimBlanks(value.asText());
            if (auto dt = db::DateTime::parse(text)) return *dt;
            if (auto iso = dayFirstAsIso(text)) {
                if (auto dt = db::DateTime::parse(*iso)) return *dt;
            }
            throw db::typeMismatchError();
        }
        default:
            throw db::typeMismatchError();
    }
}

std::string dateLiteral(const db::Value& value) {
    const db::DateTime dt = roundToSecond(toDateTime(value));
    if (dt.year < 1500) return "null";
    return "CONVERT(DATETIME,'" + db::formatDateTime(dt) + "',102)";
}

std::string numberLiteral(const db::Value& value) {
    if (value.kind() == db::Value::Kind::Boolean) return value.asBoolean() ? "1" : "0";
    return ReplaceChar(value, ",", ".");
}

// Runs `body`; an error inside it is reported for `procedure` of `module` and `fallback`
// returned instead. An error of the reporter itself leaves through the catch handler.
template <typename Result, typename Body>
Result reportingErrors(const report::ReportingModule& module, const char* procedure, Result fallback,
                       Body&& body) {
    try {
        return body();
    } catch (const db::Error& e) {
        report::reportUnexpectedError(module, procedure, e.number(), e.description());
    } catch (const std::bad_alloc&) {
        report::reportUnexpectedError(module, procedure, 7, "Out of memory");
    }
    return fallback;
}

// Trtf's work done on `text` itself; false, `text` emptied, when it failed (and was
// reported).
bool trtfInPlace(std::string& text) {
    const bool done = reportingErrors<bool>(report::kModCode, "Trtf", false, [&] {
        if (text.find('\'') != std::string::npos) text = replaceAll(text, "'", "'+CHR(39)+'");
        return true;
    });
    if (!done) text.clear();
    return done;
}

// SQLValue's text literal of a text that is neither null nor empty.
std::string textLiteral(std::string_view value) {
    std::string text(trimBlanks(value));
    trtfInPlace(text);
    return quoted(text);
}

// SQLValueForServer's text literal of a text that is neither null nor empty.
std::string serverTextLiteral(std::string_view value) {
    std::string out;
    const std::string_view text = trimBlanks(value);
    out.reserve(text.size() + 3);
    out += ServerLiteralOpening(text);
    appendReplacing(out, text, '\'', "''");
    out += '\'';
    return out;
}

// The UTF-8 text with its ASCII and Latin-1 letters in capitals or in small letters
// ("ação" <-> "AÇÃO"); other characters as they are.
std::string changeCase(std::string_view text, bool toCapitals) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (toCapitals && c >= 'a' && c <= 'z') {
            out += static_cast<char>(c - 'a' + 'A');
        } else if (!toCapitals && c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c - 'A' + 'a');
        } else if (c == 0xC3 && i + 1 < text.size()) {
            // U+00C0..U+00DE (capitals, except U+00D7) are C3 80..C3 9E; U+00E0..U+00FE
            // (small letters, except U+00F7) are C3 A0..C3 BE, 0x20 higher.
            const auto next = static_cast<unsigned char>(text[i + 1]);
            out += text[i];
            if (toCapitals && next >= 0xA0 && next <= 0xBE && next != 0xB7) {
                out += static_cast<char>(next - 0x20);
            } else if (!toCapitals && next >= 0x80 && next <= 0x9E && next != 0x97) {
                out += static_cast<char>(next + 0x20);
            } else {
                out += static_cast<char>(next);
            }
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string upperName(std::string_view name) { return changeCase(name, true); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string SQLValue(const db::Value& value, int kind) {
    if (kind != kSqlDate && kind != kSqlNumber && kind != kSqlText) return {};
    if (isNullOrEmpty(value)) return "null";
    std::string scratch;
    switch (kind) {
        case kSqlText:
            return textLiteral(textOf(value, scratch));
        case kSqlNumber:
            return numberLiteral(value);
        default:
            return dateLiteral(value);
    }
}

std::string SQLValue(const db::Field& field, int kind) { return SQLValue(field.value(), kind); }

std::string SQLValue(std::string_view text, int kind) {
    if (kind == kSqlText) return text.empty() ? "null" : textLiteral(text);
    return SQLValue(db::Value::text(std::string(text)), kind);
}

void AppendSQLValue(std::string& out, const db::Value& value, int kind) {
    if (kind == kSqlNumber && value.kind() == db::Value::Kind::Integer) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value.asInteger()).ptr;
        out.append(digits, end);
        return;
    }
    out += SQLValue(value, kind);
}

std::string SQLTextKeepingBlanks(const db::Value& value) {
    if (isNullOrEmpty(value)) return "null";
    std::string text = value.toText();
    return quoted(Trtf(text));
}

std::string SQLValueForServer(const db::Value& value, int kind) {
    if (kind != kSqlText || isNullOrEmpty(value)) return SQLValue(value, kind);
    std::string scratch;
    return serverTextLiteral(textOf(value, scratch));
}

std::string SQLValueForServer(const db::Field& field, int kind) {
    return SQLValueForServer(field.value(), kind);
}

std::string SQLValueForServer(std::string_view text, int kind) {
    if (kind == kSqlText) return text.empty() ? "null" : serverTextLiteral(text);
    return SQLValueForServer(db::Value::text(std::string(text)), kind);
}

std::string DoubleApostrophes(std::string_view text) { return replaceAll(text, "'", "''"); }

std::string_view ServerLiteralOpening(std::string_view text) { return db::fitsWindows1252(text) ? "'" : "N'"; }

std::string NameForStatement(std::string_view name) {
    auto letter = [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
    };
    bool regular = !name.empty() && letter(static_cast<unsigned char>(name.front()));
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        regular = regular && (letter(c) || isDigit(ch) || c == '@' || c == '#' || c == '$');
    }
    return regular ? std::string(name) : BracketName(name);
}

std::string LowerCase(std::string_view text) { return changeCase(text, false); }

std::string BracketName(std::string_view name) {
    std::string out;
    out.reserve(name.size() + 2);
    out += '[';
    out += replaceAll(name, "]", "]]");
    out += ']';
    return out;
}

std::string ReplaceChar(const db::Value& value, std::string_view find,
                        std::string_view replacement) {
    if (codePoints(find) != 1 || codePoints(replacement) != 1) return {};
    // One whole UTF-8 sequence never matches inside another, so a plain search is exact.
    return replaceAll(value.toText(), find, replacement);
}

std::string Trtf(std::string& text) { return trtfInPlace(text) ? text : std::string(); }

void AppendTransform(std::string& out, const db::Value& value, bool national) {
    if (isNullOrEmpty(value)) {
        out += "null";
        return;
    }
    std::string scratch;
    const std::string_view text = trimBlanks(textOf(value, scratch));
    const std::string_view reopen = national ? "' + N'" : "' + '";
    if (national) out += 'N';
    out += '\'';
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\'') {
            out += kApostropheMarker;
            continue;
        }
        out += text[i];
        // A "!" that the replay would read as the start of a marker (the text's own
        // "!39!", or "!39" before an apostrophe) ends the literal, which reopens at once.
        const std::string_view rest = text.substr(i + 1);
        if (text[i] == '!' && rest.size() >= 3 && rest.substr(0, 2) == "39" && (rest[2] == '!' || rest[2] == '\''))
            out += reopen;
    }
    out += '\'';
}

std::string Transform(const db::Value& value) {
    std::string out;
    AppendTransform(out, value);
    return out;
}

std::string Transform(const db::Field& field) { return Transform(field.value()); }

std::string DeTransform(const db::Value& value) {
    // Null has no text form; it gives the empty text like the empty text does.
    if (value.isNull()) return {};
    return DeTransform(value.toText());
}

namespace {

// Whether a byte can belong to a T-SQL name written without brackets (a UTF-8 letter's
// bytes included).
bool isNameByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || u >= 0x80 || c == '_' || c == '@' || c == '#' || c == '$';
}

}  // namespace

std::string DeTransform(std::string_view text) {
    if (text.find(kApostropheMarker) == std::string_view::npos) return std::string(text);
    // The literal reopened after the apostrophe keeps the N of an N literal, so that the
    // rest of a wide value is not read in the server's code page. The scan knows names in
    // brackets or double quotes, literals and comments, so that an apostrophe, bracket or
    // quote inside one of them cannot make it misread what follows.
    enum class Inside { Code, Name, QuotedName, Literal, LineComment, BlockComment };
    Inside inside = Inside::Code;
    int commentDepth = 0;  // block comments nest in T-SQL
    bool national = false;
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (std::size_t i = 0; i < text.size();) {
        // A name in brackets or double quotes is written as it is, never through
        // Transform: a marker there is part of the name.
        if (inside != Inside::Name && inside != Inside::QuotedName &&
            text.substr(i, kApostropheMarker.size()) == kApostropheMarker) {
            out += inside == Inside::Literal && national ? "' + CHAR(39) + N'" : "' + CHAR(39) + '";
            i += kApostropheMarker.size();
            continue;
        }
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        std::size_t width = 1;
        switch (inside) {
            case Inside::Code:
                if (c == '[') {
                    inside = Inside::Name;
                } else if (c == '"') {
                    inside = Inside::QuotedName;
                } else if (c == '\'') {
                    inside = Inside::Literal;
                    national = i > 0 && (text[i - 1] == 'N' || text[i - 1] == 'n') &&
                               (i < 2 || !isNameByte(text[i - 2]));
                } else if (c == '-' && next == '-') {
                    inside = Inside::LineComment;
                    width = 2;
                } else if (c == '/' && next == '*') {
                    inside = Inside::BlockComment;
                    commentDepth = 1;
                    width = 2;
                }
                break;
            case Inside::Name:
            case Inside::QuotedName:
            case Inside::Literal: {
                const char close = inside == Inside::Name         ? ']'
                                   : inside == Inside::QuotedName ? '"'
                                                                  : '\'';
                if (c == close) {
                    if (next == close) {
                        width = 2;  // a doubled closing character is part of the text
                    } else {
                        inside = Inside::Code;
                    }
                }
                break;
            }
            case Inside::LineComment:
                if (c == '\n' || c == '\r') inside = Inside::Code;
                break;
            case Inside::BlockComment:
                if (c == '/' && next == '*') {
                    ++commentDepth;
                    width = 2;
                } else if (c == '*' && next == '/') {
                    if (--commentDepth == 0) inside = Inside::Code;
                    width = 2;
                }
                break;
        }
        out.append(text.substr(i, width));
        i += width;
    }
    return out;
}

bool CheckField(const db::Recordset& recordset, std::string_view fieldName) {
    return reportingErrors<bool>(report::kModData, "CheckField", false, [&] {
        const std::string wanted = upperName(fieldName);
        for (const db::Column& column : recordset.columns()) {
            if (upperName(column.name) == wanted) return true;
        }
        return false;
    });
}

bool IsNumeric(const db::Value& value) {
    if (value.isNumber()) return true;
    if (value.kind() != db::Value::Kind::Text) return false;
    const std::string_view text = trimBlanks(value.asText());
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    bool separator = false;
    for (; i < text.size(); ++i) {
        if (isDigit(text[i])) {
            ++digits;
        } else if ((text[i] == '.' || text[i] == ',') && !separator) {
            separator = true;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        const std::size_t start = i;
        while (i < text.size() && isDigit(text[i])) ++i;
        if (i == start) return false;
    }
    return i == text.size();
}

std::string MarkApostrophes(std::string_view text) {
    return replaceAll(text, "'", kApostropheMarker);
}

std::string UnmarkApostrophes(std::string_view text) {
    return replaceAll(text, kApostropheMarker, "'");
}

}  // namespace store
