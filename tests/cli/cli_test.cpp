// The command line as a user runs it: the real program against a sandbox server, checked
// on its exit codes, its messages on standard error and what it writes on standard output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <sstream>

#include "registry_files.h"
#include "sandbox_server.h"
#include "store_validation_rule.h"
#include "temp_dir.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::CommandResult;
using testsupport::SandboxServer;
using testsupport::TempDir;
using testing_support::RegFormat;
using testing_support::regQuoted;
using testing_support::storedPassword;

const char* const kReference = R"(
CREATE TABLE tbSQLUpdate (descrit varchar(128) NOT NULL PRIMARY KEY, exclude int NULL,
    disable int NULL, only_if_empty bit NULL, force_update int NULL, Delete_First int NULL)
GO
INSERT INTO tbSQLUpdate (descrit, exclude) VALUES ('tbSkip', 1)
GO
CREATE TABLE tbVersao (versao int NOT NULL, upgrading int NULL)
GO
INSERT INTO tbVersao VALUES (7, 1)
GO
CREATE TABLE tbClientes (id int IDENTITY(1,1) NOT NULL PRIMARY KEY, nome nvarchar(50) NULL,
    activo bit NOT NULL DEFAULT (1))
GO
CREATE INDEX IX_tbClientes_nome ON tbClientes (nome)
GO
CREATE FUNCTION dbo.fnUm () RETURNS int AS BEGIN RETURN 1 END
GO
CREATE VIEW dbo.vwClientes AS SELECT id, nome FROM tbClientes
GO
CREATE PROCEDURE dbo.spNada AS RETURN 0
GO
CREATE TABLE tbSkip (x int NULL)
GO
)";

