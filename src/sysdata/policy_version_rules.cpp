#include "sysdata/policy_version_rules.h"

#include "store/sql_value.h"
#include "sysdata/row_execution.h"
#include "sysdata/system_data_statements.h"

namespace sysdata {

bool policyWithoutGroups(std::string_view description) {
    const std::string lower = store::LowerCase(description);
    return lower.find("ocultar ") != std::string::npos ||
           lower.find("não permitir ") != std::string::npos;
}

void applySecurityPolicyRow(upgrade::UpgradeRun& run, const StoredRow& row) {
    const std::string code = textLiteral(row.pkeyValue);
    if (targetHasRow(run, rowProbeQuery(row.tabela, row.pkeyCampo, code))) return;
    const std::string description = row.comando ? textLiteral(*row.comando) : "null";
    runAsking(run, row.tabela,
              securityPolicyStatement(code, description, policyWithoutGroups(row.command())));
}

void applyVersionRow(upgrade::UpgradeRun& run, const StoredRow& row) {
    run.currentStatement = "DELETE FROM tbVersao";
    run.statements.execute(run.currentStatement, upgrade::ExecutionMode::AskOnError);
    logStatement(run, run.currentStatement);
    runAsking(run, row.tabela, store::DeTransform(row.command()));
}

}  // namespace sysdata
