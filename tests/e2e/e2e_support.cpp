#include "e2e_support.h"

#include "db/error.h"
#include "db/odbc/odbc_connection.h"
#include "app/main_form.h"
#include "store/definitions_store.h"

namespace e2e {

Environment::Environment(bool withTarget, bool windowsPaths, Loads moreLoads, bool traced) {
    testsupport::SandboxOptions options;
    options.loads.emplace_back("reference", "tests/fixtures/reference.sql");
    if (withTarget) options.loads.emplace_back("target", "tests/fixtures/target.sql");
    options.loads.insert(options.loads.end(), moreLoads.begin(), moreLoads.end());
    options.saPassword = "e2e-Secret";
    options.windowsPaths = windowsPaths;
    if (traced) options.traceFile = tracePath();
    m_server = std::make_unique<testsupport::SandboxServer>(options);
    store::createEmptyStore(store::storePath(m_home.path()));
}

app::ConnectionOpeners Environment::openers() const {
    const std::filesystem::path folder = m_home.path();
    return {[](const db::ServerSettings& settings) { return db::odbc::openServer(settings); },
            [folder] { return store::openStore(store::storePath(folder)); }};
}

void Environment::pointAt(app::MainForm& form, const std::string& database) const {
    form.FXServer.text = "127.0.0.1," + std::to_string(m_server->port());
    form.FXDatabase.text = database;
    form.FXUsername.text = "sa";
    form.FXPassword.text = m_server->password();
}

std::unique_ptr<db::Connection> Environment::openStore() const {
    return store::openStore(store::storePath(m_home.path()));
}

std::unique_ptr<db::Connection> Environment::openServer(const std::string& database) const {
    return db::odbc::openServer(
        {"127.0.0.1," + std::to_string(m_server->port()), database, "sa", m_server->password()});
}

long FailingStore::execute(std::string_view sql) {
    if (m_failsOn(sql)) throw db::Error(db::errc::kStoreError, "database or disk is full");
    return inner().execute(sql);
}

namespace {

// The rows of `query`, each row's columns but `skip` joined by '|'.
std::vector<std::string> joinedRows(db::Connection& connection, const std::string& query,
                                    const std::string& skip) {
    db::Recordset rs = connection.open(query, db::CursorType::Static);
    std::vector<std::string> rows;
    for (; !rs.eof(); rs.moveNext()) {
        std::string line;
        bool first = true;
        for (std::size_t i = 0; i < rs.fieldCount(); ++i) {
            const db::Field field = rs.field(i);
            if (!skip.empty() && db::equalsIgnoreCase(field.name(), skip)) continue;
            if (!first) line += '|';
            first = false;
            line += field.value().isNull() ? "NULL" : field.value().toText();
        }
        rows.push_back(line);
    }
    return rows;
}

}  // namespace

std::vector<std::string> queryRows(db::Connection& server, const std::string& query) {
    return joinedRows(server, query, "");
}

std::vector<std::string> storeRows(db::Connection& store, const std::string& table,
                                   const std::string& orderBy, const std::string& skip) {
    return joinedRows(store, "SELECT * FROM " + table + " ORDER BY " + orderBy, skip);
}

}  // namespace e2e
