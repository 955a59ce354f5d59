#include "shell/cli/closing_notes.h"

#include <algorithm>

namespace cli {

std::string shellWord(const std::string& text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("_./,:=+-").find(c) != std::string_view::npos;
    });
    if (plain) return text;
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::optional<std::string> missingStoreNote(app::OperationOutcome outcome,
                                            const std::filesystem::path& storePath,
                                            const std::optional<std::filesystem::path>& homeOption) {
    std::error_code ec;
    if (outcome != app::OperationOutcome::Failed || std::filesystem::exists(storePath, ec)) {
        return std::nullopt;
    }
    const std::string home = homeOption ? " --home " + shellWord(homeOption->string()) : "";
    return "sqlupgrade-cli: " + storePath.string() + " not found; create one with sqlupgrade-cli" +
           home + " init-store";
}

std::optional<std::string> stoppedNote(const std::string& operation, app::OperationOutcome outcome,
                                       const app::MainForm& form, const std::string& lastProgress) {
    if (outcome != app::OperationOutcome::Failed) return std::nullopt;
    const std::string step =
        lastProgress.empty() ? "before its first phase" : "during \"" + lastProgress + "\"";
    return "sqlupgrade-cli: the " + operation + " of " + form.FXDatabase.text + " stopped " + step;
}

std::optional<std::string> upgradeNote(app::OperationOutcome outcome, const app::MainForm& form) {
    if (outcome == app::OperationOutcome::Cancelled) {
        return form.UpgradeGuardActive
                   ? "sqlupgrade-cli: upgrade cancelled; the upgrading mark in tbVersao was released."
                   : "sqlupgrade-cli: upgrade cancelled.";
    }
    if (outcome == app::OperationOutcome::Failed && form.UpgradeGuardActive) {
        return "sqlupgrade-cli: " + form.FXDatabase.text +
               " stays marked as being upgraded (upgrading in tbVersao), as a failed upgrade "
               "leaves it on purpose so that someone looks at the database; check it, then run "
               "again with --answer yes.";
    }
    return std::nullopt;
}

}  // namespace cli
