#include "db/odbc/tsql_text.h"

#include <algorithm>
#include <cstdint>

namespace db::odbc {

std::string bracketName(std::string_view name) {
    std::string out = "[";
    for (char c : name) {
        out += c;
        if (c == ']') out += ']';
    }
    out += ']';
    return out;
}

namespace {

// The text form of a value that is no bytes and no null, without a copy for a text.
std::string_view textOf(const Value& value, std::string& converted) {
    if (value.kind() == Value::Kind::Text) return value.asText();
    converted = value.toText();
    return converted;
}

// The size of literalFor(value), counted without building it.
std::size_t literalSize(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Null:
            return 4;
        case Value::Kind::Bytes:
            return 2 + 2 * value.asBytes().size();
        default: {
            std::string converted;
            const std::string_view text = textOf(value, converted);
            return text.size() + 3 + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\''));
        }
    }
}

// Appends literalFor(value) to `out`.
void appendLiteral(std::string& out, const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Null:
            out += "NULL";
            return;
        case Value::Kind::Bytes: {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "0x";
            for (std::uint8_t b : value.asBytes()) {
                out += kHex[b >> 4];
                out += kHex[b & 0x0F];
            }
            return;
        }
        default: {
            std::string converted;
            out += "N'";
            for (char c : textOf(value, converted)) {
                out += c;
                if (c == '\'') out += '\'';
            }
            out += '\'';
            return;
        }
    }
}

}  // namespace

std::string literalFor(const Value& value) {
    std::string out;
    out.reserve(literalSize(value));
    appendLiteral(out, value);
    return out;
}

// Built in one buffer of its final size: the literal of a long value is the bulk of the
// batch, and is written once instead of being copied by each concatenation.
std::string longValueUpdate(std::string_view table, std::string_view keyColumn,
                            std::string_view keyLiteral, std::string_view field,
                            const Value& value) {
    const std::string head = "UPDATE " + bracketName(table) + " SET " + bracketName(field) + " = ";
    const std::string tail = " WHERE " + bracketName(keyColumn) + " = " + std::string(keyLiteral);
    std::string out;
    out.reserve(head.size() + literalSize(value) + tail.size());
    out += head;
    appendLiteral(out, value);
    out += tail;
    return out;
}

}  // namespace db::odbc
