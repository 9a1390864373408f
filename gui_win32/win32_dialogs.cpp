#include "gui_win32/win32_dialogs.h"

#include <cwchar>
#include <iterator>

#include "platform/text_codec.h"

namespace velmor {

namespace {

// While the main window is hidden, a box may open behind a fullscreen game: this hook,
// set for one box, gives it a taskbar button of its own and flashes that until the player
// looks.
thread_local HHOOK box_hook = nullptr;

LRESULT CALLBACK MarkHiddenProgramsBox(int code, WPARAM wparam, LPARAM lparam) {
  const LRESULT result = CallNextHookEx(box_hook, code, wparam, lparam);
  if (code == HCBT_CREATEWND) {
    CREATESTRUCTW& created = *reinterpret_cast<CBT_CREATEWNDW*>(lparam)->lpcs;
    // The box's own controls are children; the box is the one top-level window.
    if (!(created.style & WS_CHILD)) created.dwExStyle |= WS_EX_APPWINDOW;
  } else if (code == HCBT_ACTIVATE) {
    UnhookWindowsHookEx(box_hook);
    box_hook = nullptr;
    FLASHWINFO flash = {sizeof flash, reinterpret_cast<HWND>(wparam), FLASHW_ALL | FLASHW_TIMERNOFG,
                        0, 0};
    FlashWindowEx(&flash);
  }
  return result;
}

}  // namespace

void Win32Dialogs::Show(const std::string& text, const std::string& caption, UINT icon) {
  if (blocked_) return;
  // Owned by the main window (the tray icon's), also while it is hidden, so the box belongs
  // to the program and stays above its window.
  const bool hidden = owner_ && !IsWindowVisible(owner_);
  if (hidden) {
    box_hook = SetWindowsHookExW(WH_CBT, MarkHiddenProgramsBox, nullptr, GetCurrentThreadId());
  }
  MessageBoxW(owner_, Windows1252ToWide(text).c_str(), Windows1252ToWide(caption).c_str(),
              MB_OK | icon | (owner_ ? 0u : static_cast<UINT>(MB_TASKMODAL)) |
                  (hidden ? static_cast<UINT>(MB_SETFOREGROUND) : 0u));
  // A box that failed to open leaves the hook behind.
  if (box_hook) {
    UnhookWindowsHookEx(box_hook);
    box_hook = nullptr;
  }
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
