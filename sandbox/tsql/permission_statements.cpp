// GRANT, REVOKE and DENY of object permissions (SELECT, INSERT, UPDATE, DELETE,
// REFERENCES, EXECUTE, ALL; columns too) and statement permissions (CREATE TABLE, ...),
// kept in sysprotects as SQL Server 2000 keeps them: one row per object, grantee and
// action, protecttype 205 GRANT, 204 GRANT WITH GRANT OPTION, 206 DENY; REVOKE removes
// the row. Dropping the object removes its rows. The sandbox checks no permission: sa
// owns everything.
#include <array>

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

constexpr int kGrant = 205;
constexpr int kGrantWithGrant = 204;
constexpr int kDeny = 206;
constexpr int kDbo = 1;

struct Action {
    std::string_view name;
    int code;
};

// The object permissions, then the statement permissions, with their sysprotects action.
constexpr std::array<Action, 6> kObjectActions = {{{"SELECT", 193},
                                                   {"INSERT", 195},
                                                   {"DELETE", 196},
                                                   {"UPDATE", 197},
                                                   {"REFERENCES", 26},
                                                   {"EXECUTE", 224}}};
constexpr std::array<Action, 9> kStatementActions = {{{"CREATE TABLE", 198},
                                                      {"CREATE DATABASE", 203},
                                                      {"CREATE VIEW", 207},
                                                      {"CREATE PROCEDURE", 222},
                                                      {"BACKUP DATABASE", 228},
                                                      {"CREATE DEFAULT", 233},
                                                      {"BACKUP LOG", 235},
                                                      {"CREATE RULE", 236},
                                                      {"CREATE FUNCTION", 178}}};

enum class Kind { Grant, Revoke, Deny };

class PermissionStatement : public Statement {
public:
    Kind kind = Kind::Grant;
    bool all = false;
    std::vector<std::string> permissions;  // upper case, "CREATE TABLE" for a statement permission
    std::optional<ObjectName> object;
    std::vector<std::string> columns;
    std::vector<std::string> grantees;
    bool withGrantOption = false;
    bool grantOptionOnly = false;  // REVOKE GRANT OPTION FOR

    void execute(ExecContext& context) override {
        Database& db = context.db();
        int objectId = 0;
        std::string xtype;
        if (object) {
            auto found = db.catalog().findObject(object->name());
            if (!found || found->parentObj != 0) raiseInvalidObject(*object);
            objectId = found->id;
            xtype = found->xtype;
        }
        std::vector<int> actions = actionsFor(xtype);
        std::string columnBits = columnBitmap(db, objectId);
        std::vector<std::int64_t> uids;
        for (const auto& grantee : grantees) {
            sqlite::Statement q(db.handle(), "SELECT uid FROM sysusers WHERE name = ?");
            q.bind(1, grantee);
            if (!q.step())
                throw ServerError(4604, 16, "There is no such user or group '" + grantee + "'.");
            uids.push_back(q.integer(0));
        }
        atomically(db.handle(), [&] {
            for (std::int64_t uid : uids)
                for (int action : actions) apply(db, objectId, uid, action, columnBits);
        });
        context.done(false);
    }

private:
    // The sysprotects actions the statement names on an object of this xtype ("" for
    // statement permissions); 4606 for one the object cannot have.
    std::vector<int> actionsFor(const std::string& xtype) const {
        const bool executable = xtype == "P" || xtype == "X" || xtype == "FN";
        const bool tabular =
            xtype == "U" || xtype == "V" || xtype == "S" || xtype == "IF" || xtype == "TF";
        std::vector<int> actions;
        if (!object) {
            for (const auto& a : kStatementActions)
                if (all ||
                    std::find(permissions.begin(), permissions.end(), a.name) != permissions.end())
                    actions.push_back(a.code);
            return actions;
        }
        if (all) {
            if (executable) actions.push_back(224);
            if (xtype == "FN") actions.push_back(26);
            if (tabular) actions = {193, 195, 196, 197};
            if (xtype == "U") actions.push_back(26);
            return actions;
        }
        for (const auto& name : permissions) {
            int code = 0;
            for (const auto& a : kObjectActions)
                if (a.name == name) code = a.code;
            const bool fits = code == 224  ? executable
                              : code == 26 ? (xtype == "U" || xtype == "FN")
                                           : tabular;
            if (!fits)
                throw ServerError(
                    4606, 16,
                    "Granted or revoked privilege " + name + " is not compatible with object.");
            actions.push_back(code);
        }
        return actions;
    }

