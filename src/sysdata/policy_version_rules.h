#pragma once

#include <string_view>

#include "sysdata/stored_row.h"
#include "upgrade/upgrade_run.h"

// The rules of two tables of the target application: its security policies, of which only
// new ones are added, and its version row, which the captured one replaces.
namespace sysdata {

// Whether a new policy is created assigned to no user group: its description holds
// "ocultar " or "não permitir " (each with its blank), in any letter case.
// Examples: "Ocultar custos" -> true; "Não permitir anular" -> true; "Ver e ocultar" -> false.
bool policyWithoutGroups(std::string_view description);

// A row of tbSecurityPolicies (key and description as stored, the description never
// DeTransformed): looked up by its quoted code; an existing policy is left as it is; a new
// one is inserted (see securityPolicyStatement) in ask-on-error execution, logged. A table
// the target lacks throws db::Error.
void applySecurityPolicyRow(upgrade::UpgradeRun& run, const StoredRow& row);

// A row of tbVersao: "DELETE FROM tbVersao" then the kept command, each in ask-on-error
// execution and logged; the deletion's question names no table ("Erro: " + description +
// LF CR LF CR + "Deseja continuar?"), the insert's names tbVersao.
void applyVersionRow(upgrade::UpgradeRun& run, const StoredRow& row);

}  // namespace sysdata
