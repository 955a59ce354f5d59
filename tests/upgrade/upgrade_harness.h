#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/connection_openers.h"
#include "app/main_form.h"
#include "fake_connection.h"
#include "fake_host.h"
#include "upgrade/upgrade_run.h"

namespace upgrade::testing {

// What the phase tests share: a run over scripted connections, openers that lend them to
// a whole upgrade, and the statement log as the store received it.

// A run whose log inserts are abort-on-error, as the upgrade makes it.
std::unique_ptr<UpgradeRun> newRun(app::MainForm& form, app::Host& host, db::Connection& target,
                                   db::Connection& store);

// Answers the store's question whether it holds a captured table, which a run asks before
// it takes the guard, with yes.
void scriptCapturedTable(testing_support::FakeConnection& store);

// Openers that lend both connections to a whole upgrade run; they stay readable after it.
// The store is scripted to hold a captured table.
app::ConnectionOpeners lendingOpeners(testing_support::FakeConnection& target,
                                      testing_support::FakeConnection& store);

// The statement log insert of `sql`:
// INSERT INTO tbLogs (descrit) VALUES ('<sql as a store literal>')
std::string logInsert(const std::string& sql);

// The log inserts the store received, in order.
std::vector<std::string> loggedStatements(const testing_support::FakeConnection& store);

// A form, a host and scripted target and store connections, with the run over them made
// on first use: what each phase suite's harness starts from. `Target` is the scripted
// target's type.
template <typename Target = testing_support::FakeConnection>
class ScriptedRun {
public:
    UpgradeRun& run() {
        if (!m_run) m_run = newRun(form, host, target, store);
        return *m_run;
    }

    // The statements sent to the target (queries left out) and the log inserts, in order.
    const std::vector<std::string>& targetStatements() const { return target.executed; }
    std::vector<std::string> loggedStatements() const { return upgrade::testing::loggedStatements(store); }

    app::MainForm form;
    testing_support::FakeHost host;
    Target target;
    testing_support::FakeConnection store;

private:
    std::unique_ptr<UpgradeRun> m_run;
};

}  // namespace upgrade::testing
