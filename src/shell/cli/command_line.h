#pragma once

namespace cli {

// Exit codes, the same for every command.
inline constexpr int kExitCompleted = 0;
inline constexpr int kExitFailed = 1;     // ended through an error exit
inline constexpr int kExitRefused = 2;    // a start check refused before anything was touched
inline constexpr int kExitCancelled = 3;
inline constexpr int kExitUsage = 64;

// The whole command line: parses the arguments, runs the command, returns the exit code.
int runCommandLine(int argc, char** argv);

}  // namespace cli