// What a terminal shows after `output`: a carriage return goes back to the line's start,
// ESC [K clears the rest of the line, a line feed starts the next; empty lines are left out.
std::vector<std::string> screenLines(const std::string& output) {
    std::vector<std::string> lines;
    std::string line;
    std::size_t column = 0;
    for (std::size_t i = 0; i < output.size(); ++i) {
        const char c = output[i];
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            if (!line.empty()) lines.push_back(line);
            line.clear();
            column = 0;
        } else if (output.compare(i, 3, "\x1b[K") == 0) {
            line.resize(column);
            i += 2;
        } else {
            if (column < line.size()) {
                line[column] = c;
            } else {
                line += c;
            }
            ++column;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

class CommandLine : public ::testing::Test {
protected:
    CommandLine() {
        testsupport::writeFile(home / "reference.sql", kReference);
        testsupport::SandboxOptions options;
        options.loads.emplace_back("app", home / "reference.sql");
        options.saPassword = "s3cr3t;=}";
        server = std::make_unique<SandboxServer>(options);
    }

    CommandResult cli(std::vector<std::string> args, std::vector<std::string> environment = {}) {
        std::vector<std::string> argv{std::string(SQLUPGRADE_BIN_DIR) + "/sqlupgrade-cli", "--home",
                                      home.path().string()};
        argv.insert(argv.end(), args.begin(), args.end());
        // The registry, the shadow folder and the serial number are the test's own, never
        // the machine's.
        environment.insert(environment.end(),
                           {"SQLUPGRADE_REGISTRY_MACHINE=" + (home / "machine.reg").string(),
                            "SQLUPGRADE_REGISTRY_USER=" + (home / "user.reg").string(),
                            "SQLUPGRADE_COMMON_APPDATA=" + (home / "appdata").string(),
                            std::string("SQLUPGRADE_VOLUME_SERIAL=") + kVolumeSerial});
        return testsupport::runCommand(argv, "", environment);
    }

    // The serial number the command line takes for drive C:, in the form a Windows
    // volume listing shows it, and the machine value it gives.
    static constexpr const char* kVolumeSerial = "1A2B-3C4D";
    static constexpr const char* kMachineValue = "439041101";

    std::vector<std::string> connection(const std::string& database = "app") {
        return {"-S", "127.0.0.1," + std::to_string(server->port()), "-d", database, "-U", "sa",
                "-P", server->password()};
    }

    std::string serverName() const { return "127.0.0.1," + std::to_string(server->port()); }
    std::string passwordEntry() const { return "SQLUPGRADE_PASSWORD=" + server->password(); }

    std::vector<std::string> with(std::string command, std::vector<std::string> more) {
        more.insert(more.begin(), std::move(command));
        return more;
    }

    TempDir home{"cli"};
    std::unique_ptr<SandboxServer> server;
};

TEST_F(CommandLine, InitStoreCreatesOnceAndRefusesToOverwrite) {
    const CommandResult first = cli({"init-store"});
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_TRUE(std::filesystem::exists(home / "SQL.mdb"));
    const auto size = std::filesystem::file_size(home / "SQL.mdb");
    const CommandResult second = cli({"init-store"});
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_THAT(second.err, HasSubstr("already exists"));
    EXPECT_EQ(std::filesystem::file_size(home / "SQL.mdb"), size);
}

TEST_F(CommandLine, CaptureReportsItsOutcomeInTheExitCode) {
    ASSERT_EQ(cli({"init-store"}).exitCode, 0);
    const CommandResult done = cli(with("capture", connection()));
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_THAT(done.err, HasSubstr("SQL Database Upgrade: As definições da base de dados foram "
                                    "guardadas com sucesso!"));
    for (const char* phase : {"Tabelas", "Functions", "Views", "Procedures", "Indexes",
                              "Primary Keys", "Defaults", "Dados do Sistema"}) {
        EXPECT_THAT(done.err, HasSubstr(std::string("A carregar definições: ") + phase + " ...\n"));
    }
    EXPECT_EQ(done.out, "");  // nothing failed, so nothing on the clipboard

    std::vector<std::string> noDatabase = connection();
    noDatabase[3] = "";
    const CommandResult empty = cli(with("capture", noDatabase));
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_THAT(empty.err, HasSubstr("Tem de definir uma base de dados!"));

    std::vector<std::string> wrongPassword = connection();
    wrongPassword.back() = "wrong";
    const CommandResult refused = cli(with("capture", wrongPassword));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr("Login failed for user 'sa'."));
    // What was tried and what to do, where the password came from but never the password.
    EXPECT_THAT(refused.err, testing::EndsWith("\nsqlupgrade-cli: 127.0.0.1 port " + std::to_string(server->port()) +
                                               " refused the login sa for the database app (password from -P): "
                                               "check the login and its password.\n"));
    EXPECT_THAT(refused.err, Not(HasSubstr("wrong")));

    std::vector<std::string> nowhere = connection();
    nowhere[1] = "127.0.0.1,1";
    const CommandResult unreachable = cli(with("capture", nowhere));
    EXPECT_EQ(unreachable.exitCode, 1);
    EXPECT_THAT(unreachable.err, HasSubstr("Unable to connect"));
    EXPECT_THAT(unreachable.err, testing::EndsWith("\nsqlupgrade-cli: no SQL Server answered at 127.0.0.1 port 1 "
                                                   "(database app): check -S host,port and that the server listens "
                                                   "there.\n"));
}

TEST_F(CommandLine, ConnectionValuesComeFromOptionsEnvironmentAndDefsIniOnly) {
    const std::string defsIni = (home / "Defs.ini").string();
    const CommandResult nothing = cli({"capture"});
    EXPECT_EQ(nothing.exitCode, 64);
    EXPECT_EQ(nothing.err,
              "sqlupgrade-cli capture: missing database, login and password\n"
              "  database: -d NAME, the environment variable SQLUPGRADE_DATABASE, the registry value "
              "dtInitialCatalog or line 3 of " + defsIni + "\n"
              "  login: -U LOGIN, the environment variable SQLUPGRADE_USER, the registry value dtUser "
              "or line 4 of " + defsIni + "\n"
              "  password: -P PASSWORD, --password-file FILE, the environment variable SQLUPGRADE_PASSWORD "
              "or the registry value dtPassword\n");
    const CommandResult noPassword = cli({"upgrade", "-S", serverName(), "-d", "app", "-U", "sa"});
    EXPECT_EQ(noPassword.exitCode, 64);
    EXPECT_EQ(noPassword.err,
              "sqlupgrade-cli upgrade: missing password\n"
              "  password: -P PASSWORD, --password-file FILE, the environment variable SQLUPGRADE_PASSWORD "
              "or the registry value dtPassword\n");

    ASSERT_EQ(cli({"init-store"}).exitCode, 0);
    testsupport::writeFile(home / "Defs.ini", "App\r\n" + serverName() + "\r\napp\r\nsa\r\n");
    const CommandResult fromDefsIni = cli({"capture"}, {passwordEntry()});
    EXPECT_EQ(fromDefsIni.exitCode, 0) << fromDefsIni.err;

    // The environment comes before Defs.ini, an option before both.
    const CommandResult fromEnvironment = cli({"capture"}, {passwordEntry(), "SQLUPGRADE_DATABASE=nosuch"});
    EXPECT_EQ(fromEnvironment.exitCode, 1);
    EXPECT_THAT(fromEnvironment.err, HasSubstr("Cannot open database requested in login 'nosuch'."));
    const CommandResult fromOption = cli({"capture", "-d", "app"}, {passwordEntry(), "SQLUPGRADE_DATABASE=nosuch"});
    EXPECT_EQ(fromOption.exitCode, 0) << fromOption.err;

    // A Defs.ini that stops early: what it has is used, and what it lacks is named.
    testsupport::writeFile(home / "Defs.ini", "App\n" + serverName() + "\napp\n");
    const CommandResult shortFile = cli({"capture"}, {passwordEntry()});
    EXPECT_EQ(shortFile.exitCode, 64);
    EXPECT_THAT(shortFile.err, HasSubstr("sqlupgrade-cli: " + defsIni +
                                         ": Input past end of file (the lines before it are used)\n"
                                         "sqlupgrade-cli capture: missing login\n"));
}

// Written on Windows, Defs.ini is Windows-1252; either way the accented login reaches the
// server intact (and the server names it in its refusal).
TEST_F(CommandLine, DefsIniInEitherEncodingGivesTheSameAccentedLogin) {
    for (const std::string& login : {std::string("s\xE1"), std::string("sá")}) {
        testsupport::writeFile(home / "Defs.ini", "App\n" + serverName() + "\napp\n" + login + "\n");
        const CommandResult result = cli({"capture"}, {passwordEntry()});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_THAT(result.err, HasSubstr("Login failed for user 'sá'."));
    }
}

TEST_F(CommandLine, WithoutARulesTableTheRepeatedMessageIsShownOnceWithItsCount) {
    server->tsql("CREATE DATABASE norules\ngo\n");
    server->tsql("CREATE TABLE tbA (x int NULL, y int NULL)\ngo\nCREATE TABLE tbB (z int NULL)\ngo\n", "norules");
    ASSERT_EQ(cli({"init-store"}).exitCode, 0);
    const CommandResult result = cli(with("capture", connection("norules")));
    // The system data phase cannot do without the rules table: the run ends there.
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_THAT(result.err, HasSubstr("SQL Database Upgrade: Invalid object name 'tbSQLUpdate'.\n"
                                      "SQL Database Upgrade: Invalid object name 'tbSQLUpdate'. (repeated 2 times)\n"
                                      "A carregar definições: Dados do Sistema ...\n"
                                      "SQL Database Upgrade: Invalid object name 'tbSQLUpdate'. | Current TABLE: tbA\n"));
}

// A row the store refuses is reported and passed over; its command is what the capture
// leaves on the clipboard, which the command line writes to standard output.
TEST_F(CommandLine, TheCommandsTheStoreRefusedGoToStandardOutput) {
    server->tsql("CREATE DATABASE dados\ngo\n");
    server->tsql("CREATE TABLE tbSQLUpdate (descrit varchar(128) NOT NULL, exclude int NULL, disable int NULL, "
                 "only_if_empty bit NULL, force_update int NULL, Delete_First int NULL)\ngo\n"
                 "INSERT INTO tbSQLUpdate VALUES ('tbMenu', 0, 0, 0, 0, 0)\ngo\n"
                 "CREATE TABLE tbMenu (id int NOT NULL PRIMARY KEY, descrit varchar(50) NULL)\ngo\n"
                 "INSERT INTO tbMenu VALUES (1, 'Clientes')\nINSERT INTO tbMenu VALUES (2, 'D''Ouro')\n"
                 "INSERT INTO tbMenu VALUES (3, 'Fornecedores')\ngo\n",
                 "dados");
    ASSERT_EQ(cli({"init-store"}).exitCode, 0);
    testsupport::refuseDadosRows(home / "SQL.mdb", "NEW.pkey_value IN ('1', '2')", "Registo recusado.");
    const CommandResult result = cli(with("capture", connection("dados")));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_THAT(result.err, HasSubstr("SQL Database Upgrade: Registo recusado. - tbMenu: id=1\n"
                                      "SQL Database Upgrade: Registo recusado. - tbMenu: id=2\n"));
    EXPECT_EQ(result.out,
              "\r\n\r\nINSERT INTO tbMenu (id, descrit) VALUES (1, 'Clientes')"
              "\r\n\r\nINSERT INTO tbMenu (id, descrit) VALUES (2, 'D!39!Ouro')\n");
}

TEST_F(CommandLine, TheEnvironmentSuppliesThePassword) {
    ASSERT_EQ(cli({"init-store"}).exitCode, 0);
    std::vector<std::string> args = connection();
    args.resize(args.size() - 2);  // no -P
    const CommandResult done =
        cli(with("capture", args), {"SQLUPGRADE_PASSWORD=" + server->password()});
    EXPECT_EQ(done.exitCode, 0) << done.err;
    const CommandResult refused = cli(with("capture", args), {"SQLUPGRADE_PASSWORD=wrong"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr("refused the login sa for the database app (password from "
                                       "$SQLUPGRADE_PASSWORD): check the login and its password.\n"));
}

TEST_F(CommandLine, AMissingStoreEndsInTheErrorExitWithHowToCreateOne) {
    const CommandResult result = cli(with("capture", connection()));
    EXPECT_EQ(result.exitCode, 1);
    const std::string store = (home / "SQL.mdb").string();
    EXPECT_THAT(result.err, HasSubstr("SQL Database Upgrade: Could not find file '" + store + "'."));
    EXPECT_THAT(result.err, testing::EndsWith("\nsqlupgrade-cli: " + store +
                                              " not found; create one with sqlupgrade-cli --home " +
                                              home.path().string() + " init-store\n"));
    EXPECT_FALSE(std::filesystem::exists(home / "SQL.mdb"));
}

TEST_F(CommandLine, TheUpgradeGuardAnsweredNoIsARefusal) {
    ASSERT_EQ(cli({"init-store"}).exitCode, 0);
    ASSERT_EQ(cli(with("capture", connection())).exitCode, 0);
    const CommandResult result = cli(with("upgrade", connection()));
    EXPECT_EQ(result.exitCode, 2) << result.err;
    EXPECT_THAT(result.err, HasSubstr("SQL Database Server Upgrade: Já está em curso uma "
                                      "actualização da base de dados.\n\nPretende continuar"));
    EXPECT_THAT(result.err, HasSubstr("(answered no)"));
}

// A target with tbVersao and a reference with many tables, so that an upgrade runs long
// enough to be interrupted.
class LongUpgrade : public CommandLine {
protected:
    LongUpgrade() {
        std::string reference =
            "CREATE TABLE tbSQLUpdate (descrit varchar(128) NOT NULL, exclude int NULL, disable int NULL, "
            "only_if_empty bit NULL, force_update int NULL, Delete_First int NULL)\nGO\n"
            "CREATE TABLE tbVersao (versao int NOT NULL, upgrading int NULL)\nGO\n";
        for (int t = 0; t < 1000; ++t) {
            reference += "CREATE TABLE tbLonga" + std::to_string(t) +
                         " (id int NOT NULL, nome varchar(40) NULL, valor money NULL)\nGO\n";
        }
        testsupport::writeFile(home / "long.sql", reference);
        testsupport::writeFile(home / "target.sql",
                               "CREATE TABLE tbVersao (versao int NOT NULL, upgrading int NULL)\nGO\n"
                               "INSERT INTO tbVersao VALUES (1, 0)\nGO\n");
        server->tsql("CREATE DATABASE longref\ngo\nCREATE DATABASE longtarget\ngo\n");
        EXPECT_EQ(loadInto("longref", "long.sql").exitCode, 0);
        EXPECT_EQ(loadInto("longtarget", "target.sql").exitCode, 0);
        EXPECT_EQ(cli({"init-store"}).exitCode, 0);
        EXPECT_EQ(cli(with("capture", connection("longref"))).exitCode, 0);
    }

    CommandResult loadInto(const std::string& database, const std::string& file) {
        return server->tsql(testsupport::readFile(home / file) , database);
    }

    std::string upgrading() {
        return server->tsql("SELECT upgrading FROM tbVersao\ngo\n", "longtarget").out;
    }

    // The upgrade of longtarget without a backup, as one shell command.
    std::string upgradeCommand() {
        std::string command = std::string(SQLUPGRADE_BIN_DIR) + "/sqlupgrade-cli --home " + home.path().string() +
                              " upgrade --no-backup";
        for (const std::string& arg : connection("longtarget")) command += " '" + arg + "'";
        return command;
    }
};

// `timeout` signals the program and its process group: both signals arrive at once and
// are one press of the cancel button, so the run cancels at its next row and releases
// the mark, as an interrupt from the keyboard does.
TEST_F(LongUpgrade, AnInterruptOrATimeoutCancelsAtTheNextRowAndReleasesTheGuard) {
    // The signal goes once the table phase has begun (its line is on standard error), so
    // that a slow start never meets it before the run has raised the mark. `timeout`
    // passes an INT it receives on to the program and its group, as it does when its time
    // is up.
    const std::string command = upgradeCommand();
    const auto signalOnceStarted = [](const std::string& started, const std::string& signalled) {
        return "e=$(mktemp); " + started + " 2>\"$e\" & pid=$!; "
               "until grep -q 'Tabelas e campos' \"$e\" || ! kill -0 $pid 2>/dev/null; do sleep 0.05; done; "
               "kill -INT " + signalled + "; wait $pid; s=$?; cat \"$e\" >&2; rm -f \"$e\"; echo \"exit=$s\"";
    };
    const std::vector<std::pair<std::string, std::string>> senders = {
        {"kill", signalOnceStarted(command, "$pid")},
        {"timeout", signalOnceStarted("timeout --preserve-status -s INT 600 " + command, "$pid")},
    };
    for (const auto& [name, script] : senders) {
        SCOPED_TRACE(name);
        const CommandResult result = testsupport::runCommand({"sh", "-c", script});
        EXPECT_THAT(result.out, HasSubstr("exit=3")) << result.err;
        EXPECT_THAT(result.err, HasSubstr("\nsqlupgrade-cli: upgrade cancelled; the upgrading mark in tbVersao was "
                                          "released.\nUpgrade of longtarget cancelled: "));
        EXPECT_THAT(result.err, Not(HasSubstr("actualizadas com sucesso")));
        EXPECT_THAT(upgrading(), HasSubstr("0"));
        EXPECT_THAT(upgrading(), Not(HasSubstr("1")));
    }
}

// The lines that stay after a run, without a terminal and on one: each step's line, the
// success message, then the summary; no control character without a terminal, and on a
// terminal no progress line left behind.
TEST_F(LongUpgrade, ARunLeavesALineForEachStepAndASummary) {
    const CommandResult plain = cli(with("upgrade", connection("longtarget")));
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.err.find_first_of("\r\x1b"), std::string::npos);
    EXPECT_THAT(plain.err, testing::ContainsRegex(
                               "^A realizar um backup da base de dados ...\n"
                               "Backup realizando com sucesso.\n"
                               "Backup: [^\n]*longtarget_[0-9]{14}\\.BAK \\([0-9]+\\.[0-9] s\\)\n"
                               "Roles: 2 statements \\("));
    EXPECT_THAT(plain.err, HasSubstr("A carregar definições: Tabelas e campos ...\n"
                                     "Table structure: 1,001 tables created; 1,001 statements ("));
    EXPECT_THAT(plain.err, testing::ContainsRegex(
                               "\nMaintenance commands: nothing to send \\([0-9.]+ s\\)\n"
                               "SQL Database Upgrade: As definições da base de dados foram actualizadas com sucesso!\n"
                               "Upgrade of longtarget completed: 1,001 tables created, 0 altered, 0 objects "
                               "re-created, 0 rows applied, 0 statements failed, in [0-9.]+ s\n$"));

    // On a terminal (script gives the run one) the screen keeps the same kind of lines.
    const CommandResult terminal = testsupport::runCommand({"script", "-qec", upgradeCommand(), "/dev/null"});
    ASSERT_EQ(terminal.exitCode, 0) << terminal.out;
    EXPECT_NE(terminal.out.find('\r'), std::string::npos);  // the progress line was drawn
    std::vector<std::string> screen = screenLines(terminal.out);
    for (std::string& line : screen) line = std::regex_replace(line, std::regex("[0-9]+\\.[0-9] s"), "T");
    EXPECT_EQ(screen, (std::vector<std::string>{
                          "Roles: nothing to send (T)", "Logins and users: nothing to send (T)",
                          "Table structure: nothing to send (T)", "Primary keys: nothing to send (T)",
                          "Indexes: nothing to send (T)", "Defaults: nothing to send (T)",
                          "Functions: nothing to send (T)", "Views: nothing to send (T)",
                          "Stored procedures: nothing to send (T)", "System data: nothing to send (T)",
                          "Maintenance commands: nothing to send (T)",
                          "SQL Database Upgrade: As definições da base de dados foram actualizadas com sucesso!",
                          "Upgrade of longtarget completed: 0 tables created, 0 altered, 0 objects re-created, "
                          "0 rows applied, 0 statements failed, in T"}))
        << terminal.out;
}

// What can be checked before the guard is: a store that is missing or holds nothing, and
// a target without tbVersao, are refused with exit 2 and one line saying what to do, and
// the target is not marked.
TEST_F(LongUpgrade, WhatCannotWorkIsRefusedBeforeTheTargetIsMarked) {
    const std::string store = (home / "SQL.mdb").string();
    std::filesystem::rename(store, home / "kept.mdb");
    const CommandResult missing = cli(with("upgrade", connection("longtarget")));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err, "SQL Database Upgrade: No definitions store at " + store +
                               ": create one with sqlupgrade-cli --home " + home.path().string() +
                               " init-store and capture a reference database into it, then upgrade.\n");

    ASSERT_EQ(cli({"init-store"}).exitCode, 0);
    const CommandResult empty = cli(with("upgrade", connection("longtarget")));
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_EQ(empty.err, "SQL Database Upgrade: The definitions store " + store +
                             " holds no captured table: capture a reference database into it first "
                             "(sqlupgrade-cli capture, or Carregar Estrutura in the window).\n");
    EXPECT_THAT(upgrading(), Not(HasSubstr("1")));

    std::filesystem::rename(home / "kept.mdb", store);
    server->tsql("DROP TABLE tbVersao\ngo\n", "longtarget");
    const CommandResult refused = cli(with("upgrade", with("--no-backup", connection("longtarget"))));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err, "SQL Database Upgrade: longtarget has no table tbVersao, so it is not an application "
                           "database this tool can upgrade: check the database name (-d) and the server (-S).\n");
}

