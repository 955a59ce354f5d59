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

// The registry files the environment names; "Formato Incorrecto:" notices go to `host`.
registry::RegistryReader startupReader(Host& host) {
    return registry::RegistryReader(
        registry::RegistryLocations::fromEnvironment(),
        [&host](const std::string& text) { host.messageBox(text, mb::kOkOnly, std::nullopt); });
}

}  // namespace

RegistryOverride registryStartupOverride(Host& host) {
    return [&host](MainForm& form, const std::string& keySuffix) {
        registry::RegistryReader reader = startupReader(host);
        registry::readConnectionOverride(
            keySuffix, reader, registry::processSerialDecoder(),
            [&form](registry::ConnectionSetting setting, const std::string& text) {
                boxOf(form, setting).text = text;
            });
    };
}

registry::ConnectionOverride readRegistryStartupSettings(Host& host, const std::string& keySuffix) {
    registry::RegistryReader reader = startupReader(host);
    return registry::readConnectionOverride(keySuffix, reader, registry::processSerialDecoder());
}

}  // namespace app
