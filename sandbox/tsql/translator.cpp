#include "tsql/translator.h"

#include <algorithm>
#include <array>

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "db/text_encoding.h"
#include "tsql/variables.h"

namespace sandbox::tsql {
namespace {

using sqlite::quoteIdentifier;
using sqlite::quoteLiteral;

constexpr std::array<std::string_view, 76> kFunctions = {
    "count", "count_big", "sum", "avg", "min", "max", "getdate", "getutcdate", "substring", "left", "right",
    "len", "datalength", "upper", "lower", "ltrim", "rtrim", "replace", "charindex", "char", "nchar", "ascii",
    "unicode", "space", "replicate", "reverse", "isnull", "coalesce", "nullif", "abs", "round", "floor",
    "ceiling", "power", "sqrt", "sign", "newid", "year", "month", "day", "datepart", "datename", "dateadd", "datediff",
    "db_name", "db_id", "user_name", "user_id", "suser_sname", "suser_name", "system_user", "current_user",
    "session_user", "user", "current_timestamp", "host_name", "app_name", "object_id", "object_name",
    "isnumeric", "scope_identity", "ident_current", "ident_seed", "ident_incr", "col_name", "str", "square",
    "stuff", "patindex", "objectproperty", "columnproperty", "serverproperty", "databaseproperty",
    "databasepropertyex", "update", "indexproperty"};

// A value looked up in a catalog table, in a subquery whose names cannot capture those
// of the query around it: its derived table's columns and alias are "~" names, so that
// OBJECT_NAME(id) FROM syscolumns compares the outer row's id.
// Example: ("sysobjects", "name", {{"id", "\"id\""}}) -> (SELECT "~r"."~name" FROM (SELECT
// name AS "~name", id AS "~id" FROM sysobjects) AS "~r" WHERE "~r"."~id" = "id").
std::string catalogLookup(std::string_view table, const std::string& result,
                          const std::vector<std::pair<std::string, std::string>>& conditions) {
    std::string columns = result + " AS " + quoteIdentifier("~" + result);
    std::string where;
    for (const auto& [column, value] : conditions) {
        columns += ", " + column + " AS " + quoteIdentifier("~" + column);
        where += (where.empty() ? "" : " AND ") + std::string("\"~r\".") + quoteIdentifier("~" + column) + " = " + value;
    }
    return "(SELECT \"~r\"." + quoteIdentifier("~" + result) + " FROM (SELECT " + columns + " FROM " +
           std::string(table) + ") AS \"~r\" WHERE " + where + ")";
}

ColumnType typeOf(std::string_view name, std::optional<int> a = std::nullopt, std::optional<int> b = std::nullopt) {
    return *makeColumnType(name, a, b);
}

bool isCharacterType(const std::optional<ColumnType>& t) { return t && t->isCharacter(); }
bool isNumberType(const std::optional<ColumnType>& t) {
    if (!t) return false;
    switch (t->base->sqlType) {
        case SqlType::TinyInt: case SqlType::SmallInt: case SqlType::Int: case SqlType::BigInt: case SqlType::Bit:
        case SqlType::Real: case SqlType::Float: case SqlType::Decimal: case SqlType::Numeric:
        case SqlType::Money: case SqlType::SmallMoney: return true;
        default: return false;
    }
}

// The last part of an object name written in a literal: 'dbo.[tbX]' -> tbX.
std::string objectNameFromLiteral(std::string text) {
    std::size_t dot = text.rfind('.');
    if (dot != std::string::npos) text = text.substr(dot + 1);
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
    return text;
}

// The bytes a 0x literal spells, a leading 0 understood when its digits are odd.
// Example: "1AB" -> {0x01, 0xAB}.
std::string bytesOfHex(const std::string& hex) {
    auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::string bytes;
    bytes.reserve((hex.size() + 1) / 2);
    std::size_t i = 0;
    if (hex.size() % 2) bytes += static_cast<char>(digit(hex[i++]));
    for (; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
    return bytes;
}

std::optional<ColumnType> varcharOfUnknownLength() {
    ColumnType t = typeOf("varchar", 1);
    t.length = 0;  // decided from the data
    return t;
}

}  // namespace

bool isBuiltinFunction(std::string_view lowerName) {
    for (auto f : kFunctions)
        if (f == lowerName) return true;
    return false;
}

std::string versionText() {
    return "Microsoft SQL Server  2000 - 8.00.2039 (Intel X86) \n\tMay  3 2005 23:18:38 \n\tCopyright (c) 1988-2003 "
           "Microsoft Corporation\n\tStandard Edition on Windows NT 5.2 (Build 3790: Service Pack 2)\n";
}

std::string Translator::constant(Constant value) {
    m_constants->push_back(std::move(value));
    return "?" + std::to_string(m_constants->size());
}

Translated Translator::variable(const Expr& e) {
    const Variable* v = m_context.variables ? m_context.variables->find(e.text) : nullptr;
    if (!v) throw ServerError(137, 15, "Must declare the variable '" + e.text + "'.", 2, ErrorScope::Batch);
    Translated out;
    out.type = v->type;
    const StoredValue& value = v->value;
    Constant c;
    switch (value.kind) {
        case StoredValue::Kind::Null: out.sql = "NULL"; return out;
        case StoredValue::Kind::Integer:
            c.kind = Constant::Kind::Integer;
            c.integer = value.integer;
            if (!m_constants) out.sql = std::to_string(value.integer);
            break;
        case StoredValue::Kind::Real:
            c.kind = Constant::Kind::Real;
            c.real = value.real;
            if (!m_constants) {
                char buf[40];
                std::snprintf(buf, sizeof buf, "%.17g", value.real);
                out.sql = buf;
                if (out.sql.find_first_of(".eEn") == std::string::npos) out.sql += ".0";
            }
            break;
        case StoredValue::Kind::Text:
            c.kind = Constant::Kind::Text;
            c.value = value.bytes;
            if (!m_constants) out.sql = quoteLiteral(value.bytes);
            break;
        case StoredValue::Kind::Blob: {
            c.kind = Constant::Kind::Blob;
            c.value = value.bytes;
            if (!m_constants) {
                static const char* hex = "0123456789ABCDEF";
                out.sql = "x'";
                for (unsigned char b : value.bytes) {
                    out.sql += hex[b >> 4];
                    out.sql += hex[b & 15];
                }
                out.sql += '\'';
            }
            break;
        }
    }
    if (m_constants) out.sql = constant(std::move(c));
    return out;
}

std::string Translator::tableName(const ObjectName& name) {
    const auto& parts = name.parts;
    if (parts.size() >= 3 && !parts[parts.size() - 3].empty() && !iequals(parts[parts.size() - 3], m_context.databaseName))
        throw ServerError(err::kUnsupported, 16,
                          "The sandbox server does not support references to another database ('" +
                              parts[parts.size() - 3] + "').");
    std::string written;
    for (std::size_t i = 0; i < parts.size(); ++i) written += (i ? "." : "") + parts[i];
    m_writtenNames[lower(name.name())] = written;
    if (m_context.trigger && parts.size() == 1) {
        if (iequals(parts[0], "inserted")) return m_context.trigger->inserted;
        if (iequals(parts[0], "deleted")) return m_context.trigger->deleted;
    }
    return quoteIdentifier(name.name());
}

std::string Translator::comparison(const Expr& expr, const Translated& left, const Translated& right) {
    const std::string& op = expr.text;
    if (!m_context.ansiNulls && (op == "=" || op == "<>") && expr.args[1]->kind == ExprKind::Null)
        return "(" + left.sql + (op == "=" ? " IS NULL)" : " IS NOT NULL)");
    // SQLite applies a column's collation by itself; between two non-column expressions
    // SQL Server uses the database collation, so say so.
    if (!left.isColumn && !right.isColumn && expr.args[0]->collate.empty() && expr.args[1]->collate.empty())
        return "(" + left.sql + " COLLATE " + quoteIdentifier(m_context.collation) + " " + op + " " + right.sql + ")";
    return "(" + left.sql + " " + op + " " + right.sql + ")";
}

Translated Translator::expression(const Expr& e) {
    Translated out;
    switch (e.kind) {
        case ExprKind::Null: out.sql = "NULL"; break;
        case ExprKind::Integer: {
            out.sql = e.text;
            bool big = e.text.size() > 9 && (e.text.size() > 10 || e.text > "2147483647");
            out.type = typeOf(big ? "bigint" : "int");
            break;
        }
        case ExprKind::Number: {
            out.sql = e.text;
            if (e.text.find_first_of("eE") != std::string::npos) {
                out.type = typeOf("float");
            } else {
                std::size_t dot = e.text.find('.');
                int digits = 0, scale = 0;
                for (std::size_t i = 0; i < e.text.size(); ++i)
                    if (e.text[i] >= '0' && e.text[i] <= '9') {
                        ++digits;
                        if (dot != std::string::npos && i > dot) ++scale;
                    }
                out.type = typeOf("numeric", std::max(digits, 1), scale);
            }
            break;
        }
        case ExprKind::String: {
            // A literal without N is in the server's code page: letters it lacks are lost.
            const std::string text = db::throughWindows1252(e.text);
            // Constants longer than 8000 bytes are text (SQL Server 2000).
            int length = std::max<int>(1, static_cast<int>(utf8Length(text)));
            out.sql = m_constants ? constant(Constant{Constant::Kind::Text, text}) : quoteLiteral(text);
            out.type = length > 8000 ? typeOf("text") : typeOf("varchar", length);
            break;
        }
        case ExprKind::NString: {
            int length = std::max<int>(1, static_cast<int>(utf8Length(e.text)));
            out.sql = m_constants ? constant(Constant{Constant::Kind::Text, e.text}) : quoteLiteral(e.text);
            out.type = length > 4000 ? typeOf("ntext") : typeOf("nvarchar", length);
            break;
        }
        case ExprKind::Binary: {
            // Written once: an image literal may be tens of megabytes.
            const bool odd = e.text.size() % 2 != 0;
            if (m_constants) {
                out.sql = constant(Constant{Constant::Kind::Blob, bytesOfHex(e.text)});
            } else {
                out.sql.reserve(e.text.size() + 4);
                out.sql += odd ? "x'0" : "x'";
                out.sql += e.text;
                out.sql += '\'';
            }
            int length = std::max<int>(1, static_cast<int>((e.text.size() + 1) / 2));
            out.type = length > 8000 ? typeOf("image") : typeOf("varbinary", length);
            break;
        }
        case ExprKind::Money: {
            out.sql = e.text.front() == '-' ? "(-" + e.text.substr(1) + ")" : e.text;
            if (out.sql.find('.') == std::string::npos) out.sql += ".0";
            out.type = typeOf("money");
            break;
        }
        case ExprKind::Column: {
            const auto& p = e.parts;
            std::size_t first = p.size() > 2 ? p.size() - 2 : 0;
            for (std::size_t i = first; i < p.size(); ++i) out.sql += (i > first ? "." : "") + quoteIdentifier(p[i]);
            out.isColumn = true;
            break;
        }
        case ExprKind::Star:
            out.sql = e.parts.empty() ? "*" : quoteIdentifier(e.parts.back()) + ".*";
            break;
        case ExprKind::SystemVariable: {
            std::string name = lower(e.text);
            if (name == "@@version") {
                out.sql = quoteLiteral(versionText());
                out.type = typeOf("nvarchar", static_cast<int>(versionText().size()));
            } else if (name == "@@identity") {
                out.sql = m_context.lastIdentity ? std::to_string(*m_context.lastIdentity) : "NULL";
                out.type = typeOf("numeric", 38, 0);
            } else if (name == "@@rowcount" || name == "@@error" || name == "@@spid" || name == "@@trancount" ||
                       name == "@@max_precision" || name == "@@datefirst" || name == "@@textsize" ||
                       name == "@@options" || name == "@@langid" || name == "@@nestlevel") {
                std::int64_t v = name == "@@rowcount" ? m_context.lastRowCount : name == "@@error" ? m_context.lastError
                               : name == "@@spid" ? m_context.spid : name == "@@max_precision" ? 38
                               : name == "@@trancount" ? m_context.tranCount
                               : name == "@@nestlevel" ? m_context.nestLevel
                               : name == "@@datefirst" ? 7 : name == "@@textsize" ? 2147483647 : 0;
                out.sql = std::to_string(v);
                out.type = typeOf("int");
            } else if (name == "@@servername" || name == "@@servicename" || name == "@@language") {
                std::string v = name == "@@language" ? "us_english" : name == "@@servicename" ? "MSSQLSERVER" : "SANDBOX";
                out.sql = quoteLiteral(v);
                out.type = typeOf("nvarchar", 128);
            } else {
                throw ServerError(137, 15, "Must declare the variable '" + e.text + "'.", 2, ErrorScope::Batch);
            }
            break;
        }
        case ExprKind::Variable:
            out = variable(e);
            break;
        case ExprKind::Unary: {
            Translated inner = expression(*e.args[0]);
            if (e.text == "NOT") {
                out.sql = "(NOT " + inner.sql + ")";
            } else {
                out.sql = "(" + e.text + inner.sql + ")";
                out.type = inner.type;
            }
            break;
        }
        case ExprKind::Binary_: {
            if (e.text == "+") {
                out = addition(e);
                break;
            }
            Translated a = expression(*e.args[0]);
            Translated b = expression(*e.args[1]);
            const std::string& op = e.text;
            if (op == "AND" || op == "OR") {
                out.sql = "(" + a.sql + " " + op + " " + b.sql + ")";
            } else if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=") {
                out.sql = comparison(e, a, b);
            } else {
                // In arithmetic and bitwise operations a binary constant counts as the
                // integer it spells: status & 0x88 -> status & 136.
                auto integral = [](const Expr& operand, const Translated& t) {
                    if (operand.kind != ExprKind::Binary || operand.text.empty() || operand.text.size() > 15) return t.sql;
                    return std::to_string(std::stoll(operand.text, nullptr, 16));
                };
                out.sql = "(" + integral(*e.args[0], a) + " " + op + " " + integral(*e.args[1], b) + ")";
                if (isNumberType(a.type) && isNumberType(b.type)) out.type = a.type;
                else if (isNumberType(a.type)) out.type = a.type;
            }
            break;
        }
        case ExprKind::Function: return function(e);
        case ExprKind::Case: {
            out.sql = "(CASE";
            std::size_t i = 0;
            if (e.hasOperand) out.sql += " " + expression(*e.args[i++]).sql;
            std::size_t pairsEnd = e.args.size() - (e.hasElse ? 1 : 0);
            for (; i + 1 < pairsEnd + 1 && i < pairsEnd; i += 2) {
                out.sql += " WHEN " + expression(*e.args[i]).sql;
                Translated then = expression(*e.args[i + 1]);
                out.sql += " THEN " + then.sql;
                if (!out.type) out.type = then.type;
            }
            if (e.hasElse) out.sql += " ELSE " + expression(*e.args.back()).sql;
            out.sql += " END)";
            if (out.type && out.type->isCharacter()) out.type->length = 0;
            break;
        }
        case ExprKind::Convert: {
            auto type = makeColumnType(e.type.name, e.type.first, e.type.second);
            if (!type)
                throw ServerError(243, 16, "Type " + e.type.name + " is not a defined system type.", 2, ErrorScope::Batch);
            if (!e.type.first && (type->base->shape == TypeShape::Sized || type->base->shape == TypeShape::UnicodeSized))
                type = makeColumnType(e.type.name, 30, std::nullopt);
            Translated value = expression(*e.args[0]);
            std::string style = e.args.size() > 1 ? expression(*e.args[1]).sql : "NULL";
            out.sql = "tsql_convert(" + quoteLiteral(e.type.name) + ", " +
                      (e.type.first ? std::to_string(*e.type.first) : "NULL") + ", " +
                      (e.type.second ? std::to_string(*e.type.second) : "NULL") + ", " + value.sql + ", " + style + ")";
            out.type = type;
            break;
        }
        case ExprKind::Subquery: {
            std::vector<std::optional<ColumnType>> types;
            out.sql = "(" + select(*e.select, &types) + ")";
            if (!types.empty()) out.type = types[0];
            break;
        }
        case ExprKind::Exists:
            out.sql = std::string(e.negated ? "(NOT EXISTS (" : "(EXISTS (") + select(*e.select) + "))";
            break;
        case ExprKind::In: {
            Translated value = expression(*e.args[0]);
            out.sql = "(" + value.sql + (e.negated ? " NOT IN (" : " IN (");
            if (e.select) {
                out.sql += select(*e.select);
            } else {
                for (std::size_t i = 1; i < e.args.size(); ++i) {
                    Translated item = expression(*e.args[i]);
                    out.sql += (i > 1 ? ", " : "") + item.sql;
                }
            }
            out.sql += "))";
            if (!value.isColumn && e.args[0]->collate.empty())
                out.sql = "(" + value.sql + " COLLATE " + quoteIdentifier(m_context.collation) + out.sql.substr(value.sql.size() + 1);
            break;
        }
        case ExprKind::Between: {
            Translated v = expression(*e.args[0]), lo = expression(*e.args[1]), hi = expression(*e.args[2]);
            out.sql = "(" + v.sql + (e.negated ? " NOT BETWEEN " : " BETWEEN ") + lo.sql + " AND " + hi.sql + ")";
            break;
        }
        case ExprKind::Like: {
            Translated v = expression(*e.args[0]), p = expression(*e.args[1]);
            out.sql = "(" + v.sql + (e.negated ? " NOT LIKE " : " LIKE ") + p.sql;
            if (e.args.size() > 2) out.sql += " ESCAPE " + expression(*e.args[2]).sql;
            out.sql += ")";
            break;
        }
        case ExprKind::IsNull:
            out.sql = "(" + expression(*e.args[0]).sql + (e.negated ? " IS NOT NULL)" : " IS NULL)");
            break;
    }
    if (!e.collate.empty()) {
        out.sql = "(" + out.sql + " COLLATE " + quoteIdentifier(e.collate) + ")";
        out.isColumn = true;  // an explicit collation outranks the database's
    }
    return out;
}

Translated Translator::addition(const Expr& e) {
    // The parser leans a chain to the left: a + b + c is (a + b) + c. Walking down its left
    // side instead of recursing keeps a chain of any length off the stack.
    std::vector<const Expr*> operands;
    const Expr* node = &e;
    do {
        operands.push_back(node->args[1].get());
        node = node->args[0].get();
    } while (node->kind == ExprKind::Binary_ && node->text == "+" && node->collate.empty());
    operands.push_back(node);
    std::reverse(operands.begin(), operands.end());

    // Left to right as T-SQL adds. A run of character operands is one concatenation, kept
    // as pieces until a non-character operand (or the end) closes it.
    Translated sum = expression(*operands[0]);
    std::vector<std::string> pieces;
    bool unicode = false;
    auto closeRun = [&] {
        if (pieces.empty()) return;
        sum.sql = concatenation(std::move(pieces));
        pieces.clear();
    };
    for (std::size_t i = 1; i < operands.size(); ++i) {
        Translated next = expression(*operands[i]);
        if (isCharacterType(sum.type) && isCharacterType(next.type)) {
            if (pieces.empty()) {
                pieces.push_back(std::move(sum.sql));
                unicode = sum.type->isUnicode();
            }
            unicode = unicode || next.type->isUnicode();
            pieces.push_back(std::move(next.sql));
            sum.type = unicode ? typeOf("nvarchar", 1) : typeOf("varchar", 1);
            sum.type->length = 0;  // decided from the data
            sum.isColumn = false;
            continue;
        }
        closeRun();
        if (isNumberType(sum.type) && isNumberType(next.type)) {
            sum.sql = "(" + sum.sql + " + " + next.sql + ")";
        } else {
            sum.sql = "tsql_add(" + sum.sql + ", " + next.sql + ")";
            // A number operand makes the sum a number (int outranks varchar).
            if (!isNumberType(sum.type)) sum.type = isNumberType(next.type) ? next.type : std::nullopt;
        }
        sum.isColumn = false;
    }
    closeRun();
    return sum;
}

std::string Translator::concatenation(std::vector<std::string> pieces) {
    // Pairs, then pairs of pairs: the tree SQLite parses is log2(n) deep, where a chain
    // would nest n parentheses (its parser gives up after a few dozen) or build a tree
    // past its depth limit of 1000.
    while (pieces.size() > 1) {
        std::vector<std::string> joined;
        joined.reserve((pieces.size() + 1) / 2);
        for (std::size_t i = 0; i < pieces.size(); i += 2) {
            if (i + 1 == pieces.size()) {
                joined.push_back(std::move(pieces[i]));
                continue;
            }
            std::string pair;
            pair.reserve(pieces[i].size() + pieces[i + 1].size() + 6);
            pair += '(';
            pair += pieces[i];
            pair += " || ";
            pair += pieces[i + 1];
            pair += ')';
            joined.push_back(std::move(pair));
        }
        pieces = std::move(joined);
    }
    return std::move(pieces.front());
}

Translated Translator::function(const Expr& e) {
    Translated out;
    const std::string& f = e.text;
    if (e.parts.size() >= 2)
        throw ServerError(err::kUnsupported, 16,
                          "The sandbox server does not run user-defined functions ('" + e.parts.back() + "').");
    auto arg = [&](std::size_t i) {
        if (i >= e.args.size())
            throw ServerError(174, 15, "The " + f + " function requires " + std::to_string(i + 1) + " argument(s).", 1,
                              ErrorScope::Batch);
        return expression(*e.args[i]);
    };
    auto args = [&]() {
        std::string s;
        for (std::size_t i = 0; i < e.args.size(); ++i) s += (i ? ", " : "") + expression(*e.args[i]).sql;
        return s;
    };
    auto partName = [&]() {
        if (e.args.empty()) throw ServerError(174, 15, "The " + f + " function requires 2 argument(s).", 1, ErrorScope::Batch);
        const Expr& p = *e.args[0];
        return quoteLiteral(p.kind == ExprKind::Column ? p.parts.back() : p.text);
    };
    if (f == "count" || f == "count_big") {
        out.sql = e.star ? "count(*)" : std::string("count(") + (e.distinct ? "DISTINCT " : "") + arg(0).sql + ")";
        out.type = typeOf(f == "count" ? "int" : "bigint");
    } else if (f == "sum" || f == "avg" || f == "min" || f == "max") {
        Translated a = arg(0);
        out.sql = f + "(" + (e.distinct ? "DISTINCT " : "") + a.sql + ")";
        out.type = a.type;
        if (f == "avg" && a.type && a.type->isInteger()) out.type = typeOf("int");
    } else if (f == "getdate" || f == "getutcdate" || f == "current_timestamp") {
        out.sql = "tsql_getdate()";
        out.type = typeOf("datetime");
    } else if (f == "substring") {
        out.sql = "substr(" + arg(0).sql + ", " + arg(1).sql + ", " + arg(2).sql + ")";
        out.type = varcharOfUnknownLength();
    } else if (f == "left") {
        out.sql = "substr(" + arg(0).sql + ", 1, " + arg(1).sql + ")";
        out.type = varcharOfUnknownLength();
    } else if (f == "right") {
        out.sql = "tsql_right(" + arg(0).sql + ", " + arg(1).sql + ")";
        out.type = varcharOfUnknownLength();
    } else if (f == "len") {
        out.sql = "tsql_len(" + arg(0).sql + ")";
        out.type = typeOf("int");
    } else if (f == "datalength") {
        out.sql = "tsql_datalength(" + arg(0).sql + ")";
        out.type = typeOf("int");
    } else if (f == "upper" || f == "lower" || f == "ltrim" || f == "rtrim" || f == "reverse") {
        Translated a = arg(0);
        out.sql = (f == "ltrim" ? "ltrim(" + a.sql + ", ' ')" : f == "rtrim" ? "rtrim(" + a.sql + ", ' ')" : f + "(" + a.sql + ")");
        out.type = varcharOfUnknownLength();
    } else if (f == "replace") {
        out.sql = "replace(" + args() + ")";
        out.type = varcharOfUnknownLength();
    } else if (f == "charindex" || f == "patindex") {
        out.sql = "tsql_charindex(" + args() + ")";
        out.type = typeOf("int");
    } else if (f == "char" || f == "nchar") {
        out.sql = "char(" + arg(0).sql + ")";
        out.type = typeOf(f == "char" ? "char" : "nchar", 1);
    } else if (f == "ascii" || f == "unicode") {
        out.sql = "unicode(" + arg(0).sql + ")";
        out.type = typeOf("int");
    } else if (f == "space") {
        out.sql = "tsql_replicate(' ', " + arg(0).sql + ")";
        out.type = varcharOfUnknownLength();
    } else if (f == "replicate") {
        out.sql = "tsql_replicate(" + arg(0).sql + ", " + arg(1).sql + ")";
        out.type = varcharOfUnknownLength();
    } else if (f == "isnull") {
        Translated a = arg(0);
        out.sql = "ifnull(" + a.sql + ", " + arg(1).sql + ")";
        out.type = a.type;
    } else if (f == "coalesce") {
        out.sql = e.args.size() == 1 ? arg(0).sql : "coalesce(" + args() + ")";
        out.type = arg(0).type;
    } else if (f == "nullif") {
        Translated a = arg(0);
        out.sql = "nullif(" + a.sql + ", " + arg(1).sql + ")";
        out.type = a.type;
    } else if (f == "abs" || f == "sign") {
        Translated a = arg(0);
        out.sql = f + "(" + a.sql + ")";
        out.type = a.type;
    } else if (f == "round") {
        Translated a = arg(0);
        out.sql = "round(" + a.sql + ", " + arg(1).sql + ")";
        out.type = a.type;
    } else if (f == "floor" || f == "ceiling") {
        Translated a = arg(0);
        out.sql = "tsql_" + f + "(" + a.sql + ")";
        out.type = a.type;
    } else if (f == "power" || f == "sqrt" || f == "square") {
        throw ServerError(err::kUnsupported, 16, "The sandbox server does not support the function " + e.parts[0] + ".");
    } else if (f == "newid") {
        out.sql = "tsql_newid()";
        out.type = typeOf("uniqueidentifier");
    } else if (f == "year" || f == "month" || f == "day") {
        out.sql = "tsql_datepart('" + f + "', " + arg(0).sql + ")";
        out.type = typeOf("int");
    } else if (f == "datepart") {
        out.sql = "tsql_datepart(" + partName() + ", " + arg(1).sql + ")";
        out.type = typeOf("int");
    } else if (f == "datename") {
        out.sql = "tsql_datename(" + partName() + ", " + arg(1).sql + ")";
        out.type = typeOf("nvarchar", 30);
    } else if (f == "dateadd") {
        out.sql = "tsql_dateadd(" + partName() + ", " + arg(1).sql + ", " + arg(2).sql + ")";
        out.type = typeOf("datetime");
    } else if (f == "datediff") {
        out.sql = "tsql_datediff(" + partName() + ", " + arg(1).sql + ", " + arg(2).sql + ")";
        out.type = typeOf("int");
    } else if (auto property = propertyFunction(e)) {
        out = std::move(*property);
    } else if (f == "db_name") {
        out.sql = quoteLiteral(m_context.databaseName);
        out.type = typeOf("nvarchar", 128);
    } else if (f == "db_id") {
        out.sql = "5";
        out.type = typeOf("smallint");
    } else if (f == "user_name" && !e.args.empty()) {
        out.sql = catalogLookup("sysusers", "name", {{"uid", arg(0).sql}});
        out.type = typeOf("nvarchar", 128);
    } else if (f == "user_name" || f == "current_user" || f == "session_user" || f == "user") {
        out.sql = "'dbo'";
        out.type = typeOf("nvarchar", 128);
    } else if (f == "suser_sname" || f == "suser_name" || f == "system_user") {
        out.sql = quoteLiteral(m_context.loginName);
        out.type = typeOf("nvarchar", 128);
    } else if (f == "host_name" || f == "app_name") {
        out.sql = "''";
        out.type = typeOf("nvarchar", 128);
    } else if (f == "user_id") {
        out.sql = e.args.empty() ? "1" : catalogLookup("sysusers", "uid", {{"name", arg(0).sql}});
        out.type = typeOf("int");
    } else if (f == "object_id") {
        const Expr& a = *e.args.at(0);
        std::string name = (a.kind == ExprKind::String || a.kind == ExprKind::NString)
                               ? quoteLiteral(objectNameFromLiteral(a.text)) : arg(0).sql;
        out.sql = catalogLookup("sysobjects", "id", {{"name", name}});
        out.type = typeOf("int");
    } else if (f == "object_name") {
        out.sql = catalogLookup("sysobjects", "name", {{"id", arg(0).sql}});
        out.type = typeOf("nvarchar", 128);
    } else if (f == "col_name") {
        out.sql = catalogLookup("syscolumns", "name", {{"id", arg(0).sql}, {"colid", arg(1).sql}});
        out.type = typeOf("nvarchar", 128);
    } else if (f == "isnumeric") {
        out.sql = "tsql_isnumeric(" + arg(0).sql + ")";
        out.type = typeOf("int");
    } else if (f == "scope_identity") {
        out.sql = m_context.lastIdentity ? std::to_string(*m_context.lastIdentity) : "NULL";
        out.type = typeOf("numeric", 38, 0);
    } else if (f == "ident_current" || f == "ident_seed" || f == "ident_incr") {
        const Expr& a = *e.args.at(0);
        std::string name = (a.kind == ExprKind::String || a.kind == ExprKind::NString)
                               ? quoteLiteral(objectNameFromLiteral(a.text)) : arg(0).sql;
        // IDENT_CURRENT of a table no row has reached yet is its seed.
        const std::string value = f == "ident_current" ? "COALESCE(current, seed)" : f == "ident_seed" ? "seed" : "increment";
        out.sql = catalogLookup("(SELECT i.id AS id, " + value + " AS value, o.name AS name FROM \"~identity\" i "
                                "JOIN sysobjects o ON o.id = i.id)",
                                "value", {{"name", name}});
        out.type = typeOf("numeric", 38, 0);
    } else {
        throw ServerError(err::kUnsupported, 16, "The sandbox server does not support the function " + e.parts[0] + ".");
    }
    return out;
}

std::string Translator::tableRef(const TableRef& ref) {
    std::string sql;
    if (ref.derived) {
        sql = "(" + select(*ref.derived) + ")";
    } else if (ref.nested) {
        sql = "(" + fromItem(*ref.nested) + ")";
    } else {
        sql = tableName(ref.name);
    }
    std::string alias = ref.alias;
    // A trigger's inserted and deleted tables keep their names for the columns that
    // name them (inserted.job_id).
    if (alias.empty() && m_context.trigger && ref.name.parts.size() == 1 &&
        (iequals(ref.name.parts[0], "inserted") || iequals(ref.name.parts[0], "deleted")))
        alias = ref.name.parts[0];
    if (!alias.empty()) sql += " AS " + quoteIdentifier(alias);
    return sql;
}

std::string Translator::fromItem(const FromItem& item) {
    std::string sql = tableRef(item.table);
    for (const auto& join : item.joins) {
        sql += " " + join.kind + " " + tableRef(join.table);
        if (join.on) sql += " ON " + expression(*join.on).sql;
    }
    return sql;
}

std::string Translator::select(const Select& s, std::vector<std::optional<ColumnType>>* itemTypes) {
    std::string sql = "SELECT ";
    if (s.distinct) sql += "DISTINCT ";
    bool first = true;
    for (const auto& item : s.items) {
        if (!first) sql += ", ";
        first = false;
        Translated t = expression(*item.expr);
        sql += t.sql;
        if (item.expr->kind != ExprKind::Star) {
            std::string alias = item.alias;
            if (alias.empty() && item.expr->kind == ExprKind::Column) alias = item.expr->parts.back();
            sql += " AS " + quoteIdentifier(alias);
        }
        if (itemTypes) itemTypes->push_back(t.type);
    }
    if (!s.from.empty()) {
        sql += " FROM ";
        for (std::size_t i = 0; i < s.from.size(); ++i) sql += (i ? ", " : "") + fromItem(s.from[i]);
    }
    if (s.where) sql += " WHERE " + expression(*s.where).sql;
    if (!s.groupBy.empty()) {
        sql += " GROUP BY ";
        for (std::size_t i = 0; i < s.groupBy.size(); ++i) sql += (i ? ", " : "") + expression(*s.groupBy[i]).sql;
    }
    if (s.having) sql += " HAVING " + expression(*s.having).sql;
    for (const auto& [all, other] : s.unions) sql += (all ? " UNION ALL " : " UNION ") + select(*other);
    if (!s.orderBy.empty()) {
        sql += " ORDER BY ";
        for (std::size_t i = 0; i < s.orderBy.size(); ++i) {
            sql += (i ? ", " : "") + expression(*s.orderBy[i].expr).sql;
            if (s.orderBy[i].descending) sql += " DESC";
        }
    }
    if (s.top) {
        if (s.topPercent) throw ServerError(err::kUnsupported, 16, "The sandbox server does not support TOP ... PERCENT.");
        sql += " LIMIT " + expression(*s.top).sql;
    }
    return sql;
}

}  // namespace sandbox::tsql
