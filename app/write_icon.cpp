// Writes the program's icon file (32 x 32 and 16 x 16, 32-bit with alpha) from the emblem
// that the tray pictures are drawn with, so velmor.exe shows the same emblem in Explorer.
// Built for and run on the build machine.
//
// Usage: write_icon <file.ico>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "shell/tray_images.h"

namespace {

void Put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// One image in the icon file's form: a bitmap header of twice the height (colour and
// mask), the colour rows bottom-up, then the 1-bit mask rows, each padded to 4 bytes.
std::string IconBitmap(const velmor::IconImage& image) {
  const int mask_row = ((image.width + 31) / 32) * 4;
  std::string out;
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(image.width));
  Put32(out, static_cast<std::uint32_t>(image.height * 2));
  Put16(out, 1);
  Put16(out, 32);
  Put32(out, 0);
  Put32(out, static_cast<std::uint32_t>(image.width * image.height * 4 + mask_row * image.height));
  for (int i = 0; i < 4; ++i) Put32(out, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    for (int x = 0; x < image.width; ++x) Put32(out, image.At(x, y));  // B, G, R, A
  }
  for (int y = image.height - 1; y >= 0; --y) {
    std::string row(static_cast<std::size_t>(mask_row), '\0');
    for (int x = 0; x < image.width; ++x) {
      if ((image.At(x, y) >> 24) == 0)
        row[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
    }
    out += row;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_icon <file.ico>\n");
    return 2;
  }
  std::vector<std::string> bitmaps;
  std::vector<int> sizes = {32, 16};
  for (int size : sizes) bitmaps.push_back(IconBitmap(velmor::DrawWindowIcon(size)));

  std::string out;
  Put16(out, 0);
  Put16(out, 1);  // an icon
  Put16(out, static_cast<unsigned>(sizes.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(sizes.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    out += static_cast<char>(sizes[i]);
    out += static_cast<char>(sizes[i]);
    out += '\0';  // no palette
    out += '\0';
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, static_cast<std::uint32_t>(bitmaps[i].size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(bitmaps[i].size());
  }
  for (const std::string& bitmap : bitmaps) out += bitmap;

  std::FILE* file = std::fopen(argv[1], "wb");
  if (!file) return 1;
  const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
  return std::fclose(file) == 0 && written ? 0 : 1;
}
