#pragma once

#include <string>

#include "app/host.h"
#include "app/startup_settings.h"
#include "registry/connection_override.h"

namespace app {

// The registry override of the window load, also the command line's defaults: the
// connection settings below "HKEY_LOCAL_MACHINE\SOFTWARE\Marvane\" + the key suffix
// replace FXServer, FXDatabase, FXUsername and FXPassword (the password decoded for this
// machine). The registry files and the shadow folder are the ones the environment names
// (registry::RegistryLocations::fromEnvironment); a malformed key path is shown on `host`
// as an OK-only box with the default title. `host` must outlive the returned function.
RegistryOverride registryStartupOverride(Host& host);

// The same override's settings for `keySuffix`, gathered instead of put into a form, for
// the command line, which weighs them against its options and Defs.ini. A setting the
// registry leaves alone is absent. Throws as the override does.
registry::ConnectionOverride readRegistryStartupSettings(Host& host, const std::string& keySuffix);

}  // namespace app
