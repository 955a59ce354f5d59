#include "sysdata/row_execution.h"

namespace sysdata {

using upgrade::ExecutionMode;

std::string tableQuestionText(std::string_view table, const db::Error& error) {
    return "Erro: [" + std::string(table) + "] " + error.description() + app::kLfCr + app::kLfCr +
           "Deseja continuar?";
}

void runAsking(upgrade::UpgradeRun& run, std::string_view table, const std::string& sql) {
    run.currentStatement = sql;
    run.statements.execute(sql, ExecutionMode::AskOnError, [table](const db::Error& error) {
        return tableQuestionText(table, error);
    });
    logStatement(run, sql);
}

void logStatement(upgrade::UpgradeRun& run, std::string_view sql) {
    run.statements.log(sql, ExecutionMode::IgnoreErrors);
}

bool targetHasRow(upgrade::UpgradeRun& run, const std::string& query) {
    db::Recordset probe = run.target.open(query, db::CursorType::Static, db::LockType::ReadOnly);
    const bool found = !probe.eof();
    probe.close();
    return found;
}

}  // namespace sysdata
