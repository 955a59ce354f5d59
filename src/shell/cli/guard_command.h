#pragma once

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iosfwd>

#include "db/connection.h"
#include "shell/cli/console_host.h"

namespace cli {

// `sqlupgrade-cli guard status` and `guard clear`, each with the usual connection
// options, which the caller adds to both.
struct GuardCommands {
    CLI::App* status = nullptr;
    CLI::App* clear = nullptr;
    AnswerPolicy answer = AnswerPolicy::Ask;  // clear's --answer
};

// Declares the command `guard`, its two commands and clear's --answer into `commands`.
void addGuardCommands(CLI::App& app, GuardCommands& commands);

// `guard status`: one line on standard output that begins with "raised" or "not raised"
// (fleet::guardStatusLine), who raised it as far as the program folder's ledger knows.
// Exit 0 either way; 1, with the reason on `err`, when it cannot tell (no connection,
// no tbVersao).
int runGuardStatus(const db::ServerSettings& settings, const std::filesystem::path& ledger,
                   std::ostream& out, std::ostream& err);

// `guard clear`: the status line, then for a raised guard the question whether to lower
// it (No by default; `host` asks or answers by its policy), then "UPDATE tbVersao SET
// upgrading = 0" and a ledger record. Exit 0 when lowered or not raised, 2 when the
// answer was No, 1 when it cannot tell or the update failed.
int runGuardClear(const db::ServerSettings& settings, const std::filesystem::path& ledger,
                  ConsoleHost& host, std::ostream& out, std::ostream& err);

}  // namespace cli
