#include "tsql/computed_columns.h"

#include <array>
#include <map>
#include <vector>

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/parser.h"
#include "tsql/table_rules.h"
#include "tsql/translator.h"

namespace sandbox::tsql {
namespace {

// SQL Server 2000's data type precedence, highest first.
constexpr std::array<std::string_view, 24> kPrecedence = {
    "sql_variant",      "datetime", "smalldatetime", "float",   "real",  "decimal",
    "numeric",          "money",    "smallmoney",    "bigint",  "int",   "smallint",
    "tinyint",          "bit",      "ntext",         "text",    "image", "timestamp",
    "uniqueidentifier", "nvarchar", "nchar",         "varchar", "char",  "varbinary"};

std::size_t rank(const ColumnType& t) {
    for (std::size_t i = 0; i < kPrecedence.size(); ++i)
        if (kPrecedence[i] == t.base->name) return i;
    return kPrecedence.size();
}

ColumnType typeOf(std::string_view name, std::optional<int> a = std::nullopt,
                  std::optional<int> b = std::nullopt) {
    return *makeColumnType(name, a, b);
}

// The result of a + b, a * b, ...: the operand of higher precedence; two texts joined by +
// make a text as long as both.
ColumnType combined(const std::string& op, const ColumnType& a, const ColumnType& b) {
    if (op == "+" && a.isCharacter() && b.isCharacter() && !a.isLong() && !b.isLong()) {
        const bool unicode = a.isUnicode() || b.isUnicode();
        const int chars = std::min(a.precision + b.precision, unicode ? 4000 : 8000);
        return typeOf(unicode ? "nvarchar" : "varchar", std::max(chars, 1));
    }
    if (a.isExactNumeric() && b.isExactNumeric() && a.base == b.base &&
        a.base->shape == TypeShape::Decimal)
        return typeOf(a.base->name, std::max(a.precision, b.precision), std::max(a.scale, b.scale));
    return rank(a) <= rank(b) ? a : b;
}

}  // namespace

ColumnType computedColumnType(const std::string& text, const ColumnTypeLookup& columnType) {
    Parser parser(text, true);
    ExprPtr root = parser.expression();
    TranslationContext names;
    Translator translator(names);
    // Post-order without recursion: a node's type once its operands' are known.
    std::map<const Expr*, ColumnType> types;
    std::vector<std::pair<const Expr*, bool>> pending{{root.get(), false}};
    while (!pending.empty()) {
        // Named variables, not a structured binding: clang 14 (the fuzz build) cannot
        // capture a binding in the lambda below.
        const Expr* e = pending.back().first;
        const bool visited = pending.back().second;
        pending.pop_back();
        if (!visited) {
            pending.emplace_back(e, true);
            for (const auto& arg : e->args) pending.emplace_back(arg.get(), false);
            continue;
        }
        auto operand = [&](std::size_t i) {
            auto found = i < e->args.size() ? types.find(e->args[i].get()) : types.end();
            return found != types.end() ? found->second : typeOf("int");
        };
        ColumnType type = typeOf("int");
        switch (e->kind) {
            case ExprKind::Column:
                if (auto t = columnType(e->parts.back())) type = *t;
                break;
            case ExprKind::Binary_:
                if (e->text == "+" || e->text == "-" || e->text == "*" || e->text == "/" ||
                    e->text == "%" || e->text == "&" || e->text == "|" || e->text == "^")
                    type = combined(e->text, operand(0), operand(1));
                break;
            case ExprKind::Unary:
                if (e->text != "NOT") type = operand(0);
                break;
            case ExprKind::Case:
                type = operand(e->hasOperand ? 2 : 1);
                break;
            case ExprKind::Convert:
                if (auto t = makeColumnType(e->type.name, e->type.first, e->type.second)) {
                    type = *t;
                    // CONVERT(varchar, x) without a length is varchar(30).
                    const bool sized = t->base->shape == TypeShape::Sized ||
                                       t->base->shape == TypeShape::UnicodeSized;
                    if (!e->type.first && sized) type = typeOf(e->type.name, 30);
                }
                break;
            case ExprKind::Function: {
                static const std::array<std::string_view, 10> kLikeFirst = {
                    "upper", "lower", "ltrim",  "rtrim",    "substring",
                    "left",  "right", "isnull", "coalesce", "reverse"};
                bool likeFirst = false;
                for (auto f : kLikeFirst)
                    if (f == e->text) likeFirst = true;
                if (likeFirst && !e->args.empty()) {
                    type = operand(0);
                    break;
                }
                try {
                    if (auto t = translator.expression(*e).type;
                        t && !(t->isCharacter() && t->length == 0))
                        type = *t;
                } catch (const std::exception&) {
                }
                break;
            }
            default:
                try {
                    if (auto t = translator.expression(*e).type) type = *t;
                } catch (const std::exception&) {
                }
                break;
        }
        types.insert_or_assign(e, type);
    }
    return types.at(root.get());
}

std::string sqliteComputedColumn(std::string_view name, const std::string& text,
                                 const std::string& databaseName, const std::string& collation) {
    std::string sql;
    try {
        sql = storedExpressionSql(text, databaseName, collation);
    } catch (const ServerError& e) {
        throw ServerError(err::kUnsupported, 16,
                          "The sandbox server cannot compute the column '" + std::string(name) +
                              "': " + e.text());
    }
    return sqlite::quoteIdentifier(name) + " GENERATED ALWAYS AS (" + sql + ") VIRTUAL";
}

}  // namespace sandbox::tsql
