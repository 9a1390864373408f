#pragma once

#include "gui_win32/windows_api.h"

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "gui_win32/win32_dispatcher.h"
#include "gui_win32/win32_tray_icon.h"
#include "shell/UOListener.h"

namespace velmor {

// The Win32 window of TMainForm: one native control per control, kept in step with the
// controls' state through their observers; typing and clicks go back to the controls.
//
// The native window exists before TMainForm is built (the tray icon and the dispatcher need
// it while FormCreate runs); Attach then builds the controls. The window is its own taskbar
// entry, so hiding it hides both.
//
// Per-monitor DPI aware: positions and fonts follow the nominal 96-dpi values, scaled to
// the monitor the window is on. Main thread only.
class Win32MainWindow {
 public:
  static constexpr UINT kExitStepsMessage = WM_APP + 2;

  explicit Win32MainWindow(HINSTANCE instance);
  ~Win32MainWindow();
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  HWND Handle() const { return window_; }

  void Attach(TMainForm& form, Win32Dispatcher& dispatcher, Win32TrayIcon& tray);
  // Lets go of the form before it is destroyed; the window stops forwarding to it.
  void Detach();
  // The first show, by the message loop; until then the window stays hidden.
  void Show();
  // Tab and the other dialog keys between the controls; true when the message was used.
  bool PreTranslate(MSG& message);
  // Opens the popup menu at a screen position; its command arrives as a posted WM_COMMAND.
  void TrackMenu(POINT position);

  // The exit steps, for the end of the session and the console's control events.
  std::function<void()> OnExitSteps;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK MediaBarProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  enum class Kind { kGroupBox, kLabel, kEdit, kButton };
  struct Native {
    TControl* control;
    Kind kind;
    HWND handle;
  };

  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  void Guard(const std::function<void()>& action);
  int Scale(int value) const;
  void MakeFonts();
  void BuildControls();
  void BuildLogPane();
  void BuildMediaBar();
  HWND Create(const wchar_t* window_class, const std::string& text, DWORD style, DWORD ex_style,
              int id);
  void Sync(const Native& native);
  void SyncMenuAndTimers();
  void SyncTimer(int index);
  void SyncWindow();
  void SyncMediaBar();
  void Layout();
  void AppendLogLine(const LogLine& line);
  const Native* Find(HWND handle) const;
  HBRUSH Brush(COLORREF color);
  LRESULT ControlColor(HDC dc, HWND control);

  HINSTANCE instance_;
  HWND window_ = nullptr;
  HWND log_pane_ = nullptr;
  HWND log_box_ = nullptr;
  HWND media_bar_ = nullptr;
  HFONT font_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  TMainForm* form_ = nullptr;
  Win32Dispatcher* dispatcher_ = nullptr;
  Win32TrayIcon* tray_ = nullptr;
  std::vector<Native> natives_;
  std::array<bool, 2> timer_running_{};
  std::array<int, 2> timer_interval_{};
  std::map<COLORREF, HBRUSH> brushes_;
  bool shown_ = false;
  bool syncing_ = false;
  bool log_empty_ = true;
};

}  // namespace velmor
