#include <QApplication>
#include <QCommandLineParser>

#include "db/odbc/odbc_connection.h"
#include "app/program_folder.h"
#include "app/registry_startup_override.h"
#include "shell/qt/main_window.h"
#include "shell/qt/screenshot.h"
#include "store/definitions_store.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("SQL Database Upgrade");
    // One look on every desktop (and on the offscreen platform of the screenshot).
    QApplication::setStyle("Fusion");

    QCommandLineParser parser;
    parser.setApplicationDescription("SQL Database Upgrade");
    parser.addHelpOption();
    const QCommandLineOption home("home", "Folder of Defs.ini and SQL.mdb.", "DIR");
    const QCommandLineOption screenshot("screenshot", "Render the window to FILE (PNG) and exit.", "FILE");
    parser.addOption(home);
    parser.addOption(screenshot);
    parser.process(app);

    std::optional<std::filesystem::path> homeOption;
    if (parser.isSet(home)) homeOption = parser.value(home).toStdString();
    const std::filesystem::path folder = app::programFolder(homeOption);

    app::ConnectionOpeners openers{
        [](const db::ServerSettings& settings) { return db::odbc::openServer(settings); },
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
