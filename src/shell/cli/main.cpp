#include <csignal>

#include "shell/cli/command_line.h"

int main(int argc, char** argv) {
    // Over a file-size limit a write then fails like one on a full disk, and the run ends
    // through its error exit, instead of the process being killed half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    return cli::runCommandLine(argc, argv);
}
