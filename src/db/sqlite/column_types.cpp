#include "db/sqlite/column_types.h"

#include <array>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "db/ado_types.h"

namespace db::sqlite {
namespace {

// Sizes the Jet provider reports for its long fields.
constexpr long kMemoSize = 536870910;
constexpr long kLongBinarySize = 1073741823;

struct TypeName {
    std::string_view name;
    int adoType;
    long size;  // 0: the size in brackets, or 255
    int precision;
};

constexpr std::array<TypeName, 30> kTypeNames = {{
    {"TEXT", ado::kVarWChar, 0, 0},
    {"VARCHAR", ado::kVarWChar, 0, 0},
    {"NVARCHAR", ado::kVarWChar, 0, 0},
    {"CHAR", ado::kVarWChar, 0, 0},
    {"NCHAR", ado::kVarWChar, 0, 0},
    {"LONGTEXT", ado::kLongVarWChar, kMemoSize, 0},
    {"MEMO", ado::kLongVarWChar, kMemoSize, 0},
    {"NTEXT", ado::kLongVarWChar, kMemoSize, 0},
    {"CLOB", ado::kLongVarWChar, kMemoSize, 0},
    {"INTEGER", ado::kInteger, 4, 10},
    {"INT", ado::kInteger, 4, 10},
    {"LONG", ado::kInteger, 4, 10},
    {"SMALLINT", ado::kSmallInt, 2, 5},
    {"SHORT", ado::kSmallInt, 2, 5},
    {"BYTE", ado::kUnsignedTinyInt, 1, 3},
    {"TINYINT", ado::kUnsignedTinyInt, 1, 3},
    {"BIGINT", ado::kBigInt, 8, 19},
    {"BOOLEAN", ado::kBoolean, 2, 255},
    {"BIT", ado::kBoolean, 2, 255},
    {"YESNO", ado::kBoolean, 2, 255},
    {"DOUBLE", ado::kDouble, 8, 15},
    {"FLOAT", ado::kDouble, 8, 15},
    {"REAL", ado::kSingle, 4, 7},
    {"CURRENCY", ado::kCurrency, 8, 19},
    {"DECIMAL", ado::kNumeric, 19, 18},
    {"NUMERIC", ado::kNumeric, 19, 18},
    {"DATETIME", ado::kDate, 8, 0},
    {"DATE", ado::kDate, 8, 0},
    {"BLOB", ado::kLongVarBinary, kLongBinarySize, 0},
    {"LONGBINARY", ado::kLongVarBinary, kLongBinarySize, 0},
}};

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != b[i]) return false;
    }
    return true;
}

void applyDeclaredType(Column& column, std::string_view declared) {
    // "TEXT(255)" -> name "TEXT", size 255.
    const std::size_t bracket = declared.find('(');
    std::string_view name = declared.substr(0, bracket);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    long bracketSize = 0;
    if (bracket != std::string_view::npos)
        bracketSize = std::atol(std::string(declared.substr(bracket + 1)).c_str());
    for (const TypeName& t : kTypeNames) {
        if (!sameName(name, t.name)) continue;
        column.type = t.adoType;
        column.definedSize = t.size != 0 ? t.size : (bracketSize > 0 ? bracketSize : 255);
        column.precision = t.precision;
        return;
    }
}

int typeOfStored(int sqliteType, const Value& value) {
    switch (sqliteType) {
        case SQLITE_INTEGER: {
            const auto v = value.asInteger();
            const bool narrow = v >= std::numeric_limits<std::int32_t>::min() &&
                                v <= std::numeric_limits<std::int32_t>::max();
            return narrow ? ado::kInteger : ado::kBigInt;
        }
        case SQLITE_FLOAT:
            return ado::kDouble;
        case SQLITE_BLOB:
            return ado::kLongVarBinary;
        default:
            return ado::kVarWChar;
    }
}

int sqliteTypeOf(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Integer:
            return SQLITE_INTEGER;
        case Value::Kind::Double:
            return SQLITE_FLOAT;
        case Value::Kind::Bytes:
            return SQLITE_BLOB;
        default:
            return SQLITE_TEXT;
    }
}

void sizeFromType(Column& column) {
    switch (column.type) {
        case ado::kInteger:
            column.definedSize = 4;
            column.precision = 10;
            break;
        case ado::kBigInt:
        case ado::kDouble:
            column.definedSize = 8;
            column.precision = column.type == ado::kDouble ? 15 : 19;
            break;
        case ado::kLongVarBinary:
            column.definedSize = kLongBinarySize;
            break;
        default:
            column.definedSize = 255;
            break;
    }
}

}  // namespace

Column describeColumn(sqlite3_stmt* statement, int index) {
    Column column;
    const char* name = sqlite3_column_name(statement, index);
    column.name = name ? name : "";
    if (const char* declared = sqlite3_column_decltype(statement, index))
        applyDeclaredType(column, declared);
    return column;
}

void typeFromValues(std::vector<Column>& columns, const std::vector<std::vector<Value>>& rows) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (columns[c].type != ado::kEmpty) continue;
        columns[c].type = ado::kVarWChar;
        for (const auto& row : rows) {
            if (c < row.size() && !row[c].isNull()) {
                columns[c].type = typeOfStored(sqliteTypeOf(row[c]), row[c]);
                break;
            }
        }
        sizeFromType(columns[c]);
    }
}

Value readValue(sqlite3_stmt* statement, int index, const Column& column) {
    switch (sqlite3_column_type(statement, index)) {
        case SQLITE_NULL:
            return Value();
        case SQLITE_INTEGER: {
            const sqlite3_int64 v = sqlite3_column_int64(statement, index);
            if (column.type == ado::kBoolean) return Value::boolean(v != 0);
            return Value::integer(v);
        }
        case SQLITE_FLOAT: {
            const double v = sqlite3_column_double(statement, index);
            if (column.type == ado::kBoolean) return Value::boolean(v != 0.0);
            return Value::real(v);
        }
        case SQLITE_BLOB: {
            const auto* data =
                static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, index));
            const int size = sqlite3_column_bytes(statement, index);
            return Value::bytes(data ? Bytes(data, data + size) : Bytes());
        }
        default: {
            const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
            const int size = sqlite3_column_bytes(statement, index);
            std::string text =
                data ? std::string(data, static_cast<std::size_t>(size)) : std::string();
            if (column.type == ado::kDate) {
                if (auto dt = DateTime::parse(text)) return Value::dateTime(*dt);
            }
            return Value::text(std::move(text));
        }
    }
}

void readRow(sqlite3_stmt* statement, const std::vector<Column>& columns, std::vector<Value>& row) {
    row.resize(columns.size());
    for (std::size_t c = 0; c < columns.size(); ++c)
        row[c] = readValue(statement, static_cast<int>(c), columns[c]);
}

}  // namespace db::sqlite
