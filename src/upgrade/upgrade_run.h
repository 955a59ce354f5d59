#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"
#include "app/connection_openers.h"
#include "app/host.h"
#include "app/main_form.h"
#include "app/operation_outcome.h"
#include "catalog/catalog_model.h"
#include "upgrade/run_statistics.h"
#include "upgrade/statement_runner.h"

namespace upgrade {

// The state one upgrade run shares with its phases.
struct UpgradeRun {
    app::MainForm& form;
    app::Host& host;
    db::Connection& target;
    db::Connection& store;
    StatementRunner statements;
    // The object being processed, which the run error handler names: the key, index,
    // default, function, view or procedure of the row; empty outside such a phase
    // (cleared at the end of every phase).
    std::string currentObject;
    std::string currentStatement;  // the SQL text last built by a phase
    std::string currentTable;      // the tabela of the store row being processed
    // Set when an error left a phase loop while its record set stood on a row: the run
    // error handler then puts a blank after the description.
    bool failedOnPhaseRow = false;
    // The target's catalog as the run reads it in a few queries, kept fresh by the
    // statements runner; null: every catalog question goes to the target item by item.
    catalog::Model* catalog = nullptr;
    // What the run has done so far, step by step; the phases add what they created.
    RunStatistics statistics{};

    // The database name as the box holds it now, unquoted and unbracketed.
    const std::string& database() const { return form.FXDatabase.text; }
};

// One phase of the fixed sequence. `run` returns false to end the run through the run
// error handler (a phase that has already shown its own message returns false).
struct UpgradePhase {
    std::string name;  // empty for a step between phases, which is not counted as one
    std::function<bool(const app::MainForm&)> condition;  // null: always
    std::function<bool(UpgradeRun&)> run;
};

// Told as each step of a run (the backup, each phase) ends, with what it did and the
// run's record so far.
using StepEnded = std::function<void(const PhaseStatistics& step, const RunStatistics& run)>;

// The press of Command2 (also what the auto-start timer runs). While a run is going the
// button reads "&Cancelar" and a press only raises CancelRequested: that press returns
// nullopt. Otherwise it runs the whole upgrade with `phases` and returns how it ended.
// Before the guard is touched the run checks what it can without changing anything (the
// store opens, can be written and holds a captured table; the target has tbVersao) and
// refuses with one message saying what to do when a check fails. A complete run ends
// with host.unload(); a cancelled one enables the four connection boxes again with their
// normal background, since the window stays open. `statistics`, when given, receives what
// the run did however it ended, and `stepEnded` is told as each step ends. The product's
// phase list is phase_list::upgradePhases() (phase_list/upgrade_phases.h).
std::optional<app::OperationOutcome> pressUpgradeButton(app::MainForm& form, app::Host& host,
                                                          const app::ConnectionOpeners& openers,
                                                          const std::vector<UpgradePhase>& phases,
                                                          RunStatistics* statistics = nullptr,
                                                          const StepEnded& stepEnded = {});

inline constexpr const char* kGuardQuestionTitle = "SQL Database Server Upgrade";
inline constexpr const char* kUpgradeSucceeded =
    "As definições da base de dados foram actualizadas com sucesso!";

// The run error handler's message: the description, a blank when the error left a phase
// while its record set stood on a row, then LF CR LF CR + "Objecto: " + the current
// object, only when there is one. Examples: ("boom", true, "vwX") ->
// "boom \n\r\n\rObjecto: vwX"; ("Invalid object name 'tbVersao'.", false, "") ->
// "Invalid object name 'tbVersao'.".
std::string runErrorText(std::string_view description, bool onPhaseRow,
                         std::string_view currentObject);

// The guard question's text, line breaks included.
std::string guardQuestionText();

}  // namespace upgrade
