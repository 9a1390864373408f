#include "gui_win32/win32_dialogs.h"

#include "platform/text_codec.h"

namespace velmor {

void Win32Dialogs::Show(const std::string& text, const std::string& caption, UINT icon) {
  // A hidden owner would hide the box with it; without one the box stays modal for the
  // whole program instead.
  const bool owned = owner_ && IsWindowVisible(owner_);
  MessageBoxW(owned ? owner_ : nullptr, Windows1252ToWide(text).c_str(),
              Windows1252ToWide(caption).c_str(),
              MB_OK | icon | (owned ? 0u : static_cast<UINT>(MB_TASKMODAL | MB_SETFOREGROUND)));
}

void Win32Dialogs::ShowError(const std::string& text, const std::string& caption) {
  Show(text, caption, MB_ICONSTOP);
}

void Win32Dialogs::ShowWarning(const std::string& text, const std::string& caption) {
  Show(text, caption, MB_ICONEXCLAMATION);
}

}  // namespace velmor
