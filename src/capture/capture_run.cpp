#include "capture/capture_run.h"

#include <functional>
#include <vector>

#include "capture/capture_functions_views.h"
#include "capture/capture_keys_indexes_defaults.h"
#include "capture/capture_procedures.h"
#include "capture/capture_system_data.h"
#include "capture/capture_tables.h"
#include "capture/catalog_phase.h"
#include "capture/exclusion_rules.h"
#include "capture/is_excluded.h"
#include "db/error.h"

namespace capture {
namespace {

using app::mb::kInformation;

// The phases in their fixed order. Each later phase plugs in here from its own file.
std::vector<std::function<void(CaptureRun&)>> capturePhases() {
    return {
        [](CaptureRun& run) { runCatalogPhase(run, tablesPhase()); },
        [](CaptureRun& run) { runCatalogPhase(run, functionsPhase()); },
        [](CaptureRun& run) { runCatalogPhase(run, viewsPhase()); },
        [](CaptureRun& run) { runCatalogPhase(run, proceduresPhase()); },
        [](CaptureRun& run) { runCatalogPhase(run, indexesPhase()); },
        [](CaptureRun& run) { runCatalogPhase(run, primaryKeysPhase()); },
        [](CaptureRun& run) { runCatalogPhase(run, defaultsPhase()); },
        // Before the system data phase: clear the progress text, hide the capture button.
        [](CaptureRun& run) {
            run.form.FXEvolucao.caption.clear();
            run.form.Command1.visible = false;
            run.form.ProgressBar1.value = 0;
        },
        [](CaptureRun& run) { runCatalogPhase(run, systemDataPhase()); },
    };
}

// Opens a connection; a connection that comes back closed is reported as the run says.
template <typename Open>
std::unique_ptr<db::Connection> openChecked(Open&& open, app::Host& host) {
    std::unique_ptr<db::Connection> connection = open();
    if (!connection || !connection->isOpen()) {
        host.messageBox(kCannotOpenDatabase, kInformation, std::nullopt);
        return nullptr;
    }
    return connection;
}

// The error exit's message; the table label only where there is a table to name (the
// system data phase), never empty.
void showErrorExit(app::Host& host, const std::string& description, const std::string& table) {
    if (!description.empty()) {
        host.messageBox(description + (table.empty() ? "" : " | Current TABLE: " + table), kInformation,
                        std::nullopt);
    }
}

}  // namespace

bool excluded(CaptureRun& run, const std::string& name) {
    if (run.exclusions) return run.exclusions->isExcluded(name, run.host);
    return IsExcluded(name, run.server, run.host);
}

void runCapturePhases(CaptureRun& run) {
    for (const auto& phase : capturePhases()) phase(run);
}

app::OperationOutcome runCapture(app::MainForm& form, app::Host& host,
                                   const app::ConnectionOpeners& openers) {
    form.FXAuto.value = 0;
    if (form.FXDatabase.text.empty()) {
        host.messageBox(kDatabaseRequired, kInformation, std::nullopt);
        return app::OperationOutcome::Refused;
    }

    std::string currentDataTable;
    try {
        db::ServerSettings settings = app::serverSettingsFrom(form);
        settings.commandTimeoutSeconds = kCaptureCommandTimeoutSeconds;
        settings.connectTimeoutSeconds = kCaptureLoginTimeoutSeconds;
        auto server = openChecked([&] { return openers.openServer(settings); }, host);
        if (!server) return app::OperationOutcome::Failed;
        auto store = openChecked([&] { return openers.openStore(); }, host);
        if (!store) return app::OperationOutcome::Failed;

        catalog::Model model(*server);
        ExclusionRules exclusions(*server);
        CaptureRun run{form, host, *server, *store, {}, {}, &model, &exclusions};
        try {
            db::Transaction transaction(*store);
            runCapturePhases(run);
            transaction.commit();
        } catch (...) {
            currentDataTable = run.currentDataTable;
            throw;
        }

        host.messageBox(kCaptureSucceeded, kInformation, form.caption);
        if (server->isOpen()) server->close();
        host.setClipboard(run.failedCommands);
        return app::OperationOutcome::Completed;
    } catch (const db::Error& e) {
        showErrorExit(host, e.description(), currentDataTable);
    } catch (const std::exception& e) {
        showErrorExit(host, e.what(), currentDataTable);
    }
    return app::OperationOutcome::Failed;
}

}  // namespace capture
