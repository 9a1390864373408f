// Writes the program's icon into an icon theme folder, one PNG per size
// (<folder>/<size>x<size>/apps/velmor.png), from the emblem the tray pictures are drawn
// with, so the menu shows the same emblem as the tray. Built for and run on the build
// machine.
//
// Usage: write_png_icons <folder> <size>...
#include <QDir>
#include <QImage>
#include <cstdio>
#include <string>

#include "gui_qt/icon_image.h"
#include "shell/tray_images.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: write_png_icons <folder> <size>...\n");
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    const int size = std::stoi(argv[i]);
    const QString folder = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
    const QImage image = velmor::ToQImage(velmor::DrawWindowIcon(size));
    if (!QDir().mkpath(folder) || !image.save(folder + "/velmor.png", "PNG")) {
      std::fprintf(stderr, "write_png_icons: cannot write %s/velmor.png\n",
                   folder.toLocal8Bit().constData());
      return 1;
    }
  }
  return 0;
}
