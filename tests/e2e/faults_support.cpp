#include "faults_support.h"

#include <fstream>
#include <sstream>

#include "db/odbc/odbc_connection.h"
#include "e2e_support.h"
#include "store/definitions_store.h"
#include "store/store_schema.h"

namespace e2e {
namespace {

const char* const kTargetScript = "tests/fixtures/faults_target.sql";

testsupport::SandboxOptions benchOptions() {
    testsupport::SandboxOptions options;
    options.loads = {{"faultref", "tests/fixtures/faults_reference.sql"}};
    options.saPassword = "fault-Secret";
    return options;
}

// The batches of a script: its text between lines that hold only GO.
std::vector<std::string> scriptBatches(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> batches;
    std::string batch;
    std::string line;
    while (std::getline(in, line)) {
        if (line == "GO" || line == "GO\r") {
            batches.push_back(batch);
            batch.clear();
        } else {
            batch += line + "\n";
        }
    }
    return batches;
}

void addRows(std::vector<std::string>& dump, const std::string& label, db::Connection& connection,
             const std::string& query) {
    for (const std::string& row : queryRows(connection, query)) dump.push_back(label + ": " + row);
}

}  // namespace

FaultBench::FaultBench() : m_server(benchOptions()) {
    store::createEmptyStore(storeFile());
    m_control = openServer("master");
}

std::filesystem::path FaultBench::storeFile() const { return store::storePath(m_home.path()); }

std::unique_ptr<db::Connection> FaultBench::openServer(const std::string& database) const {
    return db::odbc::openServer(
        {"127.0.0.1," + std::to_string(m_server.port()), database, "sa", m_server.password()});
}

std::vector<std::string> FaultBench::cliArguments(const std::string& command, const std::string& database,
                                                  const std::vector<std::string>& more) const {
    std::vector<std::string> argv{std::string(SQLUPGRADE_BIN_DIR) + "/sqlupgrade-cli",
                                  "--home",
                                  m_home.path().string(),
                                  command,
                                  "-S",
                                  "127.0.0.1," + std::to_string(m_server.port()),
                                  "-d",
                                  database,
                                  "-U",
                                  "sa",
                                  "-P",
                                  m_server.password()};
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
}

std::vector<std::string> FaultBench::cliEnvironment() const {
    return {"SQLUPGRADE_REGISTRY_MACHINE=" + (m_home / "machine.reg").string(),
            "SQLUPGRADE_REGISTRY_USER=" + (m_home / "user.reg").string(),
            "SQLUPGRADE_COMMON_APPDATA=" + (m_home / "appdata").string()};
}

testsupport::CommandResult FaultBench::cli(const std::string& command, const std::string& database,
                                           const std::vector<std::string>& more) const {
    return testsupport::runCommand(cliArguments(command, database, more), "", cliEnvironment());
}

void FaultBench::makeTarget(const std::string& database) {
    m_control->execute("CREATE DATABASE [" + database + "]");
    auto target = openServer(database);
    for (const std::string& batch : scriptBatches(std::filesystem::path(SQLUPGRADE_SOURCE_DIR) / kTargetScript))
        target->execute(batch);
}

void FaultBench::cutAt(std::uint64_t n) { m_control->execute("SANDBOX CUT AT " + std::to_string(n)); }

void FaultBench::holdAt(std::uint64_t n) { m_control->execute("SANDBOX HOLD AT " + std::to_string(n)); }

std::uint64_t FaultBench::batches() {
    return std::stoull(queryRows(*m_control, "SANDBOX BATCHES").at(0));
}

std::vector<std::string> FaultBench::targetDump(const std::string& database) const {
    auto target = openServer(database);
    std::vector<std::string> dump;
    addRows(dump, "object", *target,
            "SELECT o.name, o.xtype, p.name FROM sysobjects o LEFT JOIN sysobjects p ON p.id = o.parent_obj "
            "WHERE o.xtype IN ('U', 'V', 'FN', 'P', 'PK', 'D') AND o.name NOT LIKE 'sys%' "
            "AND o.name NOT LIKE 'DF[_][_]%' ORDER BY o.name");
    addRows(dump, "column", *target,
            "SELECT o.name, c.name, t.name, c.length, c.isnullable, c.colstat, c.collation "
            "FROM syscolumns c JOIN sysobjects o ON o.id = c.id JOIN systypes t ON t.xusertype = c.xusertype "
            "WHERE o.xtype = 'U' AND o.name NOT LIKE 'sys%' ORDER BY o.name, c.colid");
    addRows(dump, "index key", *target,
            "SELECT o.name, i.name, k.keyno, c.name FROM sysindexes i JOIN sysobjects o ON o.id = i.id "
            "JOIN sysindexkeys k ON k.id = i.id AND k.indid = i.indid "
            "JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid "
            "WHERE o.xtype = 'U' AND o.name NOT LIKE 'sys%' ORDER BY o.name, i.name, k.keyno");
    addRows(dump, "default", *target,
            "SELECT o.name, c.name, d.name, m.text FROM syscolumns c JOIN sysobjects o ON o.id = c.id "
            "JOIN sysobjects d ON d.id = c.cdefault JOIN syscomments m ON m.id = d.id "
            "WHERE o.xtype = 'U' AND d.name NOT LIKE 'DF[_][_]%' ORDER BY o.name, c.name");
    addRows(dump, "module", *target,
            "SELECT o.name, c.colid, c.text FROM sysobjects o JOIN syscomments c ON c.id = o.id "
            "WHERE o.xtype IN ('FN', 'V', 'P') ORDER BY o.name, c.colid");
    addRows(dump, "user", *target,
            "SELECT u.name, r.name FROM sysusers u LEFT JOIN sysusers r ON r.uid = u.gid "
            "WHERE u.uid > 4 AND u.uid < 16384 ORDER BY u.name");
    addRows(dump, "role", *target, "SELECT name FROM sysusers WHERE issqlrole = 1 AND uid >= 16400 ORDER BY name");
    addRows(dump, "tbSQLUpdate", *target, "SELECT * FROM tbSQLUpdate ORDER BY id");
    addRows(dump, "tbVersao", *target, "SELECT * FROM tbVersao ORDER BY versao");
    addRows(dump, "tbUsers", *target, "SELECT * FROM tbUsers ORDER BY id_user");
    addRows(dump, "odd", *target, "SELECT * FROM [tbΣύμβολα']];--!39!] ORDER BY id");
    return dump;
}

std::vector<std::string> FaultBench::storeDump() const {
    auto store = store::openStore(storeFile());
    std::vector<std::string> dump;
    for (const store::StoreTable& table : store::storeTables()) {
        const std::string name(table.name);
        for (const std::string& row : storeRows(*store, name, "rowid")) dump.push_back(name + ": " + row);
    }
    return dump;
}

std::string FaultBench::storeIntegrity() const {
    auto store = store::openStore(storeFile());
    std::string result;
    for (const std::string& row : queryRows(*store, "PRAGMA integrity_check")) result += row;
    return result;
}

}  // namespace e2e
