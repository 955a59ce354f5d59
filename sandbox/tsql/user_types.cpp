// Alias data types: sp_addtype and sp_droptype keep them in systypes, as SQL Server 2000
// does (xusertype from 257 on, status bit 1 for NOT NULL), and columns and variables
// declared with them take the alias's physical type.
#include "tsql/user_types.h"

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/exec_context.h"
#include "tsql/parser.h"
#include "tsql/system_procedures.h"

namespace sandbox::tsql {
namespace {

constexpr int kLastSystemUserType = 256;  // sysname; alias types come after it
constexpr int kNotNullStatus = 1;         // systypes.status: the alias does not allow NULL

}  // namespace

std::optional<NamedType> findNamedType(Database& db, const TypeName& name, std::size_t ordinal) {
    if (auto builtin = makeColumnType(name.name, name.first, name.second))
        return NamedType{*builtin, std::nullopt};
    sqlite::Statement q(
        db.handle(),
        "SELECT xtype, xusertype, length, xprec, xscale, status, usertype FROM systypes "
        "WHERE name = ? AND xusertype > 256");
    q.bind(1, name.name);
    if (!q.step()) return std::nullopt;
    if (name.first)
        throw ServerError(2716, 16,
                          "Column or parameter #" + std::to_string(ordinal) +
                              ": Cannot specify a column width on data type " + name.name + ".");
    NamedType named;
    named.type =
        columnTypeFromCatalog(static_cast<int>(q.integer(0)), static_cast<int>(q.integer(1)),
                              static_cast<int>(q.integer(6)), static_cast<int>(q.integer(2)),
                              static_cast<int>(q.integer(3)), static_cast<int>(q.integer(4)));
    named.allowsNulls = (q.integer(5) & kNotNullStatus) == 0;
    return named;
}

// sp_addtype @typename, @phystype [, @nulltype]: an alias type in systypes, with the next
// free xusertype (257 for the first) and the database's collation for character types.
// 15029 when the name is taken (by a built-in type too), 15036 for an unknown physical
// type, 15085 for a nullability other than NULL, NOT NULL or NONULL. Says "Type added.".
void spAddtype(ExecContext& context, const ProcedureCall& call) {
    const std::string name = call.required(0, "@typename");
    const std::string physical = call.required(1, "@phystype");
    std::optional<std::string> nullability = call.argument(2, "@nulltype");
    Database& db = context.db();
    bool notNull = !context.session().options.ansiNullDefault;
    if (nullability) {
        std::string n = lower(*nullability);
        while (!n.empty() && n.back() == ' ') n.pop_back();
        if (n == "null")
            notNull = false;
        else if (n == "not null" || n == "nonull")
            notNull = true;
        else
            throw ServerError(
                15085, 16,
                "Usertype null type must be 'null', 'not null', or 'nonull'.");  // [mem] wording
    }
    {
        sqlite::Statement taken(db.handle(), "SELECT 1 FROM systypes WHERE name = ?");
        taken.bind(1, name);
        if (taken.step() || findType(name))
            throw ServerError(
                15029, 16, "The data type '" + name + "' already exists in the current database.");
    }
    // 'varchar(11)' is read as a column definition reads a type.
    TypeName typeName;
    try {
        Parser parser(physical, true);
        typeName = parser.typeName();
        if (parser.peek().kind != TokenKind::End) parser.syntaxError();
    } catch (const ServerError&) {
        throw ServerError(15036, 16, "The data type '" + physical + "' does not exist.");
    }
    auto type = makeColumnType(typeName.name, typeName.first, typeName.second);
    if (!type || (type->base->xusertype == kLastSystemUserType && typeName.first))
        throw ServerError(15036, 16, "The data type '" + physical + "' does not exist.");
    if (type->base->sqlType == SqlType::Timestamp)
        throw ServerError(15038, 16, "User-defined data types based on timestamp are not allowed.");
    sqlite::Statement next(db.handle(), "SELECT max(xusertype) FROM systypes");
    next.step();
    const std::int64_t xusertype = std::max<std::int64_t>(next.integer(0), kLastSystemUserType) + 1;
    next = sqlite::Statement();
    const bool character = type->isCharacter();
    sqlite::Statement insert(
        db.handle(),
        "INSERT INTO systypes (name, xtype, status, xusertype, length, xprec, xscale, tdefault, "
        "domain, uid, reserved, collationid, usertype, variable, allownulls, type, printfmt, prec, "
        "scale, collation) VALUES (?, ?, ?, ?, ?, ?, ?, 0, 0, 1, 0, ?, ?, ?, ?, ?, NULL, ?, ?, ?)");
    insert.bind(1, name)
        .bind(2, std::int64_t{type->base->xtype})
        .bind(3, std::int64_t{notNull ? kNotNullStatus : 0});
    insert.bind(4, xusertype).bind(5, std::int64_t{type->length});
    const bool sized =
        type->base->shape == TypeShape::Sized || type->base->shape == TypeShape::UnicodeSized;
    insert.bind(6, std::int64_t{sized ? 0 : type->precision}).bind(7, std::int64_t{type->scale});
    if (character)
        insert.bind(8, std::int64_t{872468488});
    else
        insert.bindNull(8);
    insert.bind(9, xusertype).bind(10, std::int64_t{type->base->variable ? 1 : 0});
    insert.bind(11, std::int64_t{notNull ? 0 : 1}).bind(12, std::int64_t{legacyTypeCode(*type)});
    insert.bind(13, std::int64_t{type->precision}).bind(14, std::int64_t{type->scale});
    if (character)
        insert.bind(15, db.collation());
    else
        insert.bindNull(15);
    insert.step();
    context.response().items.emplace_back(
        Message{15449, 1, 10, "Type added.", "sp_addtype", call.line});
}

// sp_droptype @typename: removes an alias type no column uses. 15036 when there is no
// such alias type, 15180 while a column of a table uses it.
void spDroptype(ExecContext& context, const ProcedureCall& call) {
    const std::string name = call.required(0, "@typename");
    Database& db = context.db();
    sqlite::Statement q(db.handle(),
                        "SELECT xusertype FROM systypes WHERE name = ? AND xusertype > 256");
    q.bind(1, name);
    if (!q.step()) throw ServerError(15036, 16, "The data type '" + name + "' does not exist.");
    const std::int64_t xusertype = q.integer(0);
    q = sqlite::Statement();
    sqlite::Statement used(db.handle(), "SELECT 1 FROM syscolumns WHERE xusertype = ? LIMIT 1");
    used.bind(1, xusertype);
    if (used.step()) throw ServerError(15180, 16, "Cannot drop. The data type is being used.");
    sqlite::Statement drop(db.handle(), "DELETE FROM systypes WHERE xusertype = ?");
    drop.bind(1, xusertype).step();
}

}  // namespace sandbox::tsql
