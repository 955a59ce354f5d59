#include "upgrade_harness.h"

#include "db/ado_types.h"
#include "store/sql_value.h"

namespace upgrade::testing {

std::unique_ptr<UpgradeRun> newRun(app::MainForm& form, app::Host& host, db::Connection& target,
                                   db::Connection& store) {
    return std::make_unique<UpgradeRun>(
        UpgradeRun{form,
                   host,
                   target,
                   store,
                   StatementRunner(target, store, form, host, ExecutionMode::AbortOnError),
                   {},
                   {},
                   {},
                   false});
}

void scriptCapturedTable(testing_support::FakeConnection& store) {
    store.onQuery("MIN(tabela) AS tabela FROM tbObjects", {{"tabela", db::ado::kVarWChar}},
                  {{db::Value::text("tbCaptured")}});
}

app::ConnectionOpeners lendingOpeners(testing_support::FakeConnection& target,
                                      testing_support::FakeConnection& store) {
    scriptCapturedTable(store);
    return {[&target](const db::ServerSettings&) { return target.handle(); },
            [&store] { return store.handle(); }};
}

std::string logInsert(const std::string& sql) {
    return "INSERT INTO tbLogs (descrit) VALUES (" + store::SQLValue(db::Value::text(sql), 3) + ")";
}

std::vector<std::string> loggedStatements(const testing_support::FakeConnection& store) {
    static const std::string prefix = "INSERT INTO tbLogs (descrit) VALUES (";
    std::vector<std::string> logged;
    for (const std::string& sql : store.executed) {
        if (sql.rfind(prefix, 0) == 0) logged.push_back(sql);
    }
    return logged;
}

}  // namespace upgrade::testing
