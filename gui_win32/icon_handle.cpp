#include "gui_win32/icon_handle.h"

#include <cstring>
#include <vector>

namespace velmor {

HICON CreateIconFromImage(const IconImage& image) {
  BITMAPV5HEADER header = {};
  header.bV5Size = sizeof header;
  header.bV5Width = image.width;
  header.bV5Height = -image.height;  // top-down rows, as IconImage holds them
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP color = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (!color) return nullptr;
  // 0xAARRGGBB is the DIB's own byte order (blue first) on a little-endian machine.
  std::memcpy(bits, image.pixels.data(), image.pixels.size() * sizeof(std::uint32_t));
  // The mask is all zeros: the alpha channel decides what shows.
  std::vector<std::uint8_t> mask_bits(
      static_cast<std::size_t>(((image.width + 15) / 16) * 2 * image.height), 0);
  HBITMAP mask = CreateBitmap(image.width, image.height, 1, 1, mask_bits.data());
  ICONINFO info = {};
  info.fIcon = TRUE;
  info.hbmColor = color;
  info.hbmMask = mask;
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(color);
  DeleteObject(mask);
  return icon;
}

}  // namespace velmor
