#include "gui_win32/win32_tray_icon.h"

#include <shellapi.h>

#include <cwchar>

#include "gui_win32/icon_handle.h"
#include "platform/text_codec.h"

namespace velmor {

Win32TrayIcon::Win32TrayIcon(HWND window) : window_(window) {}

Win32TrayIcon::~Win32TrayIcon() {
  if (registered_) Remove();
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

void Win32TrayIcon::Call(DWORD action, const IconImage* picture, const std::string* tip) {
  HICON previous = nullptr;
  if (picture) {
    previous = icon_;
    icon_ = CreateIconFromImage(*picture);
  }
  if (tip) tip_ = Windows1252ToWide(tip->substr(0, kTrayTipMaxLength));
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kIconId;
  if (action != NIM_DELETE) {
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kMessage;
    data.hIcon = icon_;
    wcsncpy(data.szTip, tip_.c_str(), std::size(data.szTip) - 1);
  }
  // Results are not checked: a failed call is ignored, as the window's logic expects.
  Shell_NotifyIconW(action, &data);
  // The shell has its own copy of the picture by now.
  if (previous) DestroyIcon(previous);
}

void Win32TrayIcon::Add(const IconImage& picture, const std::string& tip) {
  Call(NIM_ADD, &picture, &tip);
  registered_ = true;
}

void Win32TrayIcon::Modify(const IconImage& picture, const std::string& tip) {
  Call(NIM_MODIFY, &picture, &tip);
}

void Win32TrayIcon::Remove() {
  Call(NIM_DELETE, nullptr, nullptr);
  registered_ = false;
}

void Win32TrayIcon::Restore() {
  if (registered_) Call(NIM_ADD, nullptr, nullptr);
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
