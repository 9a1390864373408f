#pragma once

#include "gui_win32/windows_api.h"

#include <functional>
#include <memory>

#include "gui_win32/form_controls.h"
#include "gui_win32/media_bar.h"
#include "gui_win32/popup_menu.h"
#include "gui_win32/win32_dispatcher.h"
#include "gui_win32/win32_timer_host.h"
#include "gui_win32/win32_tray_icon.h"
#include "shell/UOListener.h"

namespace velmor {

// The Win32 window of TMainForm: the form's controls (FormControls), the sound bar and the
// popup menu, and the messages that reach them.
//
// The native window exists before TMainForm is built (the tray icon, the timers and the
// dispatcher need it while FormCreate runs); Attach then builds the controls. The window is
// its own taskbar entry, so hiding it hides both.
//
// Per-monitor DPI aware: positions and fonts follow the nominal 96-dpi values, scaled to
// the monitor the window is on. Main thread only.
class Win32MainWindow {
 public:
  explicit Win32MainWindow(HINSTANCE instance);
  ~Win32MainWindow();
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  HWND Handle() const { return window_; }
  Win32TimerHost& Timers() { return *timers_; }

  void Attach(TMainForm& form, Win32Dispatcher& dispatcher, Win32TrayIcon& tray);
  // Lets go of the form before it is destroyed; the window stops forwarding to it.
  void Detach();
  // The first show, by the message loop; until then the window stays hidden.
  void Show();
  // Tab and the other dialog keys between the controls; true when the message was used.
  bool PreTranslate(MSG& message);

  // The exit steps, for the end of the session.
  std::function<void()> OnExitSteps;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  // The program's own messages; true when `message` was one.
  bool HandleOwn(UINT message, LPARAM lparam);
  void Command(WPARAM wparam, LPARAM lparam);
  void ContextMenu(LPARAM lparam);
  void DpiChanged(UINT dpi, const RECT& suggested);

  void Guard(const std::function<void()>& action);
  int Scale(int value) const;
  void MakeFont();
  void Layout();
  void SyncWindow();

  HINSTANCE instance_;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  std::unique_ptr<Win32TimerHost> timers_;
  TMainForm* form_ = nullptr;
  Win32Dispatcher* dispatcher_ = nullptr;
  Win32TrayIcon* tray_ = nullptr;
  std::unique_ptr<FormControls> controls_;
  std::unique_ptr<MediaBar> media_bar_;
  std::unique_ptr<PopupMenu> menu_;
  bool shown_ = false;
};

}  // namespace velmor
