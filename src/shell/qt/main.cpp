#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <csignal>
#include <string_view>

#include "db/odbc/odbc_connection.h"
#include "fleet/guard_ledger.h"
#include "fleet/guard_watch.h"
#include "app/program_folder.h"
#include "app/registry_startup_override.h"
#include "shell/qt/main_window.h"
#include "shell/qt/screenshot.h"
#include "store/definitions_store.h"

namespace {

// The window's options, described once for the help and the manual page.
struct Options {
    QCommandLineOption home{"home",
                            "Folder of Defs.ini and SQL.mdb (default: $SQLUPGRADE_HOME, else the program's own "
                            "folder when it holds Defs.ini or SQL.mdb, else $XDG_DATA_HOME/sqlupgrade).",
                            "DIR"};
    QCommandLineOption screenshot{"screenshot", "Render the window to FILE (PNG) and exit.", "FILE"};
};

// Parses the arguments of `app`; the help and the version are printed here and end the
// program.
void parseArguments(QCommandLineParser& parser, const Options& options, const QCoreApplication& app) {
    QCoreApplication::setApplicationName("SQL Database Upgrade");
    QCoreApplication::setApplicationVersion(SQLUPGRADE_VERSION);
    parser.setApplicationDescription(
        "SQL Database Upgrade: the window. It fills in the connection settings from Defs.ini in "
        "the program folder and, with the automatic start ticked, upgrades the database 20 "
        "seconds after it opens.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(options.home);
    parser.addOption(options.screenshot);
    parser.process(app);
}

// Whether the arguments ask for the help or the version, which are text.
bool asksForTextOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-v" || arg == "--version") return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Over a file-size limit a write then fails like one on a full disk, and the run ends
    // through its error exit, instead of the process being killed half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    const Options options;
    if (asksForTextOnly(argc, argv)) {
        // A core application prints them: they work where no display is (a server's
        // shell, a manual page being made), where a window application would abort.
        QCoreApplication text(argc, argv);
        QCommandLineParser parser;
        parseArguments(parser, options, text);
        return 0;
    }
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parseArguments(parser, options, app);
    // The installed desktop entry and icon (packaging/), so the desktop shows them too.
    QApplication::setDesktopFileName("sqlupgrade");
    QApplication::setWindowIcon(QIcon::fromTheme("sqlupgrade"));
    // One look on every desktop (and on the offscreen platform of the screenshot).
    QApplication::setStyle("Fusion");

    std::optional<std::filesystem::path> homeOption;
    if (parser.isSet(options.home)) homeOption = parser.value(options.home).toStdString();
    const std::filesystem::path folder = app::programFolder(homeOption);

    // Each upgrade guard the window raises or releases goes into the program folder's
    // guard ledger, where `sqlupgrade-cli guard status` finds who raised it.
    app::ConnectionOpeners openers{
        [folder](const db::ServerSettings& settings) -> std::unique_ptr<db::Connection> {
            return std::make_unique<fleet::WatchedTarget>(
                db::odbc::openServer(settings),
                fleet::GuardLedger(fleet::guardLedgerPath(folder)).recorder(settings.server, settings.database));
        },
        [folder] { return store::openStore(store::storePath(folder)); }, store::storePath(folder),
        "sqlupgrade-cli --home '" + folder.string() + "' init-store"};
    qtui::MainWindow window(folder, openers);
    const app::RegistryOverride registryOverride = app::registryStartupOverride(window.host());
    if (parser.isSet(options.screenshot)) {
        return qtui::renderScreenshot(window, registryOverride).save(parser.value(options.screenshot), "PNG") ? 0 : 1;
    }
    window.load(registryOverride);
    window.show();
    window.armTimer();
    return QApplication::exec();
}
