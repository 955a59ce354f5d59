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
class ObjectsHarness {
public:
    ObjectsHarness();

    upgrade::UpgradeRun& run();
    bool runPhase(const upgrade::UpgradePhase& phase);
    // A whole upgrade (guard, log, collation) with `phases`.
    std::optional<app::OperationOutcome> pressUpgrade(
        const std::vector<upgrade::UpgradePhase>& phases);

    // The statements sent to the target (queries left out) and the log inserts, in order.
    const std::vector<std::string>& targetStatements() const { return target.executed; }
    std::vector<std::string> loggedStatements() const;
    // The queries and statements sent to the target that contain `fragment`.
    std::vector<std::string> targetSent(const std::string& fragment) const;

    app::MainForm form;
    testing_support::FakeHost host;
    testing_support::FakeConnection target;
    testing_support::FakeConnection store;

private:
    std::unique_ptr<upgrade::UpgradeRun> m_run;
};

inline const std::string kBreak = "\n\r\n\r";

}  // namespace objects::testing
