#include "gui_win32/main_window.h"

#include <windowsx.h>

#include "platform/text_codec.h"

namespace velmor {
namespace {

constexpr wchar_t kWindowClass[] = L"VelmorMainWindow";
// The window paints its background beneath its children: the group boxes paint only their
// frames and captions.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;

void RegisterWindowClass(HINSTANCE instance, WNDPROC proc) {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  // The program's icon is resource 1 of velmor.exe.
  window_class.hIcon =
      static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  window_class.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                       GetSystemMetrics(SM_CXSMICON),
                                                       GetSystemMetrics(SM_CYSMICON), 0));
  window_class.lpszClassName = kWindowClass;
  window_class.lpfnWndProc = proc;
  RegisterClassExW(&window_class);
}

}  // namespace

Win32MainWindow::Win32MainWindow(HINSTANCE instance) : instance_(instance) {
  RegisterWindowClass(instance, &Win32MainWindow::WindowProc);
  window_ = CreateWindowExW(0, kWindowClass, L"", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            TMainForm::kClientWidth, TMainForm::kClientHeight, nullptr, nullptr,
                            instance, nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  timers_ = std::make_unique<Win32TimerHost>(window_);
  dpi_ = GetDpiForWindow(window_);
  RECT frame = {0, 0, Scale(TMainForm::kClientWidth), Scale(TMainForm::kClientHeight)};
  AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, 0, dpi_);
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  MakeFont();
}

Win32MainWindow::~Win32MainWindow() {
  Detach();
  DestroyWindow(window_);
  if (font_) DeleteObject(font_);
}

void Win32MainWindow::Attach(TMainForm& form, Win32Dispatcher& dispatcher, Win32TrayIcon& tray) {
  form_ = &form;
  dispatcher_ = &dispatcher;
  dispatcher_->SetRunner([this](const std::function<void()>& task) { Guard(task); });
  tray_ = &tray;
  SetWindowTextW(window_, Windows1252ToWide(form.Caption()).c_str());
  const auto guard = [this](const std::function<void()>& action) { Guard(action); };
  controls_ = std::make_unique<FormControls>(window_, form, guard);
  media_bar_ = std::make_unique<MediaBar>(instance_, window_, form.Media(), guard);
  menu_ = std::make_unique<PopupMenu>(form.PopupMenu1());
  Layout();
  tray.SetMenu([this](POINT position) { menu_->Track(window_, position); });
  form.SetObserver([this] { SyncWindow(); });
}

void Win32MainWindow::Detach() {
  if (!form_) return;
  form_->SetObserver(nullptr);
  if (tray_) tray_->SetMenu(nullptr);
  menu_.reset();
  media_bar_.reset();
  controls_.reset();
  form_ = nullptr;
  if (dispatcher_) dispatcher_->SetRunner(nullptr);
  dispatcher_ = nullptr;
}

int Win32MainWindow::Scale(int value) const {
  return MulDiv(value, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
}

void Win32MainWindow::MakeFont() {
  // 8 point at the monitor's dpi (11 pixels at 96 dpi); the TrueType face of the classic
  // dialog font, so it stays sharp at every scale. The old font stays until the controls
  // have the new one.
  HFONT previous = font_;
  font_ = CreateFontW(-MulDiv(8, static_cast<int>(dpi_), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                      FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                      DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Microsoft Sans Serif");
  Layout();
  if (previous) DeleteObject(previous);
}

void Win32MainWindow::Layout() {
  if (controls_) controls_->Layout(dpi_, font_);
  if (media_bar_) media_bar_->Layout(dpi_, font_);
}

void Win32MainWindow::Guard(const std::function<void()>& action) {
  // Nothing may unwind through the system's frames above the window procedure.
  try {
    if (form_) {
      form_->RunGuarded(action);
    } else {
      action();
    }
  } catch (...) {
  }
}

void Win32MainWindow::Show() {
  shown_ = true;
  SyncWindow();
  UpdateWindow(window_);
}

void Win32MainWindow::SyncWindow() {
  if (!shown_ || !form_) return;
  if (!form_->Visible()) {
    ShowWindow(window_, SW_HIDE);
  } else if (form_->Minimized()) {
    // Without a notification area the window waits on the taskbar.
    ShowWindow(window_, SW_SHOWMINNOACTIVE);
  } else {
    ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
  }
  if (controls_) controls_->Focus(form_->ActiveControl());
}

bool Win32MainWindow::PreTranslate(MSG& message) {
  if (!form_ || !IsWindowVisible(window_)) return false;
  if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
  if (FindBar* finder = controls_ ? controls_->Finder() : nullptr;
      finder && message.message == WM_KEYDOWN) {
    if (finder->Key(message)) return true;
    if (message.wParam == 'F' && GetKeyState(VK_CONTROL) < 0) {
      finder->Show();
      return true;
    }
    if (message.wParam == VK_F3) {
      finder->Step(GetKeyState(VK_SHIFT) >= 0);
      return true;
    }
  }
  return IsDialogMessageW(window_, &message) != 0;
}

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

bool Win32MainWindow::HandleOwn(UINT message, LPARAM lparam) {
  if (message == Win32Dispatcher::kMessage) {
    if (dispatcher_) dispatcher_->RunPending();
  } else if (message == Win32TrayIcon::kMessage) {
    if (tray_) Guard([this, lparam] { tray_->Event(lparam); });
  } else if (message == Win32TrayIcon::TaskbarCreatedMessage()) {
    if (tray_) tray_->Restore();
  } else {
    return false;
  }
  return true;
}

LRESULT Win32MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  if (HandleOwn(message, lparam)) return 0;
  switch (message) {
    case WM_TIMER:
      if (form_) Guard([this, wparam] { timers_->Fire(wparam); });
      return 0;
    case WM_COMMAND:
      if (!form_) break;
      Command(wparam, lparam);
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      if (!controls_) break;
      return controls_->Color(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_CONTEXTMENU:
      if (!form_) break;
      ContextMenu(lparam);
      return 0;
    case WM_SIZE:
      if (form_ && wparam == SIZE_RESTORED && form_->Minimized()) {
        Guard([this] { form_->Restored(); });
      }
      Layout();
      return 0;
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
    case WM_SETTINGCHANGE:
      // Top-level windows hear of it; their children need telling.
      if (controls_) controls_->ColorsChanged();
      break;
    case WM_DPICHANGED:
      DpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_CLOSE: {
      // Closing hides the window; the program ends only through the exit command.
      bool allow = true;
      if (form_) Guard([this, &allow] { form_->FormClose(allow); });
      return 0;
    }
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // The session ends once this returns: everything must be saved by then.
      if (wparam && OnExitSteps) Guard(OnExitSteps);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

void Win32MainWindow::Command(WPARAM wparam, LPARAM lparam) {
  if (TMenuItem* item = menu_->Chosen(wparam, lparam)) {
    Guard([item] { item->Click(); });
    return;
  }
  controls_->Command(wparam, lparam);
}

void Win32MainWindow::ContextMenu(LPARAM lparam) {
  POINT position = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  // From the keyboard (Shift+F10, the menu key) both coordinates are -1.
  if (position.x == -1 && position.y == -1) GetCursorPos(&position);
  menu_->Track(window_, position);
}

void Win32MainWindow::DpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  MakeFont();
  InvalidateRect(window_, nullptr, TRUE);
}

}  // namespace velmor
