#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/connection.h"
#include "sandbox_server.h"
#include "app/connection_openers.h"
#include "temp_dir.h"

namespace e2e {

// A sandbox serving the fixture databases "reference" and "target" (and any further
// fixtures, as database and script), and a program folder with an empty store.
class Environment {
public:
    using Loads = std::vector<std::pair<std::string, std::filesystem::path>>;

    // With `traced`, the server records every batch it receives in tracePath().
    explicit Environment(bool withTarget = true, bool windowsPaths = false, Loads moreLoads = {},
                         bool traced = false);

    // Openers for the product's operations: ODBC to the sandbox, the store in the folder.
    app::ConnectionOpeners openers() const;
    // The window's settings pointed at `database` on the sandbox.
    void pointAt(class app::MainForm& form, const std::string& database) const;
    std::unique_ptr<db::Connection> openStore() const;
    std::unique_ptr<db::Connection> openServer(const std::string& database) const;

    const testsupport::SandboxServer& server() const { return *m_server; }
    const testsupport::TempDir& home() const { return m_home; }
    std::filesystem::path tracePath() const { return m_home / "trace.log"; }

private:
    testsupport::TempDir m_home{"e2e"};
    std::unique_ptr<testsupport::SandboxServer> m_server;
};

// A connection that passes every call to the one it wraps; tests derive from it to step
// in on the calls they care about.
class ForwardingConnection : public db::Connection {
public:
    explicit ForwardingConnection(std::unique_ptr<db::Connection> inner) : m_inner(std::move(inner)) {}
    long execute(std::string_view sql) override { return m_inner->execute(sql); }
    db::Recordset open(std::string_view sql, db::CursorType cursor, db::LockType lock) override {
        return m_inner->open(sql, cursor, lock);
    }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }
    void setCommandTimeout(int seconds) override { m_inner->setCommandTimeout(seconds); }
    void writeLongValue(std::string_view table, std::string_view keyColumn, std::string_view keyLiteral,
                        std::string_view field, const db::Value& value) override {
        m_inner->writeLongValue(table, keyColumn, keyLiteral, field, value);
    }
    bool transactionLost() const override { return m_inner->transactionLost(); }
    void beginTransaction() override { m_inner->beginTransaction(); }
    void commitTransaction() override { m_inner->commitTransaction(); }
    void rollbackTransaction() override { m_inner->rollbackTransaction(); }

protected:
    db::Connection& inner() { return *m_inner; }

private:
    std::unique_ptr<db::Connection> m_inner;
};

// A store that fails, as a full disk would, on the first statement (not query) for which
// `failsOn` answers true; everything else goes to the store it wraps.
class FailingStore : public ForwardingConnection {
public:
    FailingStore(std::unique_ptr<db::Connection> inner, std::function<bool(std::string_view)> failsOn)
        : ForwardingConnection(std::move(inner)), m_failsOn(std::move(failsOn)) {}
    long execute(std::string_view sql) override;

private:
    std::function<bool(std::string_view)> m_failsOn;
};

// Every row of a query on `server`, each row's columns joined by '|', nulls shown as "NULL".
std::vector<std::string> queryRows(db::Connection& server, const std::string& query);

// Every row of a store table in `orderBy` order, each row's columns (all but `skip`)
// joined by '|', nulls shown as "NULL".
std::vector<std::string> storeRows(db::Connection& store, const std::string& table,
                                   const std::string& orderBy, const std::string& skip = "");

}  // namespace e2e