// Defs.ini names the registry key App and gives a server, database and login that do not
// exist, so a capture that reaches the sandbox took its settings from the registry.
class RegistryDefaults : public CommandLine {
protected:
    RegistryDefaults() {
        testsupport::writeFile(home / "Defs.ini", "App\r\nnowhere,1\r\nnodb\r\nnobody\r\n");
        EXPECT_EQ(cli({"init-store"}).exitCode, 0);
    }

    void writeRegistry(RegFormat format, const std::string& database) {
        const std::string server = "127.0.0.1," + std::to_string(this->server->port());
        testsupport::writeFile(
            home / "machine.reg",
            regFileBytes(format, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App]\r\n"
                                 "\"dtDataSource\"=" + regQuoted(server) + "\r\n"
                                 "\"dtInitialCatalog\"=" + regQuoted(database) + "\r\n"
                                 "\"dtUser\"=\"sa\"\r\n"
                                 "\"dtPassword\"=" +
                                     regQuoted(storedPassword(this->server->password(), kMachineValue)) +
                                     "\r\n"));
    }
};

TEST_F(RegistryDefaults, ACaptureWithoutConnectionOptionsTakesThemFromTheRegistry) {
    for (RegFormat format : {RegFormat::Unicode, RegFormat::Ansi}) {
        writeRegistry(format, "app");
        const CommandResult done = cli({"capture"});
        EXPECT_EQ(done.exitCode, 0) << done.err;
    }
}

