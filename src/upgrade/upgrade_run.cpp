#include "upgrade/upgrade_run.h"

#include "db/error.h"
#include "store/sql_value.h"
#include "upgrade/database_backup.h"
#include "upgrade/phase_row_loop.h"

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

enum class GuardDecision { Proceed, Declined };

// Reads the first tbVersao row: a null upgrading clears the guard, a value raises it,
// and a non-zero value asks whether to go on (No is the default answer).
GuardDecision takeGuard(app::MainForm& form, app::Host& host, db::Connection& target) {
    db::Recordset versao = target.open("SELECT TOP 1 * FROM tbVersao");
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
                                                   const std::vector<UpgradePhase>& phases) {
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

    std::unique_ptr<db::Connection> target;
    std::unique_ptr<db::Connection> store;
    std::optional<catalog::Model> model;
    std::optional<UpgradeRun> run;
    try {
        db::ServerSettings settings = app::serverSettingsFrom(form);
        settings.commandTimeoutSeconds = 180;
        settings.connectTimeoutSeconds = 30;
        target = openers.openServer(settings);
        if (!target || !target->isOpen()) {
            finishFromTargetClose(form, host, target.get());
            return OperationOutcome::Failed;
        }
        if (takeGuard(form, host, *target) == GuardDecision::Declined) {
            return OperationOutcome::Refused;
        }
        store = openers.openStore();
        if (!store || !store->isOpen()) {
            finishFromStoreClose(form, host, *target, store.get());
            return OperationOutcome::Failed;
        }
        store->execute("DELETE FROM tbLogs");

        run.emplace(UpgradeRun{form, host, *target, *store,
                               StatementRunner(*target, *store, form, host, ExecutionMode::AbortOnError),
                               {}, {}, {}, false});
        if (form.FXBackup.ticked()) backupDatabase(*run);
        target->execute("ALTER DATABASE " + run->database() + " COLLATE Latin1_General_CI_AI");
        // Read on its first question, after the collation that decides how names compare.
        model.emplace(*target);
        run->catalog = &*model;
        run->statements.watch(&*model);

        for (const UpgradePhase& phase : phases) {
            if (phase.condition && !phase.condition(form)) continue;
            if (!phase.run(*run)) return runErrorHandler(form, host, std::nullopt, &*run);
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

}  // namespace upgrade
