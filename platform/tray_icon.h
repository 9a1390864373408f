#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmor {

// A small picture as 32-bit pixels 0xAARRGGBB, row by row from the top-left corner
// (pixels.size() == width * height). Alpha 0xFF is fully opaque.
struct IconImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
  bool operator==(const IconImage&) const = default;
};

// The mouse events that reach the main window's TrayIconNotify(lParam), numbered as the
// Windows messages they stand for; every other value is ignored there.
constexpr std::intptr_t kWmLButtonDblClk = 0x0203;  // left double-click
constexpr std::intptr_t kWmRButtonUp = 0x0205;      // right button released

// The longest tip the notification area shows; longer tips are cut to this many bytes.
constexpr std::size_t kTrayTipMaxLength = 127;

// The program's one icon in the notification area. Tips are Windows-1252 text. Main thread
// only. Results are not reported: a failed add, modify or remove is ignored by the caller,
// and the icon is not registered again if the notification area is recreated.
// The implementation delivers the icon's mouse events to the main window's
// TrayIconNotify with the codes above.
class TrayIcon {
 public:
  virtual ~TrayIcon() = default;

  // Whether the desktop has a notification area at all.
  virtual bool Available() const = 0;

  // Registers the icon with a 16 x 16 picture and its tip. Called once.
  virtual void Add(const IconImage& picture, const std::string& tip) = 0;
  // Replaces picture and tip of the registered icon.
  virtual void Modify(const IconImage& picture, const std::string& tip) = 0;
  // Unregisters the icon. Called once, at exit.
  virtual void Remove() = 0;

  // For a right-button release: reads the cursor position, brings the main window to the
  // foreground and opens its popup menu there. Menu commands arrive as the entries' clicks.
  virtual void PopUpMenuAtCursor() = 0;
};

}  // namespace velmor
