#include "upgrade/upgrade_run.h"

#include <chrono>

#include "db/error.h"
#include "store/sql_value.h"
#include "upgrade/database_backup.h"
#include "upgrade/phase_row_loop.h"
#include "upgrade/upgrade_preflight.h"

namespace upgrade {
namespace {

using app::mb::kInformation;
using app::OperationOutcome;

void setTextBoxes(app::MainForm& form, bool enabled, std::uint32_t colour) {
    for (app::TextBox* box : {&form.FXServer, &form.FXDatabase, &form.FXUsername, &form.FXPassword}) {
        box->enabled = enabled;
        box->backColour = colour;
    }
}

// The cancel press while a run is going.
void requestCancel(app::MainForm& form, app::Host& host) {
    form.Command2.enabled = false;
    host.repaint();
    form.CancelRequested = true;
    setTextBoxes(form, false, app::kButtonFaceColour);
}

// The run error handler: the pending error (if any) with the current object, then the
// button restored. Connections, the guard and the text boxes are left as they are.
OperationOutcome runErrorHandler(app::MainForm& form, app::Host& host,
                                 const std::optional<db::Error>& pending,
                                 const UpgradeRun* run) {
    if (pending && !pending->description().empty()) {
        host.messageBox(runErrorText(pending->description(), run && run->failedOnPhaseRow,
                                     run ? run->currentObject : std::string()),
                        kInformation, std::nullopt);
    }
    form.Command2.visible = true;
    form.Command2.caption = app::kUpgradeCaption;
    host.repaint();
    host.pumpEvents();
    return OperationOutcome::Failed;
}

// The end sequence from its item 3: target closed, button and text boxes restored,
// the window unloaded.
void finishFromTargetClose(app::MainForm& form, app::Host& host, db::Connection* target) {
    if (target && target->isOpen()) target->close();
    form.Command2.visible = true;
    form.Command2.caption = app::kUpgradeCaption;
    host.repaint();
    setTextBoxes(form, true, app::kWindowBackgroundColour);
    host.pumpEvents();
    host.unload();
}

// The end sequence from its item 2: store closed, guard released, then item 3.
void finishFromStoreClose(app::MainForm& form, app::Host& host, db::Connection& target,
                          db::Connection* store) {
    if (store && store->isOpen()) store->close();
    if (form.UpgradeGuardActive) target.execute("UPDATE tbVersao SET upgrading = 0");
    finishFromTargetClose(form, host, &target);
}

enum class GuardDecision { Proceed, Declined, NoVersionTable };

// Reads the first tbVersao row: a null upgrading clears the guard, a value raises it,
// and a non-zero value asks whether to go on (No is the default answer). A target
// without tbVersao is refused before anything is changed.
GuardDecision takeGuard(app::MainForm& form, app::Host& host, db::Connection& target) {
    db::Recordset versao;
    try {
        versao = target.open("SELECT TOP 1 * FROM tbVersao");
    } catch (const db::Error& e) {
        if (!isMissingVersionTable(e)) throw;
        return GuardDecision::NoVersionTable;
    }
    if (!versao.eof() && store::CheckField(versao, "upgrading")) {
        const db::Value upgrading = versao.field("upgrading").value();
        if (upgrading.isNull()) {
            form.UpgradeGuardActive = false;
        } else {
            form.UpgradeGuardActive = true;
            if (upgrading.asDouble() != 0.0) {
                const int answer = host.messageBox(
                    guardQuestionText(),
                    app::mb::kYesNo | app::mb::kQuestion | app::mb::kDefaultButton2,
                    kGuardQuestionTitle);
                if (answer == app::mb::kAnswerNo) {
                    versao.close();
                    target.close();
                    form.Command2.caption = app::kUpgradeCaption;
                    return GuardDecision::Declined;
                }
            }
        }
    }
    versao.close();
    if (form.UpgradeGuardActive) target.execute("UPDATE tbVersao SET upgrading = 1");
    return GuardDecision::Proceed;
}

// A refusal found before the guard: the one line on the host, the button restored and
// both connections closed; nothing was changed.
OperationOutcome refuse(app::MainForm& form, app::Host& host, const std::string& line,
                        std::unique_ptr<db::Connection>& target, std::unique_ptr<db::Connection>& store) {
    for (std::unique_ptr<db::Connection>* connection : {&target, &store}) {
        if (*connection && (*connection)->isOpen()) (*connection)->close();
    }
    host.messageBox(line, kInformation, std::nullopt);
    form.Command2.caption = app::kUpgradeCaption;
    host.repaint();
    return OperationOutcome::Refused;
}

// Runs one step of the run with a record of its own in the run's statistics: its duration
// set and `stepEnded` told when it ends, however it ends. A step without a name is run
// without a record.
template <typename Body>
bool runStep(UpgradeRun& run, const std::string& name, const StepEnded& stepEnded, Body&& body) {
    if (name.empty()) return body();
    run.statistics.phases.push_back(PhaseStatistics{name});
    const auto started = std::chrono::steady_clock::now();
    const auto ended = [&] {
        PhaseStatistics& step = run.statistics.phases.back();
        step.duration = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        if (stepEnded) stepEnded(step, run.statistics);
    };
    bool result = false;
    try {
        result = body();
    } catch (...) {
        ended();
        throw;
    }
    ended();
    return result;
}

// The run from the press on; `run` is made once both connections are open and checked,
// `model` once the collation is set. The caller owns both, the model declared first so
// that it outlives the run that points at it.
OperationOutcome runUpgrade(app::MainForm& form, app::Host& host, const app::ConnectionOpeners& openers,
                            const std::vector<UpgradePhase>& phases, std::optional<catalog::Model>& model,
                            std::optional<UpgradeRun>& run, const StepEnded& stepEnded) {
    std::unique_ptr<db::Connection> target;
    std::unique_ptr<db::Connection> store;
    const StoreLocation location{openers.storePath, openers.createStoreCommand.empty()
                                                        ? StoreLocation{}.createCommand
                                                        : openers.createStoreCommand};
    try {
        // The store is checked first: it is on this machine, and a run it cannot serve
        // must not reach the target's guard.
        try {
            store = openers.openStore();
        } catch (const db::Error& e) {
            return refuse(form, host, storeOpenRefusal(location, e), target, store);
        }
        if (!store || !store->isOpen()) {
            return refuse(form, host, storeOpenRefusal(location, db::Error(db::errc::kStoreError, "")), target,
                          store);
        }
        if (const auto refusal = storeRefusal(location, *store)) {
            return refuse(form, host, *refusal, target, store);
        }

        db::ServerSettings settings = app::serverSettingsFrom(form);
        settings.commandTimeoutSeconds = 180;
        settings.connectTimeoutSeconds = 30;
        target = openers.openServer(settings);
        if (!target || !target->isOpen()) {
            if (store->isOpen()) store->close();
            finishFromTargetClose(form, host, target.get());
            return OperationOutcome::Failed;
        }
        switch (takeGuard(form, host, *target)) {
            case GuardDecision::Declined:
                if (store->isOpen()) store->close();
                return OperationOutcome::Refused;
            case GuardDecision::NoVersionTable:
                return refuse(form, host, noVersionTableRefusal(form.FXDatabase.text), target, store);
            case GuardDecision::Proceed:
                break;
        }
        store->execute("DELETE FROM tbLogs");

        run.emplace(UpgradeRun{form, host, *target, *store,
                               StatementRunner(*target, *store, form, host, ExecutionMode::AbortOnError),
                               {}, {}, {}, false});
        run->statements.countInto(&run->statistics);
        if (form.FXBackup.ticked()) {
            runStep(*run, "backup", stepEnded, [&] {
                backupDatabase(*run);
                return true;
            });
        }
        target->execute("ALTER DATABASE " + run->database() + " COLLATE Latin1_General_CI_AI");
        // Read on its first question, after the collation that decides how names compare.
        model.emplace(*target);
        run->catalog = &*model;
        run->statements.watch(&*model);

        for (const UpgradePhase& phase : phases) {
            if (phase.condition && !phase.condition(form)) continue;
            if (!runStep(*run, phase.name, stepEnded, [&] { return phase.run(*run); })) {
                return runErrorHandler(form, host, std::nullopt, &*run);
            }
            run->currentObject.clear();  // a later phase's error never names this one's object
        }

        form.FXEvolucao.caption.clear();
        form.Command1.visible = false;
        host.messageBox(kUpgradeSucceeded, kInformation, form.caption);
        finishFromStoreClose(form, host, *target, store.get());
        return OperationOutcome::Completed;
    } catch (const RunCancelled&) {
        // The cancel press disabled the four connection boxes; the window stays open
        // after a cancel, so they are usable again once it has completed, as after a
        // complete run.
        setTextBoxes(form, true, app::kWindowBackgroundColour);
        host.repaint();
        return OperationOutcome::Cancelled;
    } catch (const AnsweredNo& no) {
        return runErrorHandler(form, host, no.error(), run ? &*run : nullptr);
    } catch (const db::Error& e) {
        return runErrorHandler(form, host, e, run ? &*run : nullptr);
    } catch (const std::exception& e) {
        return runErrorHandler(form, host, db::Error(db::errc::kServerError, e.what()),
                               run ? &*run : nullptr);
    }
}

}  // namespace

std::string runErrorText(std::string_view description, bool onPhaseRow,
                         std::string_view currentObject) {
    std::string text(description);
    if (onPhaseRow) text += ' ';
    if (!currentObject.empty()) {
        text += std::string(app::kLfCr) + app::kLfCr + "Objecto: " + std::string(currentObject);
    }
    return text;
}

std::string guardQuestionText() {
    const std::string breaks = std::string(app::kLfCr) + app::kLfCr;
    return "Já está em curso uma actualização da base de dados." + breaks +
           "Pretende continuar mesmo assim?" + breaks +
           "Nota: não é recomendado realizar multiplos upgrades ao servidor simultaneamente. "
           "Isto pode afectar a performance do processo de actualização do servidor.";
}

std::optional<OperationOutcome> pressUpgradeButton(app::MainForm& form, app::Host& host,
                                                   const app::ConnectionOpeners& openers,
                                                   const std::vector<UpgradePhase>& phases,
                                                   RunStatistics* statistics, const StepEnded& stepEnded) {
    form.FXAuto.value = 0;
    if (form.FXDatabase.text.empty()) {
        host.messageBox("Tem de definir uma base de dados!", kInformation, std::nullopt);
        return OperationOutcome::Refused;
    }
    if (form.Command2.caption == app::kCancelCaption) {
        requestCancel(form, host);
        return std::nullopt;
    }
    form.Command2.caption = app::kCancelCaption;
    host.repaint();
    host.pumpEvents();
    form.CancelRequested = false;

    const auto started = std::chrono::steady_clock::now();
    std::optional<catalog::Model> model;
    std::optional<UpgradeRun> run;
    const OperationOutcome outcome = runUpgrade(form, host, openers, phases, model, run, stepEnded);
    if (statistics) {
        *statistics = run ? std::move(run->statistics) : RunStatistics{};
        statistics->duration = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
    }
    return outcome;
}

}  // namespace upgrade
