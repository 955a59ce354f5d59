#pragma once

#include <CLI/CLI.hpp>

namespace cli {

// Finishes the help of the whole command line once every command is declared: adds
// --help-all and the footer on the environment and the files. --help-all lists the
// commands, then each command's options under a heading of its own ("Options of
// upgrade:"); the manual page and the shell completion are generated from that text, so
// keep its shape: headings end in a colon, options are indented.
void finishHelp(CLI::App& app);

}  // namespace cli
