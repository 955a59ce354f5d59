#include "objects_harness.h"

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

ObjectsHarness::ObjectsHarness() {
    form.FXSilence.value = 0;
    form.FXBackup.value = 0;
    form.FXDatabase.text = "app";
}

bool ObjectsHarness::runPhase(const upgrade::UpgradePhase& phase) { return phase.run(run()); }

std::optional<app::OperationOutcome> ObjectsHarness::pressUpgrade(
    const std::vector<upgrade::UpgradePhase>& phases) {
    return upgrade::pressUpgradeButton(form, host, upgrade::testing::lendingOpeners(target, store),
                                       phases);
}

std::vector<std::string> ObjectsHarness::targetSent(const std::string& fragment) const {
    std::vector<std::string> sent;
    for (const std::string& sql : target.log) {
        if (sql.find(fragment) != std::string::npos) sent.push_back(sql);
    }
    return sent;
}

}  // namespace objects::testing
