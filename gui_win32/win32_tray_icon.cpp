#include "gui_win32/win32_tray_icon.h"

#include <shellapi.h>

#include <cwchar>

#include "gui_win32/icon_handle.h"
#include "platform/text_codec.h"

namespace velmor {

Win32TrayIcon::Win32TrayIcon(HWND window) : window_(window) {}

Win32TrayIcon::~Win32TrayIcon() {
  if (wanted_) Remove();
  if (icon_) DestroyIcon(icon_);
}

bool Win32TrayIcon::Available() const {
  // The taskbar holds the notification area; a shell without one (a kiosk, a bare session)
  // could never bring a hidden window back.
  return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr;
}

UINT Win32TrayIcon::TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

bool Win32TrayIcon::Call(DWORD action, bool with_tip) const {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kIconId;
  if (action != NIM_DELETE) {
    data.uFlags = NIF_MESSAGE | NIF_ICON | (with_tip ? NIF_TIP : 0);
    data.uCallbackMessage = kMessage;
    data.hIcon = icon_;
    wcsncpy(data.szTip, tip_.c_str(), std::size(data.szTip) - 1);
  }
  return Shell_NotifyIconW(action, &data) != FALSE;
}

void Win32TrayIcon::Show(const IconImage& picture, const std::string& tip) {
  HICON previous = icon_;
  icon_ = CreateIconFromImage(picture);
  std::wstring new_tip = Windows1252ToWide(tip.substr(0, kTrayTipMaxLength));
  // The tip goes to the shell only when it changes, not with every frame of the animation.
  const bool tip_changed = new_tip != tip_ || !shown_;
  tip_ = std::move(new_tip);
  // The shell refuses icons while Explorer starts at logon, forgets them when it restarts,
  // and may report a time-out for an icon it did add: an icon not known to be there is
  // added again at the next picture, and a refused change adds it anew.
  if (!shown_ || !Call(NIM_MODIFY, tip_changed)) {
    shown_ = Call(NIM_ADD, true) || Call(NIM_MODIFY, true);
  }
  // The shell has its own copy of the picture by now.
  if (previous) DestroyIcon(previous);
}

void Win32TrayIcon::Add(const IconImage& picture, const std::string& tip) {
  wanted_ = true;
  shown_ = false;
  Show(picture, tip);
}

void Win32TrayIcon::Modify(const IconImage& picture, const std::string& tip) {
  if (wanted_) Show(picture, tip);
}

void Win32TrayIcon::Remove() {
  Call(NIM_DELETE, false);
  wanted_ = false;
  shown_ = false;
}

void Win32TrayIcon::Restore() {
  if (!wanted_) return;
  shown_ = Call(NIM_ADD, true);
}

void Win32TrayIcon::Event(LPARAM lparam) const {
  switch (LOWORD(lparam)) {
    case WM_LBUTTONDBLCLK:
      Notify(TrayEvent::kDoubleClick);
      break;
    case WM_RBUTTONUP:
      Notify(TrayEvent::kRightButtonUp);
      break;
    default:
      break;
  }
}

void Win32TrayIcon::PopUpMenuAtCursor() {
  POINT position = {};
  GetCursorPos(&position);
  // Without the foreground the menu would stay open when the user clicks elsewhere.
  SetForegroundWindow(window_);
  if (track_menu_) track_menu_(position);
  // Lets the menu close properly the next time it opens.
  PostMessageW(window_, WM_NULL, 0, 0);
}

}  // namespace velmor
