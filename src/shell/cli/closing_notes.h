#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/operation_outcome.h"

namespace cli {

// The lines the command line adds after an operation's own messages, to tell a person
// what state the run left behind and what to do next. Each note is one line.

// After a failed capture or upgrade whose store file is not there: where it was looked
// for and how to create it. `homeOption` is the --home given, if any, so that the command
// shown creates the store where the next run will look. Example:
//   "sqlupgrade-cli: /opt/app/SQL.mdb not found; create one with sqlupgrade-cli init-store"
std::optional<std::string> missingStoreNote(app::OperationOutcome outcome,
                                            const std::filesystem::path& storePath,
                                            const std::optional<std::filesystem::path>& homeOption);

// After a failed capture or upgrade: which operation on which database stopped, and in
// which step, named by the last progress text shown (`lastProgress`, empty when none was
// shown yet), since an error such as a lost connection does not say what was being done.
// Nothing for other ends. Examples:
//   "sqlupgrade-cli: the upgrade of shop stopped during \"A carregar definições: Indexes ...\""
//   "sqlupgrade-cli: the capture of shop stopped before its first phase"
std::optional<std::string> stoppedNote(const std::string& operation, app::OperationOutcome outcome,
                                       const app::MainForm& form, const std::string& lastProgress);

// After an upgrade: for a failure with the upgrade guard raised, that the target stays
// marked as being upgraded and how to go on; for a cancel, that the run was cancelled
// (and the mark released when the guard was raised). Nothing for other ends.
std::optional<std::string> upgradeNote(app::OperationOutcome outcome, const app::MainForm& form);

// `text` as one word for a POSIX shell: unchanged when it holds only letters, digits and
// "_./,:=+-", otherwise in single quotes. Example: "/tmp/My Home" -> "'/tmp/My Home'".
std::string shellWord(const std::string& text);

}  // namespace cli
