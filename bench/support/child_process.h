#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace benchsupport {

// How a program run through bench_measure_child ended and what it took.
struct ChildFigures {
    int exitCode = -1;        // -1: ended by a signal
    long peakKilobytes = -1;  // the program's own peak resident memory (ru_maxrss)
    double wallSeconds = 0;   // from its start to its end
};

// Runs `argv` (argv[0] a path) through the launcher `measureChild` (bench_measure_child),
// with standard input empty and standard output and error into `logBase` + ".out" and
// ".err", and waits for it. The launcher forks the program from its own small image, so
// that the peak memory is the program's alone and not that of the benchmark which
// started it (a fork copies the parent's resident pages into the child's count). Throws
// std::runtime_error when the launcher cannot run or reports nothing.
ChildFigures runMeasuredChild(const std::filesystem::path& measureChild,
                              const std::vector<std::string>& argv,
                              const std::filesystem::path& logBase);

// The launcher's side: forks and runs argv[0] (a path) with the rest as its arguments,
// waits for it and writes "EXIT PEAK_KB WALL_S" to `figuresFile`. Returns the program's
// exit code (1 when it could not be started or ended by a signal).
int measureChild(const std::filesystem::path& figuresFile, const std::vector<std::string>& argv);

// The load averages of the last 1, 5 and 15 minutes, as /proc/loadavg gives them
// ("0.52 0.61 0.70"); empty when unknown.
std::string loadAverage();

}  // namespace benchsupport
