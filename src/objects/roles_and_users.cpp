#include "objects/roles_and_users.h"

#include "db/error.h"
#include "store/sql_value.h"

namespace objects {
namespace {

using upgrade::ExecutionMode;
using upgrade::UpgradeRun;

constexpr ExecutionMode kIgnore = ExecutionMode::IgnoreErrors;

// The start of a literal of the text: N' or '.
std::string opening(std::string_view text) { return std::string(store::ServerLiteralOpening(text)); }

// A text between apostrophes as T-SQL reads it, kept whole (no trimming).
std::string literal(std::string_view text) { return opening(text) + store::DoubleApostrophes(text) + "'"; }

// Whether the catalog model finds it or, when it cannot answer, whether `query`, run with
// errors ignored, returns a row.
bool findsRow(UpgradeRun& run, const std::optional<bool>& modelAnswer, const std::string& query) {
    if (modelAnswer) return *modelAnswer;
    db::Recordset rows = run.statements.open(query, kIgnore);
    const bool found = !rows.eof();
    rows.close();
    return found;
}

std::optional<bool> userInModel(UpgradeRun& run, std::string_view name) {
    return run.catalog ? run.catalog->hasUser(name) : std::nullopt;
}

bool addMissingRoles(UpgradeRun& run) {
    for (const char* role : {kUsersRole, kSpareRole}) {
        if (!findsRow(run, userInModel(run, role), roleLookupQuery(role)))
            run.statements.execute(addRoleStatement(role), kIgnore, catalog::Change::ofUsers());
    }
    return true;
}

// The login and the user of one tbUsers name, unless sysusers has the name already.
void addUser(UpgradeRun& run, const std::string& user) {
    if (findsRow(run, userInModel(run, user), userLookupQuery(user))) return;
    run.statements.execute(addLoginStatement(user, run.database()), kIgnore, catalog::Change::ofUsers());
    run.statements.execute(addUserStatement(user), kIgnore, catalog::Change::ofUsers());
}

bool addMissingUsers(UpgradeRun& run) {
    const std::optional<bool> tbUsers =
        run.catalog ? run.catalog->hasObjectNamed("tbUsers") : std::nullopt;
    if (!findsRow(run, tbUsers,
                  "SELECT sysobjects.name FROM sysobjects WHERE sysobjects.name = 'tbUsers'"))
        return true;
    db::Recordset users = run.statements.open("SELECT * FROM tbUsers", kIgnore);
    // A tbUsers without descrit names nobody.
    const auto descrit = users.fieldIndex("descrit");
    try {
        for (; descrit && !users.eof(); users.moveNext()) {
            const db::Value name = users.field(*descrit).value();
            if (name.isNull() || name.toText() == "sa") continue;  // sa is never touched
            addUser(run, name.toText());
        }
    } catch (const db::Error&) {  // the rest of tbUsers could not be read: ignored too
    }
    return true;
}

}  // namespace

std::string roleLookupQuery(std::string_view role) {
    return "SELECT * FROM sysusers WHERE name = " + literal(role);
}

std::string addRoleStatement(std::string_view role) { return "EXEC sp_addrole " + literal(role); }

std::string userLookupQuery(std::string_view user) {
    return "SELECT * FROM sysusers WHERE name = " + opening(user) + store::DoubleApostrophes(user) + " '";
}

std::string addLoginStatement(std::string_view user, std::string_view database) {
    return "EXEC sp_addlogin " + literal(user) + ", null, " + literal(database) + ", 'us_english'";
}

std::string addUserStatement(std::string_view user) {
    return "EXEC sp_adduser  " + literal(user) + ", " + literal(user) + ", " + literal(kUsersRole);
}

upgrade::UpgradePhase rolesPhase() { return {"roles", nullptr, addMissingRoles}; }

upgrade::UpgradePhase usersPhase() { return {"logins and users", nullptr, addMissingUsers}; }

}  // namespace objects
