// Runs that die half-way and stores that cannot be written, through the command line
// against one sandbox: a connection cut before each batch of a capture and of an upgrade,
// the command line killed while the server holds a batch, and store files that are not
// stores, read-only or on a full disk. None may corrupt the store or leave a target that
// a second run cannot complete. The fixtures' names and data hold every character that
// breaks quoting, so each run also shows that they travel exactly.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "e2e_support.h"
#include "faults_support.h"

namespace {

using ::testing::HasSubstr;
using testsupport::CommandResult;
using Lines = std::vector<std::string>;

constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;
constexpr int kExitCancelled = 3;

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

// After an upgrade of `target` died half-way: the store opens whole with the definitions
// it had, and a second run, past the guard the first left raised, brings the target to
// the end state of an uninterrupted run.
void expectRecoverable(const e2e::FaultBench& bench, const std::string& target, const Lines& definitions,
                       const Lines& expected) {
    EXPECT_EQ(bench.storeIntegrity(), "ok");
    EXPECT_EQ(storeDefinitions(bench), definitions);

    const CommandResult again = upgrade(bench, target, "yes");
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(bench.targetDump(target), expected);
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
    ASSERT_THAT(whole.err, HasSubstr("A carregar definições: Dados de Sistema ...\n"));
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
        expectRecoverable(bench, target, definitions, expected);
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

// The lines of a target dump that describe its structure, not its rows.
Lines structureOf(const Lines& dump) {
    Lines structure;
    for (const std::string& line : dump) {
        for (const char* kind : {"object: ", "column: ", "index key: ", "default: ", "module: "})
            if (line.rfind(kind, 0) == 0) structure.push_back(line);
    }
    return structure;
}

// Every store row that names the odd table, view or function, or holds its rows.
Lines oddStoreRows(const e2e::FaultBench& bench) {
    Lines odd;
    for (const std::string& line : bench.storeDump())
        if (line.find("Σύμβολα") != std::string::npos || line.find("Διπλό") != std::string::npos) odd.push_back(line);
    return odd;
}

TEST(OddNames, ACaptureAndAnUpgradeCarryThemExactlyAndInjectNothing) {
    e2e::FaultBench bench;
    ASSERT_EQ(bench.cli("capture", "faultref").exitCode, 0);
    // Names as the catalog holds them; the rows' texts with !39! for their apostrophes,
    // their own !39! split over two literals, wide texts outside the code page as N
    // literals.
    const std::string table = "[tbΣύμβολα']];--!39!] (id, [Имя']];--!39!], [名前;--], новый) VALUES ";
    EXPECT_EQ(oddStoreRows(bench),
              (Lines{"tbObjects: 12|tbΣύμβολα'];--!39!|id|int|4|10|0|0|0|NULL",
                     "tbObjects: 13|tbΣύμβολα'];--!39!|Имя'];--!39!|nvarchar|120|0|0|1|0|(N'Ж''];--!39!')",
                     "tbObjects: 14|tbΣύμβολα'];--!39!|名前;--|varchar|30|0|0|1|0|NULL",
                     "tbObjects: 15|tbΣύμβολα'];--!39!|новый|int|4|10|0|1|0|NULL",
                     "tbFunctions: 1|fnΔιπλό'];--|CREATE FUNCTION [dbo].[fnΔιπλό']];--] (@τιμή int)\n"
                     "RETURNS int\nAS\nBEGIN\n    RETURN @τιμή * 2 -- ']; !39!\nEND\n",
                     "tbViews: 1|vwΣύμβολα'];--|CREATE VIEW [dbo].[vwΣύμβολα']];--]\nAS\n"
                     "SELECT [id], [Имя']];--!39!] AS [Όνομα'] FROM [dbo].[tbΣύμβολα']];--!39!] -- '; DROP "
                     "TABLE tbUsers\n",
                     "tbIndexes: 1|IX_Имя'];--|tbΣύμβολα'];--!39!|Имя'];--!39!",
                     "tbPrimary_Keys: 4|PK_Σύμβολα'];--|tbΣύμβολα'];--!39!|id",
                     "tbDefaults: 3|DF_Имя'];--|tbΣύμβολα'];--!39!|Имя'];--!39!|(N'Ж''];--!39!')",
                     "tbDados: tbΣύμβολα'];--!39!|id|1|INSERT INTO " + table +
                         "(1, N'Ωμέγα!39!); DROP TABLE tbUsers; --!' + N'39!', 'O!39!Neil]; --', 7)|False|False|False",
                     "tbDados: tbΣύμβολα'];--!39!|id|2|INSERT INTO " + table +
                         "(2, N'漢字 Щука !' + N'39! ]]', '!' + '39!', null)|False|False|False",
                     "tbDados: tbΣύμβολα'];--!39!|id|3|INSERT INTO " + table +
                         "(3, null, null, null)|False|False|False"}));

    bench.makeTarget("target");
    const CommandResult upgraded = upgrade(bench, "target");
    ASSERT_EQ(upgraded.exitCode, 0) << upgraded.err;
    const Lines dump = bench.targetDump("target");
    // The target's structure is the reference's, the system rows are the reference's
    // beside its own, its users are the names tbUsers holds, and tbUsers and its rows
    // are still there.
    const Lines reference = bench.targetDump("faultref");
    EXPECT_EQ(structureOf(dump), structureOf(reference));
    Lines rows;
    Lines referenceRows;
    for (const std::string& line : dump)
        if (line.rfind("odd: ", 0) == 0) rows.push_back(line);
    for (const std::string& line : reference)
        if (line.rfind("odd: ", 0) == 0) referenceRows.push_back(line);
    referenceRows.push_back("odd: 5|Ψ'];--|a'b]|NULL");
    EXPECT_EQ(rows, referenceRows);
    EXPECT_EQ(referenceRows.front(), "odd: 1|Ωμέγα'); DROP TABLE tbUsers; --!39!|O'Neil]; --|7");
    Lines users;
    for (const std::string& line : dump)
        if (line.rfind("user: ", 0) == 0 || line.rfind("tbUsers: ", 0) == 0) users.push_back(line);
    EXPECT_EQ(users, (Lines{"user: Πέτρος'];--!39!|nao_faz_nada", "user: Жанна'); DROP TABLE tbUsers; --|nao_faz_nada",
                            "tbUsers: 1|Πέτρος'];--!39!", "tbUsers: 2|Жанна'); DROP TABLE tbUsers; --"}));
}

// Starts the command line, waits until the server holds the run's n-th batch, and kills
// the command line with SIGKILL there.
CommandResult killedAtBatch(e2e::FaultBench& bench, std::uint64_t n, const std::vector<std::string>& argv) {
    bench.holdAt(n);
    testsupport::BackgroundCommand command(argv, "", bench.cliEnvironment());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (bench.batches() < n && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    command.kill(SIGKILL);
    CommandResult killed = command.wait();
    bench.holdAt(0);
    return killed;
}

TEST(KilledRun, ACaptureKilledHalfWayLeavesThePreviousStore) {
    e2e::FaultBench bench;
    bench.cutAt(0);
    ASSERT_EQ(bench.cli("capture", "faultref").exitCode, 0);
    const std::uint64_t batches = bench.batches();
    bench.makeTarget("older");
    ASSERT_EQ(bench.cli("capture", "older").exitCode, 0);
    const Lines previous = bench.storeDump();

    // Early, half-way, and in the system data phase.
    for (const std::uint64_t n : {std::uint64_t{3}, batches / 2, batches - 1}) {
        SCOPED_TRACE("killed at batch " + std::to_string(n));
        const CommandResult killed = killedAtBatch(bench, n, bench.cliArguments("capture", "faultref"));
        EXPECT_EQ(killed.exitCode, -1) << killed.err;
        EXPECT_EQ(bench.storeIntegrity(), "ok");
        EXPECT_EQ(bench.storeDump(), previous);
    }
}

TEST(KilledRun, AnUpgradeKilledHalfWayLeavesAStoreThatOpensAndATargetASecondRunCompletes) {
    e2e::FaultBench bench;
    ASSERT_EQ(bench.cli("capture", "faultref").exitCode, 0);
    const Lines definitions = storeDefinitions(bench);
    bench.makeTarget("whole");
    bench.cutAt(0);
    ASSERT_EQ(upgrade(bench, "whole").exitCode, 0);
    const std::uint64_t batches = bench.batches();
    const Lines expected = bench.targetDump("whole");

    for (const std::uint64_t n : {std::uint64_t{4}, batches / 2, batches - 2}) {
        SCOPED_TRACE("killed at batch " + std::to_string(n));
        const std::string target = "killed" + std::to_string(n);
        bench.makeTarget(target);
        const CommandResult killed = killedAtBatch(
            bench, n, bench.cliArguments("upgrade", target, {"--no-backup", "--no-silent", "--answer", "no"}));
        EXPECT_EQ(killed.exitCode, -1) << killed.err;
        expectRecoverable(bench, target, definitions, expected);
    }
}

// A second signal more than a second after the first ends the program at once, even while
// the server holds a batch: the mark the run raised is released first, on a connection of
// its own, and the command line says so.
TEST(KilledRun, ASecondSignalEndsAtOnceAndReleasesTheMark) {
    e2e::FaultBench bench;
    ASSERT_EQ(bench.cli("capture", "faultref").exitCode, 0);
    bench.makeTarget("whole");
    bench.cutAt(0);
    ASSERT_EQ(upgrade(bench, "whole").exitCode, 0);
    const std::uint64_t half = bench.batches() / 2;

    bench.makeTarget("held");
    bench.holdAt(half);
    testsupport::BackgroundCommand command(bench.cliArguments("upgrade", "held", {"--no-backup"}), "",
                                           bench.cliEnvironment());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (bench.batches() < half && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    command.kill(SIGINT);  // the cancel press: it waits for the held batch
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    command.kill(SIGINT);
    const CommandResult ended = command.wait();
    bench.holdAt(0);
    EXPECT_EQ(ended.exitCode, kExitCancelled) << ended.err;
    EXPECT_THAT(ended.err, testing::EndsWith("sqlupgrade-cli: upgrade ended at once; the upgrading mark in tbVersao "
                                             "of held was released.\n"));
    EXPECT_EQ(e2e::queryRows(*bench.openServer("held"), "SELECT upgrading FROM tbVersao"), Lines{"0"});
}

TEST(BrokenStore, AFileThatIsNotAStoreIsNamedAndLeftAsItWas) {
    e2e::FaultBench bench;
    bench.makeTarget("target");
    const std::string text = "[Defs]\r\nserver=srv01\r\n";
    testsupport::writeFile(bench.storeFile(), text);
    const std::string refused =
        "SQL Database Upgrade: The file '" + bench.storeFile().string() + "' is a text file, not a definitions store.";

    const CommandResult capture = bench.cli("capture", "faultref");
    EXPECT_EQ(capture.exitCode, kExitFailed);
    EXPECT_THAT(capture.err, HasSubstr(refused + "\n"));
    // The upgrade refuses before it touches the target.
    const CommandResult upgraded = upgrade(bench, "target");
    EXPECT_EQ(upgraded.exitCode, kExitRefused);
    EXPECT_THAT(upgraded.err, HasSubstr(refused));
    EXPECT_EQ(testsupport::readFile(bench.storeFile()), text);
}

// As root every file is writable: the command line then runs as nobody, in a folder and
// on a store that only root may write.
TEST(BrokenStore, AReadOnlyStoreEndsTheRunWithAMessageNamingIt) {
    e2e::FaultBench bench;
    ASSERT_EQ(bench.cli("capture", "faultref").exitCode, 0);
    bench.makeTarget("target");
    const Lines stored = bench.storeDump();
    std::filesystem::permissions(bench.storeFile(), std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::group_read |
                                                        std::filesystem::perms::others_read);
    std::vector<std::string> prefix;
    if (::geteuid() == 0) {
        for (auto folder = bench.home().path(); folder != folder.parent_path(); folder = folder.parent_path())
            std::filesystem::permissions(folder, std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
        std::filesystem::permissions(bench.home().path(), std::filesystem::perms::others_read,
                                     std::filesystem::perm_options::add);
        prefix = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    }
    const auto asReader = [&](std::vector<std::string> argv) {
        argv.insert(argv.begin(), prefix.begin(), prefix.end());
        return testsupport::runCommand(argv, "", bench.cliEnvironment());
    };

    const CommandResult capture = asReader(bench.cliArguments("capture", "faultref"));
    EXPECT_EQ(capture.exitCode, kExitFailed);
    EXPECT_THAT(capture.err, HasSubstr(bench.storeFile().string()));
    // The upgrade checks before it touches the target that it can write its statement log.
    const CommandResult upgraded =
        asReader(bench.cliArguments("upgrade", "target", {"--no-backup", "--no-silent", "--answer", "no"}));
    EXPECT_EQ(upgraded.exitCode, kExitRefused);
    EXPECT_THAT(upgraded.err, HasSubstr("SQL Database Upgrade: The definitions store " + bench.storeFile().string() +
                                        " cannot be written ("));
    EXPECT_THAT(upgraded.err, HasSubstr("give the user who runs the upgrade write permission on the file and its "
                                        "folder.\n"));
    EXPECT_EQ(e2e::queryRows(*bench.openServer("target"), "SELECT upgrading FROM tbVersao"), Lines{"0"});
    std::filesystem::permissions(bench.storeFile(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    EXPECT_EQ(bench.storeDump(), stored);
}

// A full disk, as a file-size limit on the command line's process: every limit from
// one that stops the store's first write to one that lets the capture through ends in
// a message and an error exit (or, for an upgrade, a refusal), or in success, and never
// in a killed process or a half-written store.
TEST(BrokenStore, AFullDiskEndsTheRunWithAMessageAndLeavesTheStoreWhole) {
    e2e::FaultBench bench;
    bench.makeTarget("older");
    ASSERT_EQ(bench.cli("capture", "older").exitCode, 0);
    Lines previous = bench.storeDump();
    bench.makeTarget("target");

    bool someFailed = false;
    bool someCompleted = false;
    for (const int blocks : {1, 8, 16, 32, 48, 64, 80}) {  // of 512 bytes
        SCOPED_TRACE("ulimit -f " + std::to_string(blocks));
        for (const std::string command : {"capture", "upgrade"}) {
            const std::string database = command == "capture" ? "faultref" : "target";
            std::vector<std::string> argv = {"sh", "-c", "ulimit -f " + std::to_string(blocks) + "; exec \"$@\"", "sh"};
            for (const std::string& arg :
                 bench.cliArguments(command, database, command == "capture" ? Lines{} : Lines{"--no-backup", "--answer", "yes"}))
                argv.push_back(arg);
            const CommandResult run = testsupport::runCommand(argv, "", bench.cliEnvironment());
            // An upgrade whose store cannot be opened for writing is refused before the target
            // is touched.
            const bool refused = command == "upgrade" && run.exitCode == kExitRefused;
            EXPECT_TRUE(run.exitCode == 0 || run.exitCode == kExitFailed || refused)
                << command << ": " << run.exitCode << run.err;
            someCompleted = someCompleted || run.exitCode == 0;
            if (run.exitCode == kExitFailed || refused) {
                someFailed = true;
                EXPECT_THAT(run.err, HasSubstr(bench.storeFile().string())) << command;
            }
            EXPECT_EQ(bench.storeIntegrity(), "ok") << command;
            if (command != "capture") continue;
            if (run.exitCode == 0) {
                previous = bench.storeDump();
            } else {
                EXPECT_EQ(bench.storeDump(), previous);
            }
        }
    }
    EXPECT_TRUE(someFailed);
    EXPECT_TRUE(someCompleted);
}

}  // namespace
