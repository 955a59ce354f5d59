// Many databases in one command, through the command line: a fleet of twenty sandbox
// databases (older ones, current ones, one whose guard is raised, one cut half-way, one
// whose server does not answer), a cancelled fleet, a bad targets file, and the guard as
// an operator sees and lowers it afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "db/odbc/odbc_connection.h"
#include "db/sqlite/sqlite_connection.h"
#include "e2e_support.h"
#include "faults_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using nlohmann::json;
using testsupport::CommandResult;

constexpr const char* kPasswordVariable = "FLEET_E2E_PASSWORD";

std::string serverOf(const testsupport::SandboxServer& server) {
    return "127.0.0.1," + std::to_string(server.port());
}

// A server with the bench's password loading the older target under each name.
testsupport::SandboxOptions targetServer(const std::vector<std::string>& databases, int latencyMs = 0) {
    testsupport::SandboxOptions options;
    for (const std::string& database : databases) options.loads.emplace_back(database, "tests/fixtures/faults_target.sql");
    options.saPassword = "fault-Secret";
    options.latencyMs = latencyMs;
    return options;
}

std::vector<std::string> cliArgv(const e2e::FaultBench& bench, const std::vector<std::string>& args) {
    std::vector<std::string> argv{std::string(SQLUPGRADE_BIN_DIR) + "/sqlupgrade-cli", "--home",
                                  bench.home().path().string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::vector<std::string> cliEnvironment(const e2e::FaultBench& bench) {
    std::vector<std::string> environment = bench.cliEnvironment();
    environment.push_back(std::string(kPasswordVariable) + "=" + bench.password());
    return environment;
}

// Runs the command line in the bench's program folder, the fleet's password variable set.
CommandResult cli(const e2e::FaultBench& bench, const std::vector<std::string>& args) {
    return testsupport::runCommand(cliArgv(bench, args), "", cliEnvironment(bench), std::chrono::seconds(600));
}

CommandResult guard(const e2e::FaultBench& bench, const std::string& command, const std::string& server,
                    const std::string& database, std::vector<std::string> more = {}) {
    std::vector<std::string> args{"guard", command,          "-S", server, "-d", database, "-U", "sa",
                                  "-P",    bench.password(), "--login-timeout", "2"};
    args.insert(args.end(), more.begin(), more.end());
    return cli(bench, args);
}

// The targets file: the defaults, then one [[target]] per entry (its own lines).
std::filesystem::path writeTargets(const e2e::FaultBench& bench, const std::vector<std::string>& targets) {
    std::string text = "[defaults]\nserver = \"" + bench.serverName() +
                       "\"\nuser = \"sa\"\npassword_env = \"" + kPasswordVariable + "\"\nbackup = false\n";
    for (const std::string& target : targets) text += "\n[[target]]\n" + target;
    const std::filesystem::path file = bench.home() / "fleet.toml";
    testsupport::writeFile(file, text);
    return file;
}

// A target on the bench's server named after its database.
std::string named(const std::string& database) {
    return "name = \"" + database + "\"\ndatabase = \"" + database + "\"\n";
}

json readJson(const std::filesystem::path& file) {
    std::ifstream in(file);
    return json::parse(in);
}

std::string upgradingOf(const std::string& server, const std::string& database, const std::string& password) {
    auto target = db::odbc::openServer({server, database, "sa", password});
    return e2e::queryRows(*target, "SELECT upgrading FROM tbVersao").at(0);
}

bool hasControlCharacters(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return c != '\n' && static_cast<unsigned char>(c) < 0x20; });
}

