// bench_measure_child FIGURES PROGRAM [ARGUMENTS...]: runs PROGRAM (a path) from this
// small process and writes its exit code, its own peak resident memory in kilobytes and
// its wall time in seconds to FIGURES; exits with PROGRAM's exit code. bench_full_run
// starts the product through it (see benchsupport::runMeasuredChild).
#include <cstdio>
#include <string>
#include <vector>

#include "child_process.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_measure_child FIGURES PROGRAM [ARGUMENTS...]\n");
        return 64;
    }
    return benchsupport::measureChild(argv[1], std::vector<std::string>(argv + 2, argv + argc));
}
