#pragma once

#include <QIcon>
#include <QImage>

#include "platform/tray_icon.h"

namespace velmor {

QImage ToQImage(const IconImage& image);
// The program's emblem in 32 x 32 and 16 x 16.
QIcon WindowIcon();

}  // namespace velmor
