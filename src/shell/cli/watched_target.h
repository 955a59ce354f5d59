#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "db/connection.h"
#include "fleet/guard_ledger.h"

namespace cli {

// What the command line knows of an upgrade's target while the run goes on, for a
// signal that ends the program at once: the settings it was reached with and whether the
// run has raised the upgrading mark in tbVersao and not released it yet. Written by the
// run's thread, read by the signal watcher.
struct TargetWatch {
    db::ServerSettings settings;
    std::atomic<bool> markRaised{false};
    std::atomic<bool> opened{false};
};

// The target connection `inner`, watched: every call goes to it, and the guard's two
// statements ("UPDATE tbVersao SET upgrading = 1" and "... = 0") set watch.markRaised
// once they have run, then go on to `alsoOnGuard` (the guard ledger) when given.
std::unique_ptr<db::Connection> watchedTarget(std::unique_ptr<db::Connection> inner,
                                              std::shared_ptr<TargetWatch> watch,
                                              std::function<void(fleet::GuardEvent)> alsoOnGuard = {});

// Releases the mark on a connection of its own, within about two seconds, and says how
// that went, as the line to print. Example: "sqlupgrade-cli: upgrade ended at once; the
// upgrading mark in tbVersao of shop was released."
std::string releaseMarkNow(const TargetWatch& watch);

}  // namespace cli
