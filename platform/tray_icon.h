#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// What the user did to the icon, as the main window's TrayIconNotify takes it. Every other
// mouse event (single clicks, moves, other buttons) is left out by the desktop.
enum class TrayEvent {
  kDoubleClick,    // a left double-click, or the one activation a host offers
  kRightButtonUp,  // the right button released: the menu is wanted
};

// The longest tip the notification area shows; longer tips are cut to this many bytes.
constexpr std::size_t kTrayTipMaxLength = 127;

// The program's one icon in the notification area. Tips are Windows-1252 text. Main thread
// only. Results are not reported: a failed add, modify or remove is ignored by the caller.
class TrayIcon {
 public:
  virtual ~TrayIcon() = default;

  // Where the icon's mouse events go (the main window's TrayIconNotify); empty to stop them.
  void SetEventHandler(std::function<void(TrayEvent)> handler) { handler_ = std::move(handler); }

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

 protected:
  // For the implementation: a mouse event on the icon.
  void Notify(TrayEvent event) const {
    if (handler_) handler_(event);
  }

 private:
  std::function<void(TrayEvent)> handler_;
};

}  // namespace velmor
