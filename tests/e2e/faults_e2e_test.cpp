// Runs that die half-way and stores that cannot be written, through the command line
// against one sandbox: a connection cut before each batch of a capture and of an upgrade,
// the command line killed while the server holds a batch, and store files that are not
// stores, read-only or on a full disk. None may corrupt the store or leave a target that
// a second run cannot complete. The fixtures' names and data hold every character that
// breaks quoting, so each run also shows that they travel exactly.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <thread>

#include "faults_support.h"

namespace {

using ::testing::HasSubstr;
using testsupport::CommandResult;
using Lines = std::vector<std::string>;

constexpr int kExitFailed = 1;

// An upgrade that asks after every failed statement and answers as told: "no" ends the
// run at the first failure, "yes" goes past the guard a failed run left raised.
CommandResult upgrade(const e2e::FaultBench& bench, const std::string& database,
                      const std::string& answer = "no") {
    return bench.cli("upgrade", database, {"--no-backup", "--no-silent", "--answer", answer});
}

// The store without its statement log, which every upgrade rewrites.
Lines storeDefinitions(const e2e::FaultBench& bench) {
    Lines dump = bench.storeDump();
    std::erase_if(dump, [](const std::string& line) { return line.rfind("tbLogs: ", 0) == 0; });
    return dump;
}

TEST(UpgradeCut, EveryCutEndsInTheErrorHandlerAndASecondRunCompletesTheTarget) {
    e2e::FaultBench bench;
    ASSERT_EQ(bench.cli("capture", "faultref").exitCode, 0);
    const Lines definitions = storeDefinitions(bench);

    // Two uninterrupted runs: the first also adds the logins, so the second gives the
    // batch count of every later run, and both give the end state.
    bench.makeTarget("whole1");
    ASSERT_EQ(upgrade(bench, "whole1").exitCode, 0);
    bench.makeTarget("whole2");
    bench.cutAt(0);
    const CommandResult whole = upgrade(bench, "whole2");
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    const std::uint64_t batches = bench.batches();
    const Lines expected = bench.targetDump("whole2");
    ASSERT_EQ(bench.targetDump("whole1"), expected);
    ASSERT_GT(batches, 20u);

    for (std::uint64_t n = 1; n <= batches; ++n) {
        SCOPED_TRACE("cut before batch " + std::to_string(n));
        const std::string target = "cut" + std::to_string(n);
        bench.makeTarget(target);
        bench.cutAt(n);
        const CommandResult cut = upgrade(bench, target);
        bench.cutAt(0);
        EXPECT_EQ(cut.exitCode, kExitFailed) << cut.err;
        EXPECT_THAT(cut.err, HasSubstr("sqlupgrade-cli: the upgrade of " + target + " stopped "));
        EXPECT_EQ(bench.storeIntegrity(), "ok");
        EXPECT_EQ(storeDefinitions(bench), definitions);

        const CommandResult again = upgrade(bench, target, "yes");
        EXPECT_EQ(again.exitCode, 0) << again.err;
        EXPECT_EQ(bench.targetDump(target), expected);
    }
}

TEST(CaptureCut, EveryCutLeavesThePreviousStoreAsItWas) {
    e2e::FaultBench bench;
    bench.cutAt(0);
    ASSERT_EQ(bench.cli("capture", "faultref").exitCode, 0);
    const std::uint64_t batches = bench.batches();
    ASSERT_GT(batches, 20u);
    // The previous store holds another database's capture, so that a half-written
    // capture of the reference cannot pass for it.
    bench.makeTarget("older");
    ASSERT_EQ(bench.cli("capture", "older").exitCode, 0);
    const Lines previous = bench.storeDump();

    for (std::uint64_t n = 1; n <= batches; ++n) {
        SCOPED_TRACE("cut before batch " + std::to_string(n));
        bench.cutAt(n);
        const CommandResult cut = bench.cli("capture", "faultref");
        bench.cutAt(0);
        EXPECT_EQ(cut.exitCode, kExitFailed) << cut.err;
        EXPECT_THAT(cut.err, HasSubstr("sqlupgrade-cli: the capture of faultref stopped "));
        EXPECT_EQ(bench.storeIntegrity(), "ok");
        EXPECT_EQ(bench.storeDump(), previous);
    }
}

}  // namespace
