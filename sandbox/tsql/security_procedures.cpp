#include <functional>

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/exec_context.h"
#include "tsql/system_procedures.h"

namespace sandbox::tsql {
namespace {

constexpr std::int64_t kFirstUserRoleUid = 16400;  // user-defined roles, after the fixed roles
constexpr std::int64_t kFirstUserUid = 5;          // users, after dbo, guest and the schemas
constexpr std::int64_t kLastUserUid = 16383;

Database& master(ExecContext& context) {
    Database* db = context.databases().find("master");
    if (!db) throw ServerError(911, 16, "Could not locate entry in sysdatabases for database 'master'.");
    return *db;
}

// True when sysusers of the current database has a user or role of that name (compared
// as the catalog's collation compares names).
bool principalExists(Database& db, const std::string& name) {
    sqlite::Statement q(db.handle(), "SELECT 1 FROM sysusers WHERE name = ?");
    q.bind(1, name);
    return q.step();
}

// The next free uid in [first, last].
std::int64_t nextUid(Database& db, std::int64_t first, std::int64_t last) {
    sqlite::Statement q(db.handle(), "SELECT max(uid) FROM sysusers WHERE uid BETWEEN ? AND ?");
    q.bind(1, first).bind(2, last);
    q.step();
    return q.isNull(0) ? first : q.integer(0) + 1;
}

// Adds a sysusers row: a role (its own gid) or a SQL login's user (sid, gid of its role).
void addPrincipal(Database& db, std::int64_t uid, const std::string& name, bool role, const std::string* sid,
                  std::int64_t gid) {
    std::string now = formatStoredDateTime(sandbox::now());
    sqlite::Statement insert(db.handle(),
                             "INSERT INTO sysusers (uid, status, name, sid, roles, createdate, updatedate, altuid, "
                             "password, gid, environ, hasdbaccess, islogin, isntname, isntgroup, isntuser, issqluser, "
                             "isaliased, issqlrole, isapprole) VALUES (?, ?, ?, ?, NULL, ?, ?, ?, NULL, ?, NULL, ?, ?, 0, "
                             "0, 0, ?, 0, ?, 0)");
    insert.bind(1, uid).bind(2, std::int64_t{role ? 0 : 2}).bind(3, name);
    if (sid) insert.bindBlob(4, sid->data(), static_cast<int>(sid->size()));
    else insert.bindNull(4);
    insert.bind(5, now).bind(6, now);
    if (role) insert.bind(7, std::int64_t{1});
    else insert.bindNull(7);
    insert.bind(8, gid).bind(9, std::int64_t{role ? 0 : 1}).bind(10, std::int64_t{role ? 0 : 1});
    insert.bind(11, std::int64_t{role ? 0 : 1}).bind(12, std::int64_t{role ? 1 : 0});
    insert.step();
}

// A login's security identifier: 16 bytes, different for every login of the server.
std::string newSid(Database& masterDb, const std::string& name) {
    sqlite::Statement count(masterDb.handle(), "SELECT count(*) FROM syslogins");
    count.step();
    std::uint64_t a = std::hash<std::string>{}(lower(name));
    auto b = static_cast<std::uint64_t>(count.integer(0) + 1);
    std::string sid(16, '\0');
    for (int i = 0; i < 8; ++i) {
        sid[static_cast<std::size_t>(i)] = static_cast<char>((a >> (8 * i)) & 0xFF);
        sid[static_cast<std::size_t>(8 + i)] = static_cast<char>((b >> (8 * i)) & 0xFF);
    }
    return sid;
}

}  // namespace

// sp_addrole @rolename: a role in sysusers of the current database (uid from 16400, its
// own gid, issqlrole 1, owned by dbo). 15023 when a user or role has the name.
void spAddrole(ExecContext& context, const ProcedureCall& call) {
    std::string name = call.required(0, "@rolename");
    Database& db = context.db();
    if (principalExists(db, name))
        throw ServerError(15023, 16, "User or role '" + name + "' already exists in the current database.");
    std::int64_t uid = nextUid(db, kFirstUserRoleUid, 32766);
    addPrincipal(db, uid, name, true, nullptr, uid);
}

// sp_addlogin @loginame [, @passwd [, @defdb [, @deflanguage]]]: a SQL Server login, kept
// in master (syslogins and the server's login list) so that it outlives a restart and can
// log in with its password (none: the empty password). 15025 when the login exists,
// 15010 when the default database does not.
void spAddlogin(ExecContext& context, const ProcedureCall& call) {
    std::string name = call.required(0, "@loginame");
    std::string password = call.argument(1, "@passwd").value_or("");
    std::string database = call.argument(2, "@defdb").value_or("master");
    std::optional<std::string> language = call.argument(3, "@deflanguage");
    Database& masterDb = master(context);
    bool exists = iequals(name, "sa");
    {
        sqlite::Statement existing(masterDb.handle(), "SELECT 1 FROM \"~logins\" WHERE name = ?");
        existing.bind(1, name);
        exists = exists || existing.step();
    }
    if (exists) throw ServerError(15025, 16, "The login '" + name + "' already exists.");
    Database* defaultDatabase = context.databases().find(database);
    if (!defaultDatabase)
        throw ServerError(15010, 16, "The database '" + database + "' does not exist. Use sp_helpdb to show available databases.");
    std::string sid = newSid(masterDb, name);
    std::string now = formatStoredDateTime(sandbox::now());
    atomically(masterDb.handle(), [&] {
        sqlite::Statement login(masterDb.handle(), "INSERT INTO \"~logins\" (name, password, dbname, language) VALUES (?, ?, ?, ?)");
        login.bind(1, name).bind(2, password).bind(3, defaultDatabase->name());
        if (language) login.bind(4, *language);
        else login.bindNull(4);
        login.step();
        sqlite::Statement row(masterDb.handle(),
                              "INSERT INTO syslogins (sid, status, createdate, updatedate, accdate, totcpu, totio, "
                              "spacelimit, timelimit, resultlimit, name, dbname, password, language, denylogin, "
                              "hasaccess, isntname, isntgroup, isntuser, sysadmin, securityadmin, serveradmin, "
                              "setupadmin, processadmin, diskadmin, dbcreator, bulkadmin, loginname) VALUES (?, 9, ?, ?, "
                              "?, 0, 0, 0, 0, 0, ?, ?, NULL, ?, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, ?)");
        row.bindBlob(1, sid.data(), static_cast<int>(sid.size())).bind(2, now).bind(3, now).bind(4, now);
        row.bind(5, name).bind(6, defaultDatabase->name());
        if (language) row.bind(7, *language);
        else row.bindNull(7);
        row.bind(8, name).step();
    });
}

// sp_adduser @loginame [, @name_in_db [, @grpname]]: a database user for a login, in the
// role (public when none is named). Refused with 15014 for a role the database does not
// have, 15007 for an unknown login, 15023 when the user name is taken and 15063 when the
// login already has a user under another name.
void spAdduser(ExecContext& context, const ProcedureCall& call) {
    std::string loginName = call.required(0, "@loginame");
    std::string userName = call.argument(1, "@name_in_db").value_or(loginName);
    std::optional<std::string> roleName = call.argument(2, "@grpname");
    Database& db = context.db();
    std::int64_t gid = 0;
    if (roleName) {
        sqlite::Statement role(db.handle(), "SELECT uid FROM sysusers WHERE name = ? AND issqlrole = 1");
        role.bind(1, *roleName);
        if (!role.step()) throw ServerError(15014, 16, "The role '" + *roleName + "' does not exist in the current database.");
        gid = role.integer(0);
        role.reset();
    }
    std::string sid;
    {
        sqlite::Statement login(master(context).handle(), "SELECT sid FROM syslogins WHERE name = ?");
        login.bind(1, loginName);
        if (!login.step()) throw ServerError(15007, 16, "The login '" + loginName + "' does not exist.");
        const void* blob = sqlite3_column_blob(login.handle(), 0);
        sid.assign(static_cast<const char*>(blob), static_cast<std::size_t>(sqlite3_column_bytes(login.handle(), 0)));
    }
    if (principalExists(db, userName))
        throw ServerError(15023, 16, "User or role '" + userName + "' already exists in the current database.");
    {
        sqlite::Statement mapped(db.handle(), "SELECT 1 FROM sysusers WHERE sid = ?");
        mapped.bindBlob(1, sid.data(), static_cast<int>(sid.size()));
        if (mapped.step()) throw ServerError(15063, 16, "The login already has an account under a different user name.");
    }
    atomically(db.handle(), [&] {
        std::int64_t uid = nextUid(db, kFirstUserUid, kLastUserUid);
        addPrincipal(db, uid, userName, false, &sid, gid);
        if (gid != 0) {
            sqlite::Statement member(db.handle(), "INSERT INTO sysmembers (memberuid, groupuid) VALUES (?, ?)");
            member.bind(1, uid).bind(2, gid).step();
        }
    });
}

}  // namespace sandbox::tsql
