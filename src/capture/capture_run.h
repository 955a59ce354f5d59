#pragma once

#include <string>

#include "db/connection.h"
#include "app/connection_openers.h"
#include "app/host.h"
#include "app/main_form.h"
#include "app/operation_outcome.h"
#include "catalog/catalog_model.h"

namespace capture {

class ExclusionRules;

// The state one capture run shares with its phases.
struct CaptureRun {
    app::MainForm& form;
    app::Host& host;
    db::Connection& server;  // the reference database
    db::Connection& store;   // the definitions store
    std::string currentDataTable;  // shown by the error exit; empty until system data
    std::string failedCommands;    // data commands whose store insert failed
    // The reference's catalog read in a few queries, and its rules table read once; null:
    // each question goes to the reference item by item.
    catalog::Model* catalog = nullptr;
    ExclusionRules* exclusions = nullptr;
};

// Whether tbSQLUpdate leaves `name` out: the run's rules read once, or IsExcluded.
bool excluded(CaptureRun& run, const std::string& name);

// The structure capture behind Command1: start checks, the two connections (the reference
// one with the time-outs below), the phases
// in their fixed order, the completion message and clipboard, and the error exit. The
// whole run is one store transaction: a run that fails (or is killed) leaves the store
// exactly as it was.
app::OperationOutcome runCapture(app::MainForm& form, app::Host& host,
                                   const app::ConnectionOpeners& openers);

// Runs the capture phases in their fixed order on an open run (the store transaction is
// the caller's). Errors propagate.
void runCapturePhases(CaptureRun& run);

// The time-outs of the reference connection: a server that stops answering ends an
// unattended capture through its error exit instead of holding it forever.
inline constexpr int kCaptureCommandTimeoutSeconds = 30;
inline constexpr int kCaptureLoginTimeoutSeconds = 15;

// The message shown when a connection opened without reaching the open state.
inline constexpr const char* kCannotOpenDatabase = "Não foi possível abrir a base de dados SQL.";
inline constexpr const char* kDatabaseRequired = "Tem de definir uma base de dados!";
inline constexpr const char* kCaptureSucceeded =
    "As definições da base de dados foram guardadas com sucesso!";

}  // namespace capture
