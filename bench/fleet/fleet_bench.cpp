// bench_fleet: twenty generated targets (L/100: an older copy of a tenth of L/10)
// upgraded by `sqlupgrade-cli upgrade --targets` over a sandbox that holds each response
// back 5 ms, as targets on other machines would: once with --jobs 1 and once with
// --jobs 8, each on fresh copies, in one run of this program. For each: the wall time,
// the outcome of every target, and the peak resident memory of the fleet's whole process
// tree (the fleet and its target processes, sampled every 20 ms; code pages shared
// between the processes counted in each, so an upper bound), and of its largest process.
// Targets: --jobs 8 takes at most a quarter of the wall time of --jobs 1; peak RSS at
// most 150 MB + 20 MB per job.
//
//   cmake --preset release && cmake --build --preset release --target bench_fleet
//   build/release/bin/bench_fleet [--targets N] [--jobs N] [--latency-ms N] [--scale L100|L10]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "generated_database.h"
#include "process_memory.h"
#include "sandbox_server.h"
#include "temp_dir.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct FleetFigures {
    int exitCode = -1;
    double wallSeconds = 0;
    long peakTreeKilobytes = 0;
    long peakLargestKilobytes = 0;
};

// Runs argv (argv[0] a path, output into logBase.out/.err) and samples its process
// tree's memory until it ends.
FleetFigures runSampled(const std::vector<std::string>& argv, const std::filesystem::path& logBase) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (logBase.string() + ".out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (logBase.string() + ".err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    FleetFigures figures;
    const auto start = Clock::now();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
    int status = 0;
    for (;;) {
        const benchsupport::TreeMemory memory = benchsupport::treeResidentMemory(pid);
        figures.peakTreeKilobytes = std::max(figures.peakTreeKilobytes, memory.sumKilobytes);
        figures.peakLargestKilobytes = std::max(figures.peakLargestKilobytes, memory.largestKilobytes);
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    figures.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    figures.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return figures;
}

std::string databaseName(const std::string& set, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%02d", set.c_str(), index);
    return name;
}

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"A fleet of generated targets upgraded with --jobs 1 and --jobs N, against each other"};
    int targets = 20;
    int jobs = 8;
    int latencyMs = 5;
    std::string scaleName = "L100";
    app.add_option("--targets", targets, "Targets in each fleet (default: 20)")->check(CLI::Range(1, 99));
    app.add_option("--jobs", jobs, "Jobs of the parallel fleet (default: 8)")->check(CLI::Range(2, 64));
    app.add_option("--latency-ms", latencyMs, "The sandbox's --latency-ms (default: 5)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--scale", scaleName, "L100 or L10 (default: L100)")->check(CLI::IsMember({"L100", "L10"}));
    CLI11_PARSE(app, argc, argv);
    const std::filesystem::path bin = std::filesystem::canonical("/proc/self/exe").parent_path();
    const std::string cli = (bin / "sqlupgrade-cli").string();

    try {
        testsupport::TempDir folder("fleet-bench");
        const benchsupport::GeneratedScale scale = benchsupport::generatedScale(scaleName);
        using benchsupport::GeneratedVersion;
        benchsupport::writeGeneratedDatabase(folder / "reference.sql", scale, GeneratedVersion::Reference, false);
        benchsupport::writeGeneratedDatabase(folder / "older.sql", scale, GeneratedVersion::Older, true);
        testsupport::SandboxOptions options;
        options.loads = {{"reference", folder / "reference.sql"}};
        for (const char* set : {"serial", "parallel"}) {
            for (int i = 1; i <= targets; ++i) options.loads.emplace_back(databaseName(set, i), folder / "older.sql");
        }
        options.latencyMs = latencyMs;
        options.startTimeout = std::chrono::seconds(3600);
        std::printf("scale %s, %d targets, latency %d ms; load average %s; loading...\n", scale.name.c_str(),
                    targets, latencyMs, benchsupport::loadAverage().c_str());
        std::fflush(stdout);
        testsupport::SandboxServer server(options);
        const std::string address = "127.0.0.1," + std::to_string(server.port());
        ::setenv("BENCH_FLEET_PASSWORD", server.password().c_str(), 1);

        const std::filesystem::path home = folder / "home";
        std::filesystem::create_directories(home);
        const std::vector<std::string> connection{"-S", address, "-U", "sa", "-P", server.password()};
        std::vector<std::string> capture{cli, "--home", home.string(), "init-store"};
        if (testsupport::runCommand(capture).exitCode != 0) throw std::runtime_error("init-store failed");
        capture = {cli, "--home", home.string(), "capture", "-d", "reference"};
        capture.insert(capture.end(), connection.begin(), connection.end());
        const testsupport::CommandResult captured = testsupport::runCommand(capture, "", {}, std::chrono::seconds(3600));
        if (captured.exitCode != 0) throw std::runtime_error("the capture failed: " + captured.err);

        std::vector<FleetFigures> runs;
        for (const auto& [set, setJobs] : {std::pair<std::string, int>{"serial", 1}, {"parallel", jobs}}) {
            std::ofstream file(folder / (set + ".toml"));
            file << "[defaults]\nserver = \"" << address << "\"\nuser = \"sa\"\npassword_env = "
                 << "\"BENCH_FLEET_PASSWORD\"\nbackup = false\n";
            for (int i = 1; i <= targets; ++i) file << "\n[[target]]\ndatabase = \"" << databaseName(set, i) << "\"\n";
            file.close();
            const FleetFigures figures = runSampled(
                {cli, "--home", home.string(), "upgrade", "--targets", (folder / (set + ".toml")).string(), "--jobs",
                 std::to_string(setJobs), "--results", (folder / ("results-" + set)).string()},
                folder / set);
            if (figures.exitCode != 0) {
                throw std::runtime_error("the fleet with --jobs " + std::to_string(setJobs) + " ended with exit code " +
                                         std::to_string(figures.exitCode) + ":\n" +
                                         testsupport::readFile(folder / (set + ".out")) +
                                         testsupport::readFile(folder / (set + ".err")));
            }
            const double peakMb = static_cast<double>(figures.peakTreeKilobytes) / 1024;
            const double targetMb = 150 + 20.0 * setJobs;
            std::printf("--jobs %d: %d targets completed in %.2f s; peak RSS of the process tree %.1f MB "
                        "(target <= %.0f MB: %s), of its largest process %.1f MB\n",
                        setJobs, targets, figures.wallSeconds, peakMb, targetMb, verdict(peakMb <= targetMb),
                        static_cast<double>(figures.peakLargestKilobytes) / 1024);
            std::fflush(stdout);
            runs.push_back(figures);
        }
        const double ratio = runs[1].wallSeconds / runs[0].wallSeconds;
        std::printf("--jobs %d against --jobs 1: %.3f of the wall time (target <= 0.25: %s); load average %s\n",
                    jobs, ratio, verdict(ratio <= 0.25), benchsupport::loadAverage().c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_fleet: %s\n", e.what());
        return 1;
    }
}
