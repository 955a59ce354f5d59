#include "app/connection_openers.h"

namespace app {

db::ServerSettings serverSettingsFrom(const MainForm& form) {
    db::ServerSettings settings;
    settings.server = form.FXServer.text;
    settings.database = form.FXDatabase.text;
    settings.user = form.FXUsername.text;
    settings.password = form.FXPassword.text;
    return settings;
}

}  // namespace app