TEST(Fleet, TwentyDatabasesUpgradeInOneCommandWithTheirSummaryAndEachOnesReport) {
    e2e::FaultBench bench;
    ASSERT_EQ(bench.cli("capture", "faultref").exitCode, 0);

    // What an uninterrupted upgrade makes of an older target; three targets upgraded
    // before, so current; one whose guard an earlier run left raised; fourteen older.
    bench.makeTarget("expected");
    ASSERT_EQ(bench.cli("upgrade", "expected", {"--no-backup"}).exitCode, 0);
    const auto expected = bench.targetDump("expected");
    std::vector<std::string> targets;
    for (const char* current : {"current1", "current2", "current3"}) {
        bench.makeTarget(current);
        ASSERT_EQ(bench.cli("upgrade", current, {"--no-backup"}).exitCode, 0);
        targets.push_back(named(current));
    }
    bench.makeTarget("raised");
    bench.openServer("raised")->execute("UPDATE tbVersao SET upgrading = 1");
    targets.push_back(named("raised"));
    std::vector<std::string> older;
    for (int i = 1; i <= 14; ++i) {
        older.push_back("older" + std::to_string(i));
        bench.makeTarget(older.back());
        targets.push_back(named(older.back()));
    }

    // The target cut half-way has a server of its own, so that the cut meets its batches
    // only; the unreachable one a server that accepts and never answers.
    testsupport::SandboxServer cutServer(targetServer({"cutme", "measure"}));
    auto control = db::odbc::openServer({serverOf(cutServer), "master", "sa", bench.password()});
    e2e::queryRows(*control, "SANDBOX BATCHES");
    ASSERT_EQ(cli(bench, {"upgrade", "-S", serverOf(cutServer), "-d", "measure", "-U", "sa", "-P", bench.password(),
                          "--no-backup"}).exitCode, 0);
    const std::uint64_t batches = std::stoull(e2e::queryRows(*control, "SANDBOX BATCHES").at(0));
    control->execute("SANDBOX CUT AT " + std::to_string(batches / 2));
    targets.push_back("name = \"cut half-way\"\nserver = \"" + serverOf(cutServer) + "\"\ndatabase = \"cutme\"\n");
    testsupport::SandboxServer silentServer(targetServer({}));
    silentServer.freeze();
    targets.push_back("name = \"unreachable\"\nserver = \"" + serverOf(silentServer) +
                      "\"\ndatabase = \"gone\"\nlogin_timeout = 2\n");
    ASSERT_EQ(targets.size(), 20u);
    const std::filesystem::path file = writeTargets(bench, targets);
    const auto storeBefore = bench.storeDump();

    const std::filesystem::path results = bench.home() / "results-of-test";
    const CommandResult fleet = cli(bench, {"upgrade", "--targets", file.string(), "--results", results.string()});
    EXPECT_EQ(fleet.exitCode, 1) << fleet.err << fleet.out;

    // Without a terminal: a line per event and no control character.
    EXPECT_FALSE(hasControlCharacters(fleet.err)) << fleet.err;
    EXPECT_THAT(fleet.err, HasSubstr("older7: started\n"));
    EXPECT_THAT(fleet.err, HasSubstr("older7: A carregar definições: Primary Keys ...\n"));
    EXPECT_THAT(fleet.err, HasSubstr("older7: completed in "));
    EXPECT_THAT(fleet.err, HasSubstr("cut half-way: failed in "));
    EXPECT_THAT(fleet.err, HasSubstr(" (guard left raised): "));

    // The summary table, then every guard left raised with the command that lowers it.
    EXPECT_THAT(fleet.out, StartsWith("Target"));
    EXPECT_THAT(fleet.out, HasSubstr("17 completed, 2 failed, 1 refused in "));
    const std::string lowerCut = "SQLUPGRADE_PASSWORD=\"$FLEET_E2E_PASSWORD\" sqlupgrade-cli --home " +
                                 bench.home().path().string() + " guard clear -S " + serverOf(cutServer) +
                                 " -d cutme -U sa";
    EXPECT_THAT(fleet.out, HasSubstr("Guards left raised; check each database, then lower its guard with:\n"));
    EXPECT_THAT(fleet.out, HasSubstr("  cut half-way: " + lowerCut + "\n"));

    const json summary = readJson(results / "summary.json");
    EXPECT_EQ(summary["schema"], "sqlupgrade-fleet-summary");
    EXPECT_EQ(summary["schemaVersion"], 1);
    EXPECT_EQ(summary["exitCode"], 1);
    EXPECT_EQ(summary["counts"], json({{"completed", 17}, {"failed", 2}, {"refused", 1}, {"cancelled", 0},
                                       {"not started", 0}}));
    ASSERT_EQ(summary["targets"].size(), 20u);
    std::map<std::string, json> byName;
    for (const json& target : summary["targets"]) byName[target["name"]] = target;
    EXPECT_EQ(byName["unreachable"]["outcome"], "failed");
    EXPECT_EQ(byName["raised"]["outcome"], "refused");
    EXPECT_EQ(byName["raised"]["guardLeftRaised"], true);
    EXPECT_EQ(byName["cut half-way"]["guardLeftRaised"], true);
    EXPECT_EQ(summary["guardsLeftRaised"].size(), 2u);
    EXPECT_EQ(summary["guardsLeftRaised"][1], json({{"name", "cut half-way"}, {"command", lowerCut}}));

    // Each target's report, the unreachable one too; its messages; its own statement log.
    const json unreachable = readJson(results / "unreachable" / "report.json");
    EXPECT_EQ(unreachable["outcome"], "failed");
    EXPECT_EQ(unreachable["exitCode"], 1);
    EXPECT_EQ(unreachable["target"]["server"], serverOf(silentServer));
    EXPECT_FALSE(unreachable["error"].is_null());
    EXPECT_EQ(unreachable["guardLeftRaised"], false);
    const json cut = readJson(results / "cut_half-way" / "report.json");
    EXPECT_EQ(cut["outcome"], "failed");
    EXPECT_EQ(cut["guardRaisedBy"], "this run");
    EXPECT_EQ(cut["lowerGuardCommand"], lowerCut);
    const json done = readJson(results / "older7" / "report.json");
    EXPECT_EQ(done["outcome"], "completed");
    EXPECT_EQ(done["options"]["backup"], false);
    EXPECT_GT(done["statements"].get<long>(), 0);
    EXPECT_LE(done["failedStatements"].get<long>(), done["statements"].get<long>());
    EXPECT_THAT(testsupport::readFile(results / "older7" / "messages.txt"),
                HasSubstr("As definições da base de dados foram actualizadas com sucesso!"));
    db::sqlite::SqliteConnection log(results / "older7" / "statements.db", db::sqlite::OpenMode::ReadOnly);
    EXPECT_FALSE(e2e::queryRows(log, "SELECT descrit FROM tbLogs").empty());

    // Every completed target holds what a single run makes; the store was only read.
    for (const std::string& database : older) EXPECT_EQ(bench.targetDump(database), expected) << database;
    EXPECT_EQ(bench.storeDump(), storeBefore);
    EXPECT_EQ(upgradingOf(bench.serverName(), "current2", bench.password()), "0");
    EXPECT_EQ(upgradingOf(serverOf(cutServer), "cutme", bench.password()), "1");
    control->execute("SANDBOX CUT AT 0");

    // The guards as an operator meets them afterwards.
    const CommandResult cutStatus = guard(bench, "status", serverOf(cutServer), "cutme");
    EXPECT_EQ(cutStatus.exitCode, 0) << cutStatus.err;
    EXPECT_THAT(cutStatus.out, StartsWith("raised: upgrading = 1 in tbVersao of cutme on " + serverOf(cutServer) +
                                          "; raised by "));
    EXPECT_THAT(cutStatus.out, HasSubstr("(sqlupgrade-cli, process "));
    // A single upgrade records its guard in the ledger too.
    const CommandResult single = guard(bench, "status", bench.serverName(), "expected");
    EXPECT_THAT(single.out, StartsWith("not raised: upgrading = 0 in tbVersao of expected on " + bench.serverName() +
                                       "; last released by "));
    const CommandResult raisedStatus = guard(bench, "status", bench.serverName(), "raised");
    EXPECT_EQ(raisedStatus.exitCode, 0);
    EXPECT_THAT(raisedStatus.out, HasSubstr("; not by a run recorded in "));
    const CommandResult refused = guard(bench, "clear", serverOf(cutServer), "cutme");
    EXPECT_EQ(refused.exitCode, 2) << refused.err;
    EXPECT_THAT(refused.out, HasSubstr("left raised\n"));
    const CommandResult lowered = guard(bench, "clear", serverOf(cutServer), "cutme", {"--answer", "yes"});
    EXPECT_EQ(lowered.exitCode, 0) << lowered.err;
    EXPECT_THAT(lowered.out, HasSubstr("lowered: upgrading = 0 in tbVersao of cutme on " + serverOf(cutServer)));
    EXPECT_EQ(upgradingOf(serverOf(cutServer), "cutme", bench.password()), "0");
    const CommandResult after = guard(bench, "status", serverOf(cutServer), "cutme");
    EXPECT_THAT(after.out, StartsWith("not raised: upgrading = 0 in tbVersao of cutme on " + serverOf(cutServer) +
                                      "; last cleared by "));
    const CommandResult unknown = guard(bench, "status", serverOf(silentServer), "gone");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.out, "");
    EXPECT_THAT(unknown.err, HasSubstr("sqlupgrade-cli guard status: cannot tell whether the upgrade guard of gone on " +
                                       serverOf(silentServer) + " is raised: "));
}

