#include "sysdata/ordinary_rows.h"

#include "store/sql_value.h"
#include "sysdata/large_field_transfer.h"
#include "sysdata/row_execution.h"
#include "sysdata/system_data_statements.h"

namespace sysdata {

using upgrade::ExecutionMode;

void applyOrdinaryRow(upgrade::UpgradeRun& run, const StoredRow& row) {
    const std::string key = row.keyLiteral();
    if (!targetHasRow(run, keyProbeQuery(row.tabela, row.pkeyCampo, key))) {
        run.currentStatement = store::DeTransform(row.command());
        run.statements.execute(run.currentStatement, ExecutionMode::IgnoreErrors);
        transferLargeFields(run, row);
        logStatement(run, run.currentStatement);
        return;
    }
    if (!row.forceUpdate) return;
    runAsking(run, row.tabela, deleteRowStatement(row.tabela, row.pkeyCampo, key));
    applyInsertedRow(run, row);
}

void applyInsertedRow(upgrade::UpgradeRun& run, const StoredRow& row) {
    run.currentStatement = store::DeTransform(row.command());
    const std::optional<db::Error> failure =
        run.statements.execute(run.currentStatement, ExecutionMode::IgnoreErrors);
    transferLargeFields(run, row);
    if (failure) {
        run.statements.recordFailure(run.currentStatement, *failure);
        run.statements.askToContinue(*failure, [&row](const db::Error& error) {
            return tableQuestionText(row.tabela, error);
        });
    }
    logStatement(run, run.currentStatement);
}

}  // namespace sysdata
