#pragma once

#include "gui_win32/windows_api.h"

#include "platform/dialogs.h"

namespace velmor {

// Message boxes with one OK button, owned by the main window; while that is hidden, a box
// has a taskbar button of its own, which flashes.
class Win32Dialogs : public Dialogs {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }
  // For the end of the session and console events: closes the boxes that are open (their
  // calls return) and shows no further ones, so the exit steps are never held by a box
  // nobody is there to answer.
  void CloseAllAndBlock();
  void ShowError(const std::string& text, const std::string& caption) override;
  void ShowWarning(const std::string& text, const std::string& caption) override;

 private:
  void Show(const std::string& text, const std::string& caption, UINT icon);

  HWND owner_ = nullptr;
  bool blocked_ = false;
};

}  // namespace velmor
