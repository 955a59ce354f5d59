#pragma once

#include "app/host.h"
#include "app/startup_settings.h"

namespace app {

// The registry override of the window load, also the command line's defaults: the
// connection settings below "HKEY_LOCAL_MACHINE\SOFTWARE\Marvane\" + the key suffix
// replace FXServer, FXDatabase, FXUsername and FXPassword (the password decoded for this
// machine). The registry files and the shadow folder are the ones the environment names
// (registry::RegistryLocations::fromEnvironment); a malformed key path is shown on `host`
// as an OK-only box with the default title. `host` must outlive the returned function.
RegistryOverride registryStartupOverride(Host& host);

}  // namespace app
