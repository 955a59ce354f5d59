#pragma once

#include <QPixmap>
#include <QSize>

namespace qtui {

// The window's fixed background picture, drawn once: a deep blue gradient with faint
// database drums, so that it needs no image file.
QPixmap makeBackground(const QSize& size);

}  // namespace qtui
