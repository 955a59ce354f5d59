// GRANT, REVOKE and DENY of object permissions (SELECT, INSERT, UPDATE, DELETE,
// REFERENCES, EXECUTE, ALL; columns too) and statement permissions (CREATE TABLE, ...),
// kept in sysprotects as SQL Server 2000 keeps them: for each object, grantee and action a
// row per protecttype, 205 GRANT, 204 GRANT WITH GRANT OPTION, 206 DENY, whose columns
// bitmap says what it covers (bit 0: the whole table or view; bit n: the column of colid
// n). A GRANT takes its columns from the DENY row and a DENY from the GRANT rows; REVOKE
// takes them from every row; a row left without columns goes. Revoking or denying what
// the grantee may grant on needs CASCADE (4611), which also takes what the grantee granted
// others. Dropping the object removes its rows. The sandbox checks no permission: sa owns
// everything. sp_helprotect reports the rows.
#include <algorithm>
#include <array>
#include <map>
#include <set>

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"
#include "tsql/system_procedures.h"

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
    bool cascade = false;          // REVOKE/DENY ... CASCADE

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
        const std::set<int> targets = targetColumns(db, objectId);
        std::vector<int> allColids;
        {
            sqlite::Statement all(db.handle(), "SELECT colid FROM syscolumns WHERE id = ? AND number = 0 ORDER BY colid");
            all.bind(1, std::int64_t{objectId});
            while (all.step()) allColids.push_back(static_cast<int>(all.integer(0)));
        }
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
                for (int action : actions) apply(db, objectId, uid, action, targets, allColids);
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

    // The columns the statement names, by colid; {0} for the whole object.
    std::set<int> targetColumns(Database& db, int objectId) const {
        if (columns.empty()) return {0};
        std::set<int> colids;
        for (const auto& name : columns) {
            sqlite::Statement q(db.handle(),
                                "SELECT colid FROM syscolumns WHERE id = ? AND name = ? AND number = 0");
            q.bind(1, std::int64_t{objectId}).bind(2, name);
            if (!q.step())
                throw ServerError(err::kInvalidColumn, 16, "Invalid column name '" + name + "'.");
            colids.insert(static_cast<int>(q.integer(0)));
        }
        return colids;
    }

    // The sysprotects rows of one object, grantee and action, by protecttype, with the
    // columns each covers (colid 0: all of them).
    using Rows = std::map<int, std::set<int>>;

    static Rows readRows(Database& db, int objectId, std::int64_t uid, int action) {
        Rows rows;
        sqlite::Statement q(db.handle(), "SELECT protecttype, columns FROM sysprotects WHERE id = ? AND uid = ? AND action = ?");
        q.bind(1, std::int64_t{objectId}).bind(2, uid).bind(3, std::int64_t{action});
        while (q.step()) {
            std::set<int>& columns = rows[static_cast<int>(q.integer(0))];
            const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(q.handle(), 1));
            const int size = sqlite3_column_bytes(q.handle(), 1);
            if (!bytes || size == 0) {
                columns.insert(0);
                continue;
            }
            for (int i = 0; i < size * 8; ++i)
                if (bytes[i / 8] & (1 << (i % 8))) columns.insert(i);
        }
        return rows;
    }

    static void writeRows(Database& db, int objectId, std::int64_t uid, int action, const Rows& rows, bool columned) {
        sqlite::Statement clear(db.handle(), "DELETE FROM sysprotects WHERE id = ? AND uid = ? AND action = ?");
        clear.bind(1, std::int64_t{objectId}).bind(2, uid).bind(3, std::int64_t{action}).step();
        sqlite::Statement insert(db.handle(),
                                 "INSERT INTO sysprotects (id, uid, action, protecttype, columns, grantor) "
                                 "VALUES (?, ?, ?, ?, ?, ?)");
        for (const auto& [type, columns] : rows) {
            if (columns.empty()) continue;
            insert.bind(1, std::int64_t{objectId}).bind(2, uid).bind(3, std::int64_t{action}).bind(4, std::int64_t{type});
            std::string bits;
            for (int colid : columns) {
                if (bits.size() <= static_cast<std::size_t>(colid / 8)) bits.resize(static_cast<std::size_t>(colid / 8 + 1), '\0');
                bits[static_cast<std::size_t>(colid / 8)] =
                    static_cast<char>(bits[static_cast<std::size_t>(colid / 8)] | (1 << (colid % 8)));
            }
            if (columned) insert.bindBlob(5, bits.data(), static_cast<int>(bits.size()));
            else insert.bindNull(5);
            insert.bind(6, std::int64_t{kDbo}).step();
            insert.reset();
        }
    }

    // Takes `columns` out of a row: the whole table (0) takes every column. Columns taken
    // out of a whole-table row leave it the others when `split` (REVOKE, and a GRANT over
    // a DENY); a DENY of some columns leaves a whole-table GRANT as it is, the DENY row
    // overriding it for those columns.
    static void remove(std::set<int>& row, const std::set<int>& columns, const std::vector<int>& allColids,
                       bool split = true) {
        if (columns.count(0)) {
            row.clear();
            return;
        }
        if (row.count(0)) {
            if (!split) return;
            row.erase(0);
            row.insert(allColids.begin(), allColids.end());
        }
        for (int c : columns) row.erase(c);
    }

    static void add(std::set<int>& row, const std::set<int>& columns) {
        if (row.count(0)) return;
        if (columns.count(0)) {
            row = {0};
            return;
        }
        row.insert(columns.begin(), columns.end());
    }

    static bool covers(const std::set<int>& row, const std::set<int>& columns) {
        if (row.empty()) return false;
        if (row.count(0) || columns.count(0)) return true;
        for (int c : columns)
            if (row.count(c)) return true;
        return false;
    }

    void apply(Database& db, int objectId, std::int64_t uid, int action, const std::set<int>& targets,
               const std::vector<int>& allColids) const {
        const bool columned = objectId != 0 && (action == 193 || action == 197 || action == 26);
        const std::set<int> columns = columned ? targets : std::set<int>{0};
        Rows rows = readRows(db, objectId, uid, action);
        if (kind != Kind::Grant && covers(rows[kGrantWithGrant], columns)) {
            // Quirk (SQL Server): the grantee may have passed the permission on.
            if (!cascade)
                throw ServerError(4611, 16, "To revoke or deny grantable privileges, specify the CASCADE option.");
            sqlite::Statement passedOn(db.handle(), "DELETE FROM sysprotects WHERE id = ? AND action = ? AND grantor = ?");
            passedOn.bind(1, std::int64_t{objectId}).bind(2, std::int64_t{action}).bind(3, uid).step();
        }
        switch (kind) {
            case Kind::Grant:
                remove(rows[kDeny], columns, allColids);
                if (withGrantOption) {
                    remove(rows[kGrant], columns, allColids);
                    add(rows[kGrantWithGrant], columns);
                } else if (!rows[kGrantWithGrant].count(0)) {
                    add(rows[kGrant], columns);
                }
                break;
            case Kind::Deny:
                remove(rows[kGrant], columns, allColids, false);
                remove(rows[kGrantWithGrant], columns, allColids, false);
                add(rows[kDeny], columns);
                break;
            case Kind::Revoke:
                if (grantOptionOnly) {
                    // REVOKE GRANT OPTION FOR: the permission stays, without the option.
                    std::set<int> kept = rows[kGrantWithGrant];
                    remove(rows[kGrantWithGrant], columns, allColids);
                    for (int c : kept)
                        if (!rows[kGrantWithGrant].count(c)) add(rows[kGrant], {c});
                    break;
                }
                for (int type : {kGrant, kGrantWithGrant, kDeny}) remove(rows[type], columns, allColids);
                break;
        }
        writeRows(db, objectId, uid, action, rows, columned);
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
    s->cascade = p.acceptWord("CASCADE");
    if (p.acceptWord("AS")) p.identifier();
    return s;
}

}  // namespace sandbox::tsql

