#include "structure/column_definition.h"

#include <charconv>
#include <optional>

#include "store/sql_value.h"

namespace structure {
namespace {

// The number a value stands for: numbers as they are, numeric text read as a number.
std::optional<double> numberOf(const db::Value& value) {
    if (value.isNumber()) return value.asDouble();
    if (value.kind() != db::Value::Kind::Text) return std::nullopt;
    const std::string& text = value.asText();
    double number = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return number;
}

}  // namespace

ColumnDefinition ColumnDefinition::fromRow(const db::Recordset& row) {
    ColumnDefinition column;
    column.tabela = row.field("tabela").value().toText();
    column.campo = row.field("campo").value().toText();
    column.tipo = row.field("tipo").value().toText();
    column.tamanho = row.field("tamanho").value();
    column.xprec = row.field("xprec").value();
    column.xscale = row.field("xscale").value();
    column.isnullable = row.field("isnullable").value();
    column.isidentity = row.field("isidentity").value();
    column.cdefault = row.field("cdefault").value();
    if (store::CheckField(row, "collation")) column.collation = row.field("collation").value();
    return column;
}

bool equalsOne(const db::Value& value) {
    const std::optional<double> number = numberOf(value);
    return number && *number == 1.0;
}

bool differs(const db::Value& stored, const db::Value& target) {
    if (stored.isNull() || target.isNull()) return false;
    const std::optional<double> storedNumber = numberOf(stored);
    const std::optional<double> targetNumber = numberOf(target);
    if (storedNumber && targetNumber) return *storedNumber != *targetNumber;
    return stored.toText() != target.toText();
}

}  // namespace structure
