#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "db/ado_types.h"
#include "fake_connection.h"
#include "fake_host.h"
#include "upgrade/upgrade_run.h"
#include "upgrade_harness.h"

namespace objects::testing {

using Rows = testing_support::FakeConnection::Rows;

// A store table's or a catalog query's text columns, by name.
std::vector<db::Column> textColumns(std::initializer_list<const char*> names);

// A row of text values; an empty text stands for NULL.
std::vector<db::Value> textRow(std::initializer_list<const char*> values);

using upgrade::testing::logInsert;

// A run over a scripted target and store for one phase at a time, or a whole upgrade
// with the phases a test gives. FXSilence and FXBackup start unticked, so every question
// shows and a whole run has no backup.
class ObjectsHarness : public upgrade::testing::ScriptedRun<> {
public:
    ObjectsHarness();

    bool runPhase(const upgrade::UpgradePhase& phase);
    // A whole upgrade (guard, log, collation) with `phases`.
    std::optional<app::OperationOutcome> pressUpgrade(
        const std::vector<upgrade::UpgradePhase>& phases);

    // The queries and statements sent to the target that contain `fragment`.
    std::vector<std::string> targetSent(const std::string& fragment) const;
};

inline const std::string kBreak = "\n\r\n\r";

}  // namespace objects::testing
