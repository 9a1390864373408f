#pragma once

#include "gui_win32/windows_api.h"

#include <array>

#include "shell/controls.h"

namespace velmor {

// The popup menu PopupMenu1 as the window system shows it: built afresh from the entries'
// state each time it opens, so it is always in step with them.
class PopupMenu {
 public:
  explicit PopupMenu(const std::array<TMenuItem*, 8>& items) : items_(items) {}

  // Opens the menu at a screen position for `window`; the chosen entry arrives there as a
  // posted WM_COMMAND once the menu has closed.
  void Track(HWND window, POINT position) const;
  // WM_COMMAND of a chosen entry: its item, or null for any other command.
  TMenuItem* Chosen(WPARAM wparam, LPARAM lparam) const;

 private:
  static constexpr int kFirstId = 2000;

  const std::array<TMenuItem*, 8>& items_;
};

}  // namespace velmor
