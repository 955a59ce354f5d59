#include "app/registry_startup_override.h"

#include "registry/connection_override.h"

namespace app {
namespace {

TextBox& boxOf(MainForm& form, registry::ConnectionSetting setting) {
    switch (setting) {
        case registry::ConnectionSetting::DataSource:
            return form.FXServer;
        case registry::ConnectionSetting::InitialCatalog:
            return form.FXDatabase;
        case registry::ConnectionSetting::User:
            return form.FXUsername;
        case registry::ConnectionSetting::Password:
            break;
    }
    return form.FXPassword;
}

}  // namespace

RegistryOverride registryStartupOverride(Host& host) {
    return [&host](MainForm& form, const std::string& keySuffix) {
        registry::RegistryReader reader(
            registry::RegistryLocations::fromEnvironment(),
            [&host](const std::string& text) { host.messageBox(text, mb::kOkOnly, std::nullopt); });
        registry::readConnectionOverride(
            keySuffix, reader, registry::processSerialDecoder(),
            [&form](registry::ConnectionSetting setting, const std::string& text) {
                boxOf(form, setting).text = text;
            });
    };
}

}  // namespace app
