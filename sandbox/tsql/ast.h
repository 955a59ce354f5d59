#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sandbox::tsql {

struct Select;

// A type as written in T-SQL: varchar(50) -> {"varchar", 50}; decimal(10,2) -> {"decimal", 10, 2}.
struct TypeName {
    std::string name;
    std::optional<int> first;
    std::optional<int> second;
};

// A possibly qualified object name: db.owner.name, owner.name or name (parts as written).
struct ObjectName {
    std::vector<std::string> parts;
    const std::string& name() const { return parts.back(); }
};

enum class ExprKind {
    Null,
    Integer,    // text holds the digits
    Number,     // decimal or float literal as written
    Money,      // $20.00: text holds the digits (20.00)
    String,     // text holds the value
    NString,
    Binary,     // text holds the hex digits
    Column,     // parts: [table.]column
    Star,       // parts: the qualifier, empty for *
    SystemVariable,  // @@VERSION
    Variable,   // @x
    Unary,      // text: "-", "+", "~", "NOT"
    Binary_,    // text: operator (+ - * / % = <> < > <= >= AND OR & | ^)
    Function,   // text: name; args; distinct; star for COUNT(*)
    Case,       // args: [operand?] when, then pairs [else]; flags say which exist
    Convert,    // type; args: value [, style]
    Subquery,   // select
    Exists,     // select
    In,         // args[0] in (args[1..]) or in (select)
    Between,    // args: value, low, high
    Like,       // args: value, pattern [, escape]
    IsNull      // args[0] IS [NOT] NULL
};

// One expression node. Which fields matter depends on `kind` (see ExprKind).
struct Expr {
    ExprKind kind = ExprKind::Null;
    std::string text;
    std::vector<std::string> parts;
    std::vector<std::unique_ptr<Expr>> args;
    std::shared_ptr<Select> select;
    TypeName type;
    bool negated = false;    // NOT IN, NOT LIKE, IS NOT NULL, NOT BETWEEN, NOT EXISTS
    bool distinct = false;   // COUNT(DISTINCT x)
    bool star = false;       // COUNT(*)
    bool hasOperand = false; // CASE x WHEN ...
    bool hasElse = false;
    std::string collate;     // expr COLLATE name
    int line = 1;

    Expr() = default;
    Expr(const Expr&) = delete;
    Expr& operator=(const Expr&) = delete;
    // Frees the subtree without recursing: a chain of 10,000 operators is 10,000 levels.
    ~Expr();
};
using ExprPtr = std::unique_ptr<Expr>;

struct SelectItem {
    ExprPtr expr;
    std::string alias;     // empty: none
    std::string variable;  // SELECT @v = expr: the variable assigned ("@v"), empty for none
};

struct FromItem;

struct TableRef {
    ObjectName name;                  // a table or view
    std::shared_ptr<Select> derived;  // or (SELECT ...) AS alias
    std::shared_ptr<FromItem> nested; // or (a JOIN b ON ...), a join in parentheses
    std::string alias;
};

struct Join {
    std::string kind;   // "JOIN", "LEFT JOIN", "RIGHT JOIN", "FULL JOIN", "CROSS JOIN"
    TableRef table;
    ExprPtr on;
};

struct FromItem {
    TableRef table;
    std::vector<Join> joins;
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

// A SELECT query, possibly the head of a UNION chain.
struct Select {
    bool distinct = false;
    ExprPtr top;
    bool topPercent = false;
    std::vector<SelectItem> items;
    std::vector<FromItem> from;
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
    std::vector<OrderItem> orderBy;
    std::vector<std::pair<bool, std::shared_ptr<Select>>> unions;  // (ALL?, query)
    std::optional<ObjectName> into;
    int line = 1;
};

}  // namespace sandbox::tsql
