#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "db/error.h"
#include "upgrade/upgrade_run.h"

// How the system data update sends its statements: the question after a failure names the
// row's table, every statement of a row goes to the statement log (whose failures are let
// go), and the probes of the target are abort-on-error queries.
namespace sysdata {

// "Erro: [" + table + "] " + description + LF CR LF CR + "Deseja continuar?"
std::string tableQuestionText(std::string_view table, const db::Error& error);

// Ask-on-error execution: `sql` becomes the statement text and is sent; a failure asks
// the question naming `table` (unless FXSilence is ticked; No throws upgrade::AnsweredNo);
// then the statement is logged.
void runAsking(upgrade::UpgradeRun& run, std::string_view table, const std::string& sql);

// `sql` appended to the statement log; a failing log insert is let go.
void logStatement(upgrade::UpgradeRun& run, std::string_view sql);

// Whether the query finds a row in the target. Abort-on-error: a failure (a table the
// target lacks) throws db::Error. The query is closed before anything else is sent.
bool targetHasRow(upgrade::UpgradeRun& run, const std::string& query);

}  // namespace sysdata
