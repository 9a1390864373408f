#include "gui_win32/win32_dialogs.h"

#include <cwchar>
#include <iterator>

#include "platform/text_codec.h"

namespace velmor {

void Win32Dialogs::Show(const std::string& text, const std::string& caption, UINT icon) {
  if (blocked_) return;
  // A hidden owner would hide the box with it; without one the box stays modal for the
  // whole program instead.
  const bool owned = owner_ && IsWindowVisible(owner_);
  MessageBoxW(owned ? owner_ : nullptr, Windows1252ToWide(text).c_str(),
              Windows1252ToWide(caption).c_str(),
              MB_OK | icon | (owned ? 0u : static_cast<UINT>(MB_TASKMODAL | MB_SETFOREGROUND)));
}

void Win32Dialogs::CloseAllAndBlock() {
  blocked_ = true;
  // Message boxes are dialogs of this thread; closing one makes its call return.
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM) -> BOOL {
        wchar_t name[16] = {};
        GetClassNameW(window, name, static_cast<int>(std::size(name)));
        if (std::wcscmp(name, L"#32770") == 0) PostMessageW(window, WM_CLOSE, 0, 0);
        return TRUE;
      },
      0);
}

void Win32Dialogs::ShowError(const std::string& text, const std::string& caption) {
  Show(text, caption, MB_ICONSTOP);
}

void Win32Dialogs::ShowWarning(const std::string& text, const std::string& caption) {
  Show(text, caption, MB_ICONEXCLAMATION);
}

}  // namespace velmor
