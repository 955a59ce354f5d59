#include "shell/cli/watched_target.h"

#include <chrono>

#include "db/error.h"
#include "db/odbc/odbc_connection.h"
#include "fleet/guard_watch.h"
#include "shell/cli/cancel_signals.h"

namespace cli {
namespace {

constexpr std::string_view kReleaseMark = "UPDATE tbVersao SET upgrading = 0";

}  // namespace

std::unique_ptr<db::Connection> watchedTarget(std::unique_ptr<db::Connection> inner,
                                              std::shared_ptr<TargetWatch> watch,
                                              std::function<void(fleet::GuardEvent)> alsoOnGuard) {
    watch->opened = true;
    auto onGuard = [watch, alsoOnGuard = std::move(alsoOnGuard)](fleet::GuardEvent event) {
        watch->markRaised = event == fleet::GuardEvent::Raised;
        if (alsoOnGuard) alsoOnGuard(event);
    };
    return std::make_unique<fleet::WatchedTarget>(std::move(inner), std::move(onGuard));
}

std::string releaseMarkNow(const TargetWatch& watch) {
    const std::string database = watch.settings.database;
    if (!watch.markRaised) {
        return "sqlupgrade-cli: upgrade ended at once; " + database +
               " was not marked as being upgraded by this run.";
    }
    const std::string stays = ": " + database +
                              " stays marked as being upgraded (upgrading in tbVersao); check it, then "
                              "run again with --answer yes.";
    db::ServerSettings settings = watch.settings;
    settings.connectTimeoutSeconds = 2;
    settings.commandTimeoutSeconds = 2;
    try {
        return withinTimeLimit(
            [settings, database] {
                db::odbc::openServer(settings)->execute(kReleaseMark);
                return "sqlupgrade-cli: upgrade ended at once; the upgrading mark in tbVersao of " + database +
                       " was released.";
            },
            std::chrono::seconds(2),
            "sqlupgrade-cli: upgrade ended at once; the upgrading mark could not be released within two "
            "seconds" + stays);
    } catch (const std::exception& e) {
        const auto* error = dynamic_cast<const db::Error*>(&e);
        return "sqlupgrade-cli: upgrade ended at once; the upgrading mark could not be released (" +
               (error ? error->description() : std::string(e.what())) + ")" + stays;
    }
}

}  // namespace cli
