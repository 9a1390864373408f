#pragma once

#include "gui_win32/windows_api.h"

#include "platform/dialogs.h"

namespace velmor {

// Message boxes with one OK button, owned by the main window while it is visible.
class Win32Dialogs : public Dialogs {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }
  void ShowError(const std::string& text, const std::string& caption) override;
  void ShowWarning(const std::string& text, const std::string& caption) override;

 private:
  void Show(const std::string& text, const std::string& caption, UINT icon);

  HWND owner_ = nullptr;
};

}  // namespace velmor
