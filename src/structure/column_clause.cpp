#include "structure/column_clause.h"

#include <array>
#include <cmath>
#include <string>

#include "store/sql_value.h"

namespace structure {
namespace {

constexpr std::array kLengthTypes = {"binary", "char", "varbinary", "varchar"};
constexpr std::array kUnicodeLengthTypes = {"nchar", "nvarchar"};
constexpr std::array kPrecisionTypes = {"decimal", "numeric"};
constexpr std::array kCollatedTypes = {"ntext", "text", "char", "varchar", "nchar", "nvarchar"};
constexpr std::array kCharacterTypes = {"char", "varchar", "nchar", "nvarchar"};
constexpr std::array kEmptyTextDefaultTypes = {"nchar", "nvarchar", "binary", "char",
                                               "varbinary", "varchar", "ntext", "text"};

template <std::size_t N>
bool isOneOf(std::string_view tipo, const std::array<const char*, N>& names) {
    for (const char* name : names) {
        if (tipo == name) return true;
    }
    return false;
}

std::string formatWhole(double number) {
    if (std::floor(number) == number && std::fabs(number) < 1e15) {
        return std::to_string(static_cast<long long>(number));
    }
    return db::formatDouble(number);
}

}  // namespace

std::string plainNumber(const db::Value& value) {
    switch (value.kind()) {
        case db::Value::Kind::Integer:
            return std::to_string(value.asInteger());
        case db::Value::Kind::Double:
        case db::Value::Kind::Decimal:
            return formatWhole(value.asDouble());
        default:
            return value.toText();
    }
}

std::string nameAndTypePart(const ColumnDefinition& column) {
    // Appended piece by piece: a literal followed by a temporary string ("x" + f()) makes
    // GCC 12 at -O3 warn of an overlapping copy inside the insertion, which cannot happen.
    std::string head = " ";
    head.append(store::BracketName(column.campo)).append(" ").append(store::BracketName(column.tipo)).append(" ");
    if (isOneOf(column.tipo, kLengthTypes)) return head + "(" + plainNumber(column.tamanho) + ") ";
    if (isOneOf(column.tipo, kUnicodeLengthTypes)) {
        const std::string characters = column.tamanho.isNumber()
                                           ? formatWhole(column.tamanho.asDouble() / 2)
                                           : plainNumber(column.tamanho);
        return head + "(" + characters + ") ";
    }
    if (isOneOf(column.tipo, kPrecisionTypes)) {
        return head + "(" + plainNumber(column.xprec) + "," + plainNumber(column.xscale) + ") ";
    }
    // bigint, bit, datetime, float, image, int, money, ntext, real, smalldatetime,
    // smallint, smallmoney, sql_variant, text, timestamp, tinyint, uniqueidentifier, and
    // any other name.
    return head;
}

bool takesCollation(std::string_view tipo) { return isOneOf(tipo, kCollatedTypes); }

bool isCharacterType(std::string_view tipo) { return isOneOf(tipo, kCharacterTypes); }

namespace {

// Name and type, then COLLATE and IDENTITY where they apply: the common start of the
// CREATE TABLE and ADD clauses.
std::string clauseHead(const ColumnDefinition& column) {
    std::string clause = nameAndTypePart(column);
    if (takesCollation(column.tipo)) clause += " COLLATE Latin1_General_CI_AI ";
    if (equalsOne(column.isidentity)) clause += " IDENTITY (1, 1) ";
    return clause;
}

}  // namespace

std::string createColumnClause(const ColumnDefinition& column) {
    return clauseHead(column) + (equalsOne(column.isnullable) ? " NULL " : " NOT NULL ");
}

std::string synthesizedDefaultPart(std::string_view tipo) {
    return isOneOf(tipo, kEmptyTextDefaultTypes) ? " NOT NULL DEFAULT ('')" : " NOT NULL DEFAULT (0)";
}

AddClause addColumnClause(const ColumnDefinition& column) {
    AddClause clause{clauseHead(column), false};
    if (equalsOne(column.isnullable)) {
        clause.text += " NULL ";
    } else if (!column.cdefault.isNull()) {
        clause.text += " NOT NULL DEFAULT (" + column.cdefault.toText() + ")";
    } else {
        clause.text += synthesizedDefaultPart(column.tipo);
        clause.synthesizedDefault = true;
    }
    return clause;
}

}  // namespace structure
