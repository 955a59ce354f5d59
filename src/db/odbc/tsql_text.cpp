#include "db/odbc/tsql_text.h"

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

std::string literalFor(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Null:
            return "NULL";
        case Value::Kind::Bytes: {
            static constexpr char kHex[] = "0123456789ABCDEF";
            const Bytes& bytes = value.asBytes();
            std::string out;
            out.reserve(2 + 2 * bytes.size());
            out += "0x";
            for (std::uint8_t b : bytes) {
                out += kHex[b >> 4];
                out += kHex[b & 0x0F];
            }
            return out;
        }
        default: {
            const std::string text = value.toText();
            std::string out;
            out.reserve(text.size() + 3);
            out += "N'";
            for (char c : text) {
                out += c;
                if (c == '\'') out += '\'';
            }
            out += '\'';
            return out;
        }
    }
}

std::string longValueUpdate(std::string_view table, std::string_view keyColumn,
                            std::string_view keyLiteral, std::string_view field,
                            const Value& value) {
    return "UPDATE " + bracketName(table) + " SET " + bracketName(field) + " = " +
           literalFor(value) + " WHERE " + bracketName(keyColumn) + " = " + std::string(keyLiteral);
}

}  // namespace db::odbc
