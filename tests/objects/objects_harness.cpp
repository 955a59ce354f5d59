#include "objects_harness.h"

#include "store/sql_value.h"

namespace objects::testing {

std::vector<db::Column> textColumns(std::initializer_list<const char*> names) {
    std::vector<db::Column> columns;
    for (const char* name : names) columns.push_back({name, db::ado::kVarWChar});
    return columns;
}

std::vector<db::Value> textRow(std::initializer_list<const char*> values) {
    std::vector<db::Value> row;
    for (const char* value : values) row.push_back(*value ? db::Value::text(value) : db::Value());
    return row;
}

std::string logInsert(const std::string& sql) {
    return "INSERT INTO tbLogs (descrit) VALUES (" + store::SQLValue(db::Value::text(sql), 3) + ")";
}

ObjectsHarness::ObjectsHarness() {
    form.FXSilence.value = 0;
    form.FXBackup.value = 0;
    form.FXDatabase.text = "app";
}

upgrade::UpgradeRun& ObjectsHarness::run() {
    if (!m_run) {
        m_run.emplace(upgrade::UpgradeRun{
            form, host, target, store,
            upgrade::StatementRunner(target, store, form, host, upgrade::ExecutionMode::AbortOnError),
            {}, {}, {}, false});
    }
    return *m_run;
}

bool ObjectsHarness::runPhase(const upgrade::UpgradePhase& phase) { return phase.run(run()); }

std::optional<app::OperationOutcome> ObjectsHarness::pressUpgrade(
    const std::vector<upgrade::UpgradePhase>& phases) {
    const app::ConnectionOpeners openers{[this](const db::ServerSettings&) { return target.handle(); },
                                         [this] { return store.handle(); }};
    return upgrade::pressUpgradeButton(form, host, openers, phases);
}

std::vector<std::string> ObjectsHarness::loggedStatements() const {
    static const std::string prefix = "INSERT INTO tbLogs (descrit) VALUES (";
    std::vector<std::string> logged;
    for (const std::string& sql : store.executed) {
        if (sql.rfind(prefix, 0) == 0) logged.push_back(sql);
    }
    return logged;
}

std::vector<std::string> ObjectsHarness::targetSent(const std::string& fragment) const {
    std::vector<std::string> sent;
    for (const std::string& sql : target.log) {
        if (sql.find(fragment) != std::string::npos) sent.push_back(sql);
    }
    return sent;
}

}  // namespace objects::testing
