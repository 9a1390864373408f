#pragma once

#include "gui_win32/windows_api.h"

#include <functional>

#include "platform/tray_icon.h"

namespace velmor {

// The notification-area icon through Shell_NotifyIconW. The shell reports the icon's mouse
// events to the window as kMessage with the event in lParam; the window hands them to
// Event, which passes a double-click and a right-button release on as TrayEvents. When
// Explorer starts or restarts, the window hands the TaskbarCreated message to Restore,
// which registers the icon again; an icon the shell refused is offered again with every
// new picture. Main thread only.
class Win32TrayIcon : public TrayIcon {
 public:
  static constexpr UINT kMessage = WM_USER + 1001;
  static constexpr UINT kIconId = 1005;

  // The window that owns the icon and receives its messages; it must exist before Add.
  explicit Win32TrayIcon(HWND window);
  ~Win32TrayIcon() override;
  Win32TrayIcon(const Win32TrayIcon&) = delete;
  Win32TrayIcon& operator=(const Win32TrayIcon&) = delete;

  // Opens the popup menu at a screen position and returns once it has closed.
  void SetMenu(std::function<void(POINT)> track_menu) { track_menu_ = std::move(track_menu); }

  bool Available() const override;
  void Add(const IconImage& picture, const std::string& tip) override;
  void Modify(const IconImage& picture, const std::string& tip) override;
  void Remove() override;
  void PopUpMenuAtCursor() override;

  // kMessage's lParam: the mouse event on the icon.
  void Event(LPARAM lparam) const;

  // The message a restarted Explorer sends to every top-level window.
  static UINT TaskbarCreatedMessage();
  void Restore();

 private:
  bool Call(DWORD action, bool with_tip) const;
  void Show(const IconImage& picture, const std::string& tip);

  HWND window_;
  HICON icon_ = nullptr;
  std::wstring tip_;
  bool wanted_ = false;  // between Add and Remove
  bool shown_ = false;   // the shell took the icon
  std::function<void(POINT)> track_menu_;
};

}  // namespace velmor
