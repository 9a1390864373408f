#pragma once

#include "gui_win32/windows_api.h"

#include "speech/media_triggers.h"

namespace velmor {

// The sound players' control bar (240 x 30 at 96 dpi) at the window's top-left corner,
// shown while at least one sound player exists. Its three buttons act on the newest sound
// player. A child of the main window; main thread only.
class MediaBar {
 public:
  // `run` guards each button's command (the main window's error box).
  using Runner = std::function<void(const std::function<void()>&)>;
  MediaBar(HINSTANCE instance, HWND parent, MediaTriggers& media, Runner run);
  ~MediaBar();
  MediaBar(const MediaBar&) = delete;
  MediaBar& operator=(const MediaBar&) = delete;

  // Places the bar and its buttons at `dpi`, in `font`.
  void Layout(UINT dpi, HFONT font);

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Sync();

  HWND window_ = nullptr;
  MediaTriggers& media_;
  Runner run_;
};

}  // namespace velmor
