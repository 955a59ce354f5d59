#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <csignal>

#include "db/odbc/odbc_connection.h"
#include "fleet/guard_ledger.h"
#include "fleet/guard_watch.h"
#include "app/program_folder.h"
#include "app/registry_startup_override.h"
#include "shell/qt/main_window.h"
#include "shell/qt/screenshot.h"
#include "store/definitions_store.h"

int main(int argc, char** argv) {
    // Over a file-size limit a write then fails like one on a full disk, and the run ends
    // through its error exit, instead of the process being killed half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName("SQL Database Upgrade");
    // The installed desktop entry and icon (packaging/), so the desktop shows them too.
    QApplication::setDesktopFileName("sqlupgrade");
    QApplication::setWindowIcon(QIcon::fromTheme("sqlupgrade"));
    // One look on every desktop (and on the offscreen platform of the screenshot).
    QApplication::setStyle("Fusion");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "SQL Database Upgrade: the window. It fills in the connection settings from Defs.ini in "
        "the program folder and, with the automatic start ticked, upgrades the database 20 "
        "seconds after it opens.");
    parser.addHelpOption();
    const QCommandLineOption home("home",
                                  "Folder of Defs.ini and SQL.mdb (default: $SQLUPGRADE_HOME, else the "
                                  "program's own folder when it holds Defs.ini or SQL.mdb, else "
                                  "$XDG_DATA_HOME/sqlupgrade).",
                                  "DIR");
    const QCommandLineOption screenshot("screenshot", "Render the window to FILE (PNG) and exit.", "FILE");
    parser.addOption(home);
    parser.addOption(screenshot);
    parser.process(app);

    std::optional<std::filesystem::path> homeOption;
    if (parser.isSet(home)) homeOption = parser.value(home).toStdString();
    const std::filesystem::path folder = app::programFolder(homeOption);

    // Each upgrade guard the window raises or releases goes into the program folder's
    // guard ledger, where `sqlupgrade-cli guard status` finds who raised it.
    app::ConnectionOpeners openers{
        [folder](const db::ServerSettings& settings) -> std::unique_ptr<db::Connection> {
            return std::make_unique<fleet::WatchedTarget>(
                db::odbc::openServer(settings),
                fleet::GuardLedger(fleet::guardLedgerPath(folder)).recorder(settings.server, settings.database));
        },
        [folder] { return store::openStore(store::storePath(folder)); }};
    qtui::MainWindow window(folder, openers);
    const app::RegistryOverride registryOverride = app::registryStartupOverride(window.host());
    if (parser.isSet(screenshot)) {
        return qtui::renderScreenshot(window, registryOverride).save(parser.value(screenshot), "PNG") ? 0 : 1;
    }
    window.load(registryOverride);
    window.show();
    window.armTimer();
    return QApplication::exec();
}
