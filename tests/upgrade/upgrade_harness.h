#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/connection_openers.h"
#include "fake_connection.h"
#include "upgrade/upgrade_run.h"

namespace upgrade::testing {

// What the phase tests share: a run over scripted connections, openers that lend them to
// a whole upgrade, and the statement log as the store received it.

// A run whose log inserts are abort-on-error, as the upgrade makes it.
std::unique_ptr<UpgradeRun> newRun(app::MainForm& form, app::Host& host, db::Connection& target,
                                   db::Connection& store);

// Openers that lend both connections to a whole upgrade run; they stay readable after it.
app::ConnectionOpeners lendingOpeners(testing_support::FakeConnection& target,
                                      testing_support::FakeConnection& store);

// The statement log insert of `sql`:
// INSERT INTO tbLogs (descrit) VALUES ('<sql as a store literal>')
std::string logInsert(const std::string& sql);

// The log inserts the store received, in order.
std::vector<std::string> loggedStatements(const testing_support::FakeConnection& store);

}  // namespace upgrade::testing