TEST_F(RegistryDefaults, OptionsComeFirstThenTheShadowFileThenTheRegistry) {
    writeRegistry(RegFormat::Ansi, "nosuchdb");
    const CommandResult registry = cli({"capture"});
    EXPECT_EQ(registry.exitCode, 1);
    EXPECT_THAT(registry.err, HasSubstr(" has no database nosuchdb (from the registry value dtInitialCatalog) that "
                                        "the login sa may open: check the database name (-d).\n"));

    EXPECT_EQ(cli({"capture", "-d", "app"}).exitCode, 0);
    EXPECT_EQ(cli({"capture"}, {"SQLUPGRADE_DATABASE=app"}).exitCode, 0);  // the environment too

    std::filesystem::create_directories(home / "appdata" / "Velto Software");
    testsupport::writeFile(home / "appdata" / "Velto Software" / "RegShadow.db",
                           "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtInitialCatalog=app\r\n");
    const CommandResult shadowed = cli({"capture"});
    EXPECT_EQ(shadowed.exitCode, 0) << shadowed.err;
}

// A failure after the guard was raised (here: a table the target has as a view, and No
// to the question) leaves the target marked on purpose; the command line says so and
// how to go on, and that way works.
TEST_F(LongUpgrade, AFailedUpgradeSaysTheTargetStaysMarkedAndHowToGoOn) {
    server->tsql("CREATE VIEW tbLonga5 AS SELECT 1 AS x\ngo\n", "longtarget");
    const std::vector<std::string> asking = with("--no-backup", with("--no-silent", connection("longtarget")));
    const CommandResult failed = cli(with("upgrade", with("--answer", with("no", asking))));
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_THAT(failed.err, testing::ContainsRegex(
                                "\nsqlupgrade-cli: longtarget stays marked as being upgraded "
                                "\\(upgrading in tbVersao\\), as a failed upgrade leaves it on purpose so that "
                                "someone looks at the database; check it, then run again with --answer yes.\n"
                                "Upgrade of longtarget failed: [0-9,]+ tables created, 0 altered, 0 objects "
                                "re-created, 0 rows applied, 1 statement failed, in [0-9.]+ s\n$"));
    EXPECT_THAT(upgrading(), HasSubstr("1"));

    server->tsql("DROP VIEW tbLonga5\ngo\n", "longtarget");
    const CommandResult refused = cli(with("upgrade", asking));
    EXPECT_EQ(refused.exitCode, 2);
    const CommandResult again = cli(with("upgrade", with("--answer", with("yes", asking))));
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_THAT(upgrading(), Not(HasSubstr("1")));
}

