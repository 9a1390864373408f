#include "gui_qt/qt_colors.h"

namespace velmor {

QColor ToQColor(TColor color, const QPalette& palette) {
  switch (color) {
    case clWindow:
      return palette.color(QPalette::Base);
    case clWindowText:
      return palette.color(QPalette::WindowText);
    case clBtnFace:
      return palette.color(QPalette::Button);
    case clInactiveCaptionText:
      // The classic scheme's silver: the look of a field that cannot be edited now.
      return QColor(192, 192, 192);
    default:
      return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                    static_cast<int>((color >> 16) & 0xFF));
  }
}

}  // namespace velmor
