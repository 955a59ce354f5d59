#pragma once

#include <benchmark/benchmark.h>

#include <functional>

#include "replay.h"

// The figures of a whole-run benchmark that watches the process's memory while a phase
// runs: the run timed with its peak of resident memory, the rounds folded into the best,
// and the closing lines printed.
namespace benchsupport {

// Runs `phase` once, timed, into m.wallSeconds; m.residentMegabytes is the process's
// resident memory just before (what earlier runs freed handed back to the system first)
// and m.peakMegabytes its peak while the phase ran.
void timeWithMemory(Measurement& m, const std::function<void()>& phase);

// Folds round `round` (from 0) into `best`: the lowest wall time, the lowest floor, the
// highest peak of memory (with the memory before it) and the last round's counts. The
// round's figures are printed under `name` (its memory only when it was watched).
void keepBest(Measurement& best, const Measurement& m, const char* name, int round);

// The counters of the best run and its line: "<name>: <rows> rows, wall ... (rows/s),
// floor ..., ratio ... (target <= 1.25), ... server batches, ... store statements, peak RSS
// ... MB (target <= 150 MB; ... MB before the phase)".
void reportRows(benchmark::State& state, const char* name, const Measurement& m, int rows);

// The counter and line of a run that moved one image of `imageBytes`: how much the process
// grew above what it held before the phase, also as a multiple of the image.
void reportImageGrowth(benchmark::State& state, const Measurement& m, int imageBytes);

}  // namespace benchsupport
