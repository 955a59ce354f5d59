#include "registry/connection_override.h"

namespace registry {

const char* valueName(ConnectionSetting setting) {
    switch (setting) {
        case ConnectionSetting::DataSource:
            return "dtDataSource";
        case ConnectionSetting::InitialCatalog:
            return "dtInitialCatalog";
        case ConnectionSetting::User:
            return "dtUser";
        case ConnectionSetting::Password:
            return "dtPassword";
    }
    return "";
}

void readConnectionOverride(const std::string& keySuffix, RegistryReader& reader,
                            SerialDecoder& decoder, const ConnectionSettingSink& sink) {
    const std::string keyPath = kOverrideKeyBase + keySuffix;
    for (ConnectionSetting setting :
         {ConnectionSetting::DataSource, ConnectionSetting::InitialCatalog, ConnectionSetting::User,
          ConnectionSetting::Password}) {
        if (!reader.ObterValorString(keyPath, valueName(setting), std::nullopt, 0).isText()) continue;
        const ReadResult again = reader.ObterValorString(keyPath, valueName(setting), std::nullopt, 0);
        if (!again.isText()) continue;
        sink(setting, setting == ConnectionSetting::Password ? decoder.DencriptSerial(again.value())
                                                            : again.value());
    }
}

ConnectionOverride readConnectionOverride(const std::string& keySuffix, RegistryReader& reader,
                                          SerialDecoder& decoder) {
    ConnectionOverride found;
    readConnectionOverride(keySuffix, reader, decoder,
                           [&found](ConnectionSetting setting, const std::string& text) {
                               switch (setting) {
                                   case ConnectionSetting::DataSource:
                                       found.dataSource = text;
                                       break;
                                   case ConnectionSetting::InitialCatalog:
                                       found.initialCatalog = text;
                                       break;
                                   case ConnectionSetting::User:
                                       found.user = text;
                                       break;
                                   case ConnectionSetting::Password:
                                       found.password = text;
                                       break;
                               }
                           });
    return found;
}

}  // namespace registry
