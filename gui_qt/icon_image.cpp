#include "gui_qt/icon_image.h"

#include <QPixmap>

#include "shell/tray_images.h"

namespace velmor {

QImage ToQImage(const IconImage& image) {
  QImage result(image.width, image.height, QImage::Format_ARGB32);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) result.setPixel(x, y, image.At(x, y));
  }
  return result;
}

QIcon WindowIcon() {
  QIcon icon;
  for (int size : {32, 16}) icon.addPixmap(QPixmap::fromImage(ToQImage(DrawWindowIcon(size))));
  return icon;
}

}  // namespace velmor