namespace sandbox::tsql {
namespace {

std::string actionName(int action) {
    switch (action) {
        case 193: return "Select";
        case 195: return "Insert";
        case 196: return "Delete";
        case 197: return "Update";
        case 26: return "References";
        case 224: return "Execute";
        case 198: return "Create Table";
        case 203: return "Create Database";
        case 207: return "Create View";
        case 222: return "Create Procedure";
        case 228: return "Backup Database";
        case 233: return "Create Default";
        case 235: return "Backup Log";
        case 236: return "Create Rule";
        case 178: return "Create Function";
        default: return std::to_string(action);
    }
}

// A result column of text, as wide as its longest value.
ColumnMeta textColumn(const std::string& name, const std::vector<std::vector<std::string>>& rows, std::size_t at) {
    std::size_t longest = 1;
    for (const auto& row : rows) longest = std::max(longest, utf8Length(row[at]));
    ColumnMeta meta;
    meta.name = name;
    meta.type = SqlType::NVarChar;
    meta.length = static_cast<int>(2 * longest);
    return meta;
}

}  // namespace

// sp_helprotect [@name [, @username [, @grantorname [, @permissionarea]]]]: the
// permissions of sysprotects, one row per permission and column (Owner, Object, Grantee,
// Grantor, ProtectType Grant / Grant_WGO / Deny, Action, Column: "(All+New)" for a whole
// table or view, the column's name for a column permission, "." where columns do not
// apply; Owner and Object "." for statement permissions), ordered by them. @name is an
// object or a statement ("CREATE TABLE"); @permissionarea "o", "s" or "o s" (the
// default). 15330 when no row matches.
void spHelprotect(ExecContext& context, const ProcedureCall& call) {
    Database& db = context.db();
    const std::optional<std::string> name = call.argument(0, "@name");
    const std::optional<std::string> user = call.argument(1, "@username");
    const std::optional<std::string> grantor = call.argument(2, "@grantorname");
    const std::string area = lower(call.argument(3, "@permissionarea").value_or("o s"));
    const bool objects = area.find('o') != std::string::npos;
    const bool statements = area.find('s') != std::string::npos;
    std::vector<std::vector<std::string>> rows;
    sqlite::Statement q(db.handle(),
                        "SELECT p.id, COALESCE(ou.name, '.'), COALESCE(o.name, '.'), g.name, r.name, p.protecttype, "
                        "p.action, p.columns FROM sysprotects p JOIN sysusers g ON g.uid = p.uid "
                        "JOIN sysusers r ON r.uid = p.grantor LEFT JOIN sysobjects o ON o.id = p.id "
                        "LEFT JOIN sysusers ou ON ou.uid = o.uid");
    while (q.step()) {
        const bool isObject = q.integer(0) != 0;
        if ((isObject && !objects) || (!isObject && !statements)) continue;
        const std::string action = actionName(static_cast<int>(q.integer(6)));
        if (name && !(isObject ? iequals(q.text(2), *name) : iequals(action, *name))) continue;
        if (user && !iequals(q.text(3), *user)) continue;
        if (grantor && !iequals(q.text(4), *grantor)) continue;
        const auto type = q.integer(5);
        const std::string protect = type == 206 ? "Deny" : type == 204 ? "Grant_WGO" : "Grant";
        std::vector<std::string> base{q.text(1), q.text(2), q.text(3), q.text(4), protect, action};
        const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(q.handle(), 7));
        const int size = sqlite3_column_bytes(q.handle(), 7);
        if (!bytes || size == 0) {
            base.push_back(".");
            rows.push_back(base);
            continue;
        }
        if (bytes[0] & 1) {
            base.push_back("(All+New)");
            rows.push_back(base);
            continue;
        }
        sqlite::Statement columns(db.handle(), "SELECT colid, name FROM syscolumns WHERE id = ? AND number = 0 ORDER BY colid");
        columns.bind(1, q.integer(0));
        while (columns.step()) {
            const auto colid = columns.integer(0);
            if (colid / 8 < size && (bytes[colid / 8] & (1 << (colid % 8)))) {
                std::vector<std::string> row = base;
                row.push_back(columns.text(1));
                rows.push_back(std::move(row));
            }
        }
    }
    if (rows.empty()) throw ServerError(15330, 11, "There are no matching rows on which to report.");
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            const std::string x = lower(a[i]), y = lower(b[i]);
            if (x != y) return x < y;
        }
        return false;
    });
    RowSet result;
    const char* headings[] = {"Owner", "Object", "Grantee", "Grantor", "ProtectType", "Action", "Column"};
    for (std::size_t i = 0; i < 7; ++i) result.columns.push_back(textColumn(headings[i], rows, i));
    for (const auto& row : rows) {
        std::vector<db::Value> values;
        for (const auto& text : row) values.push_back(db::Value::text(text));
        result.rows.push_back(std::move(values));
    }
    const auto count = static_cast<std::int64_t>(result.rows.size());
    context.response().items.emplace_back(std::move(result));
    context.done(true, count);
}

}  // namespace sandbox::tsql
