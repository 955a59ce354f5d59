#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "sandbox_server.h"
#include "app/connection_openers.h"
#include "temp_dir.h"

namespace e2e {

// A sandbox serving the fixture databases "reference" and "target", and a program folder
// with an empty store.
class Environment {
public:
    explicit Environment(bool withTarget = true, bool windowsPaths = false);

    // Openers for the product's operations: ODBC to the sandbox, the store in the folder.
    app::ConnectionOpeners openers() const;
    // The window's settings pointed at `database` on the sandbox.
    void pointAt(class app::MainForm& form, const std::string& database) const;
    std::unique_ptr<db::Connection> openStore() const;
    std::unique_ptr<db::Connection> openServer(const std::string& database) const;

    const testsupport::SandboxServer& server() const { return *m_server; }
    const testsupport::TempDir& home() const { return m_home; }

private:
    testsupport::TempDir m_home{"e2e"};
    std::unique_ptr<testsupport::SandboxServer> m_server;
};

// Every row of a store table in `orderBy` order, each row's columns (all but `skip`)
// joined by '|', nulls shown as "NULL".
std::vector<std::string> storeRows(db::Connection& store, const std::string& table,
                                   const std::string& orderBy, const std::string& skip = "");

}  // namespace e2e