TEST(Fleet, ACancelStopsStartingTargetsAndCancelsTheRunningOnesReleasingTheirGuards) {
    e2e::FaultBench bench;
    ASSERT_EQ(bench.cli("capture", "faultref").exitCode, 0);
    // Slow enough that the cancel meets the first two half-way.
    testsupport::SandboxServer slow(targetServer({"t1", "t2", "t3", "t4"}, 40));
    std::vector<std::string> targets;
    for (const char* name : {"t1", "t2", "t3", "t4"})
        targets.push_back("name = \"" + std::string(name) + "\"\nserver = \"" + serverOf(slow) + "\"\ndatabase = \"" +
                          name + "\"\n");
    const std::filesystem::path file = writeTargets(bench, targets);
    const std::filesystem::path results = bench.home() / "cancelled";

    testsupport::BackgroundCommand fleet(
        cliArgv(bench, {"upgrade", "--targets", file.string(), "--results", results.string(), "--jobs", "2"}), "",
        cliEnvironment(bench));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (testsupport::readFile(results / "t2" / "messages.txt").find("A carregar definições") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    fleet.kill(SIGINT);
    const CommandResult result = fleet.wait();
    EXPECT_EQ(result.exitCode, 3) << result.err;

    const json summary = readJson(results / "summary.json");
    EXPECT_EQ(summary["cancelled"], true);
    EXPECT_EQ(summary["counts"]["cancelled"], 2) << summary.dump(2);
    EXPECT_EQ(summary["counts"]["not started"], 2);
    for (const char* name : {"t1", "t2"}) {
        EXPECT_EQ(upgradingOf(serverOf(slow), name, bench.password()), "0") << name;
        EXPECT_EQ(readJson(results / name / "report.json")["guardLeftRaised"], false) << name;
    }
    EXPECT_EQ(readJson(results / "t4" / "report.json")["outcome"], "not started");
    EXPECT_FALSE(std::filesystem::exists(results / "t4" / "messages.txt"));
}

TEST(Fleet, ABadTargetsFileIsRefusedBeforeAnythingStarts) {
    e2e::FaultBench bench;
    const std::filesystem::path file =
        writeTargets(bench, {"database = \"a\"\n", "database = \"b\"\nbakup = false\n"});
    const std::filesystem::path results = bench.home() / "never";
    const CommandResult refused = cli(bench, {"upgrade", "--targets", file.string(), "--results", results.string()});
    EXPECT_EQ(refused.exitCode, 64);
    EXPECT_THAT(refused.err, StartsWith("sqlupgrade-cli upgrade: " + file.string() + ":12: unknown key 'bakup'"));
    EXPECT_FALSE(std::filesystem::exists(results));

    const CommandResult mixed = cli(bench, {"upgrade", "--targets", file.string(), "-d", "x"});
    EXPECT_EQ(mixed.exitCode, 64);
    EXPECT_THAT(mixed.err, HasSubstr("--database excludes --targets"));
}

}  // namespace
