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

// After an upgrade: for a failure with the upgrade guard raised, that the target stays
// marked as being upgraded and how to go on; for a cancel, that the run was cancelled
// (and the mark released when the guard was raised). Nothing for other ends.
std::optional<std::string> upgradeNote(app::OperationOutcome outcome, const app::MainForm& form);

// `text` as one word for a POSIX shell: unchanged when it holds only letters, digits and
// "_./,:=+-", otherwise in single quotes. Example: "/tmp/My Home" -> "'/tmp/My Home'".
std::string shellWord(const std::string& text);

}  // namespace cli