// A server that stops answering ends the capture through its error exit once the
// time-out has passed, instead of holding it forever.
TEST_F(CommandLine, AServerThatStopsAnsweringEndsTheCaptureAtItsTimeOut) {
    ASSERT_EQ(cli({"init-store"}).exitCode, 0);
    server->freeze();
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> args = {"capture", "--login-timeout", "2", "--command-timeout", "2"};
    for (const std::string& arg : connection()) args.push_back(arg);
    const CommandResult result = cli(args);
    const auto took = std::chrono::steady_clock::now() - start;
    server->thaw();
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.err,
              "SQL Database Upgrade: Timeout expired\n"
              "sqlupgrade-cli: no SQL Server answered at 127.0.0.1 port " + std::to_string(server->port()) + " (database app): check -S host,port and that "
                  "the server listens there.\n");
    EXPECT_LT(took, std::chrono::seconds(20));
}

TEST_F(CommandLine, UsageErrorsAndHelp) {
    EXPECT_EQ(cli({"capture", "--no-such-option"}).exitCode, 64);
    EXPECT_EQ(cli({}).exitCode, 64);
    const CommandResult help = cli({"upgrade", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--backup", "--no-backup", "--silent", "--rebuild-indexes",
                               "--rebuild-defaults", "--system-data", "--menus", "--clean-menus",
                               "--searches", "--debug", "--answer", "--password-file"}) {
        EXPECT_THAT(help.out, HasSubstr(option));
    }
    EXPECT_THAT(help.out, HasSubstr("--answer default|yes|no"));
    EXPECT_THAT(help.out, Not(HasSubstr("Do not")));
    EXPECT_THAT(help.out, Not(HasSubstr("->")));
    // Every option but --help says its default, on its own line or the lines under it.
    std::istringstream lines(help.out);
    std::vector<std::string> entries;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  -", 0) == 0) {
            entries.push_back(line);
        } else if (!entries.empty() && line.rfind("      ", 0) == 0) {
            entries.back() += line;
        }
    }
    EXPECT_GT(entries.size(), 20u);
    for (const std::string& entry : entries) {
        if (entry.find("--help") == std::string::npos) {
            EXPECT_THAT(entry, HasSubstr("default")) << entry;
        }
    }
}

}  // namespace
