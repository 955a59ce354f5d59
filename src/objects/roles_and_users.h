#pragma once

#include <string>
#include <string_view>

#include "upgrade/upgrade_run.h"

namespace objects {

// The two database roles and the application users. Everything these phases send, the
// queries included, runs with errors ignored (a failed query finds nothing); they show no
// progress, do not move the bar, do not look for a cancel press and log nothing.

// Creates the roles nao_faz_nada and qv_nothing where sysusers lacks them. Always run.
upgrade::UpgradePhase rolesPhase();

// For every row of the target's own tbUsers (when it has one) whose descrit is neither
// NULL nor exactly "sa": a login and a database user in the role nao_faz_nada, unless
// sysusers has the name already. Always run.
upgrade::UpgradePhase usersPhase();

// SELECT * FROM sysusers WHERE name = 'nao_faz_nada'
std::string roleLookupQuery(std::string_view role);

// EXEC sp_addrole 'nao_faz_nada'
std::string addRoleStatement(std::string_view role);

// The user look-up, with a blank before the closing quote (the server ignores trailing
// blanks when it compares). The name's apostrophes are doubled, so that it arrives as
// data: d'Almeida -> SELECT * FROM sysusers WHERE name = 'd''Almeida '
std::string userLookupQuery(std::string_view user);

// A login without password, defaulting to the target database and us_english:
// (d'Almeida, app) -> EXEC sp_addlogin 'd''Almeida', null, 'app', 'us_english'
std::string addLoginStatement(std::string_view user, std::string_view database);

// The database user of the same name in the role nao_faz_nada (two blanks after the
// procedure's name): d'Almeida -> EXEC sp_adduser  'd''Almeida', 'd''Almeida', 'nao_faz_nada'
std::string addUserStatement(std::string_view user);

inline constexpr const char* kUsersRole = "nao_faz_nada";
inline constexpr const char* kSpareRole = "qv_nothing";

}  // namespace objects
