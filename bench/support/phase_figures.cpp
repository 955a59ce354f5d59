#include "phase_figures.h"

#include <malloc.h>

#include <chrono>
#include <cstdio>

#include "process_memory.h"

namespace benchsupport {
namespace {

constexpr double kTargetRatio = 1.25;
constexpr double kTargetPeakMegabytes = 150;

double megabytes(long kilobytes) { return static_cast<double>(kilobytes) / 1024.0; }

}  // namespace

void timeWithMemory(Measurement& m, const std::function<void()>& phase) {
    malloc_trim(0);  // what earlier runs freed goes back to the system: "before" is now
    m.residentMegabytes = megabytes(residentKilobytes());
    resetPeakResidentMemory();
    const auto start = std::chrono::steady_clock::now();
    phase();
    m.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.peakMegabytes = megabytes(peakResidentKilobytes());
}

void keepBest(Measurement& best, const Measurement& m, const char* name, int round) {
    std::printf("%s round %d: wall %.2f s, floor %.2f s", name, round, m.wallSeconds,
                m.floorSeconds);
    if (m.peakMegabytes > 0) {
        std::printf(", peak %.1f MB (%.1f MB before)", m.peakMegabytes, m.residentMegabytes);
    }
    std::printf("\n");
    if (round == 0 || m.wallSeconds < best.wallSeconds) best.wallSeconds = m.wallSeconds;
    if (round == 0 || m.floorSeconds < best.floorSeconds) best.floorSeconds = m.floorSeconds;
    if (m.peakMegabytes > best.peakMegabytes) {
        best.peakMegabytes = m.peakMegabytes;
        best.residentMegabytes = m.residentMegabytes;
    }
    best.serverBatches = m.serverBatches;
    best.storeStatements = m.storeStatements;
}

void reportRows(benchmark::State& state, const char* name, const Measurement& m, int rows) {
    const double ratio = m.wallSeconds / m.floorSeconds;
    state.counters["wall_s"] = m.wallSeconds;
    state.counters["rows_per_s"] = rows / m.wallSeconds;
    state.counters["floor_s"] = m.floorSeconds;
    state.counters["ratio"] = ratio;
    state.counters["server_batches"] = static_cast<double>(m.serverBatches);
    state.counters["store_statements"] = static_cast<double>(m.storeStatements);
    state.counters["peak_MB"] = m.peakMegabytes;
    std::printf(
        "%s: %d rows, wall %.2f s (%.0f rows/s), floor %.2f s, ratio %.3f (target <= %.2f), %zu "
        "server batches, %zu store statements, peak RSS %.1f MB (target <= %.0f MB; %.1f MB "
        "before the phase)\n",
        name, rows, m.wallSeconds, rows / m.wallSeconds, m.floorSeconds, ratio, kTargetRatio,
        m.serverBatches, m.storeStatements, m.peakMegabytes, kTargetPeakMegabytes,
        m.residentMegabytes);
}

void reportImageGrowth(benchmark::State& state, const Measurement& m, int imageBytes) {
    const double growth = m.peakMegabytes - m.residentMegabytes;
    state.counters["peak_growth_MB"] = growth;
    std::printf(
        "one image of %.0f MB: wall %.2f s, peak RSS %.1f MB, %.1f MB above the %.1f MB before the "
        "phase (%.1f times the image)\n",
        imageBytes / 1e6, m.wallSeconds, m.peakMegabytes, growth, m.residentMegabytes,
        growth * 1024 * 1024 / imageBytes);
}

}  // namespace benchsupport