    // sysprotects.columns: bit 0 for every column, else one bit per colid named.
    std::string columnBitmap(Database& db, int objectId) const {
        if (columns.empty()) return std::string(1, '\x01');
        std::string bits(1, '\0');
        for (const auto& name : columns) {
            sqlite::Statement q(db.handle(),
                                "SELECT colid FROM syscolumns WHERE id = ? AND name = ?");
            q.bind(1, std::int64_t{objectId}).bind(2, name);
            if (!q.step())
                throw ServerError(err::kInvalidColumn, 16, "Invalid column name '" + name + "'.");
            const auto colid = static_cast<std::size_t>(q.integer(0));
            if (bits.size() <= colid / 8) bits.resize(colid / 8 + 1, '\0');
            bits[colid / 8] = static_cast<char>(bits[colid / 8] | (1 << (colid % 8)));
        }
        return bits;
    }

    void apply(Database& db, int objectId, std::int64_t uid, int action,
               const std::string& columnBits) const {
        if (kind == Kind::Revoke && grantOptionOnly) {
            sqlite::Statement keep(
                db.handle(),
                "UPDATE sysprotects SET protecttype = ? WHERE id = ? AND uid = ? AND "
                "action = ? AND protecttype = ?");
            keep.bind(1, std::int64_t{kGrant})
                .bind(2, std::int64_t{objectId})
                .bind(3, uid)
                .bind(4, std::int64_t{action});
            keep.bind(5, std::int64_t{kGrantWithGrant}).step();
            return;
        }
        sqlite::Statement remove(db.handle(),
                                 "DELETE FROM sysprotects WHERE id = ? AND uid = ? AND action = ?");
        remove.bind(1, std::int64_t{objectId}).bind(2, uid).bind(3, std::int64_t{action}).step();
        if (kind == Kind::Revoke) return;
        sqlite::Statement insert(
            db.handle(),
            "INSERT INTO sysprotects (id, uid, action, protecttype, columns, grantor) "
            "VALUES (?, ?, ?, ?, ?, ?)");
        const int type = kind == Kind::Deny ? kDeny : withGrantOption ? kGrantWithGrant : kGrant;
        insert.bind(1, std::int64_t{objectId})
            .bind(2, uid)
            .bind(3, std::int64_t{action})
            .bind(4, std::int64_t{type});
        const bool columned = action == 193 || action == 197 || action == 26;
        if (columned && objectId != 0)
            insert.bindBlob(5, columnBits.data(), static_cast<int>(columnBits.size()));
        else
            insert.bindNull(5);
        insert.bind(6, std::int64_t{kDbo}).step();
    }
};

// One permission as written: SELECT, ..., or a statement permission of two words.
std::string permissionName(Parser& p) {
    const Token& t = p.next();
    std::string name = upperName(t.text);
    if (name == "CREATE" || name == "BACKUP") {
        if (p.peek().kind != TokenKind::Word) p.syntaxError();
        name += " " + upperName(p.next().text);
        return name;
    }
    if (name == "EXEC") name = "EXECUTE";
    for (const auto& a : kObjectActions)
        if (a.name == name) return name;
    p.syntaxErrorAt(t);
}

}  // namespace

std::unique_ptr<Statement> parsePermission(Parser& p) {
    auto s = std::make_unique<PermissionStatement>();
    const Token& verb = p.next();
    s->kind = verb.isWord("GRANT") ? Kind::Grant : verb.isWord("DENY") ? Kind::Deny : Kind::Revoke;
    if (s->kind == Kind::Revoke && p.acceptWord("GRANT")) {
        p.expectWord("OPTION");
        p.expectWord("FOR");
        s->grantOptionOnly = true;
    }
    if (p.acceptWord("ALL")) {
        s->all = true;
        p.acceptWord("PRIVILEGES");
    } else {
        do {
            s->permissions.push_back(permissionName(p));
        } while (p.acceptSymbol(","));
    }
    if (p.peek().isSymbol("(")) s->columns = p.columnList();
    if (p.acceptWord("ON")) {
        s->object = p.objectName();
        if (p.peek().isSymbol("(")) s->columns = p.columnList();
    }
    if (!p.acceptWord("TO") && !(s->kind == Kind::Revoke && p.acceptWord("FROM"))) p.syntaxError();
    do {
        if (p.peek().isWord("PUBLIC"))
            s->grantees.push_back(p.next().text);
        else
            s->grantees.push_back(p.identifier());
    } while (p.acceptSymbol(","));
    if (s->kind == Kind::Grant && p.acceptWord("WITH")) {
        p.expectWord("GRANT");
        p.expectWord("OPTION");
        s->withGrantOption = true;
    }
    p.acceptWord("CASCADE");
    if (p.acceptWord("AS")) p.identifier();
    return s;
}

}  // namespace sandbox::tsql
