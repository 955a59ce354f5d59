#pragma once

#include <QImage>

#include "app/startup_settings.h"

namespace qtui {

class MainWindow;

// The window as it opens, drawn into an image without waiting for anyone: the load runs
// with every message box answered by its default button, and each box it would have
// shown is drawn into the picture, centred over the window and stepped down one below
// the other, with its title above it. Leaves the window's message box handler replaced.
QImage renderScreenshot(MainWindow& window, const app::RegistryOverride& registryOverride = {});

}  // namespace qtui
