#pragma once

#include <QColor>
#include <QPalette>

#include "platform/color.h"

namespace velmor {

// A control colour for Qt: RGB values as they are, system colours from the palette.
QColor ToQColor(TColor color, const QPalette& palette);

}  // namespace velmor
