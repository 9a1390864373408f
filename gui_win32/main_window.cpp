#include "gui_win32/main_window.h"

#include <richedit.h>

#include <algorithm>
#include <exception>

#include "platform/text_codec.h"

namespace velmor {
namespace {

constexpr wchar_t kWindowClass[] = L"VelmorMainWindow";
constexpr wchar_t kMediaBarClass[] = L"VelmorMediaBar";
constexpr int kFirstControlId = 1000;
constexpr int kFirstMenuId = 2000;
constexpr UINT_PTR kTimerIds[] = {1, 2};  // HideTimer, AnimTimer
constexpr int kMediaBarButtons = 3;
constexpr int kFirstMediaBarId = 3000;

// The nominal client area (the window is 657 x 381 with its frame) and the panel's width.
constexpr int kNominalWidth = 649;
constexpr int kNominalHeight = 347;
// The window paints its background beneath its children: the group boxes paint only their
// frames and captions.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;

std::wstring Wide(const std::string& text) {
  return Windows1252ToWide(text);
}

COLORREF ToColorRef(TColor color) {
  if (color & kSystemColorFlag) return GetSysColor(static_cast<int>(color & 0xFF));
  return static_cast<COLORREF>(color & 0xFFFFFF);
}

// The read-only login line stands on the inactive-caption-text colour; schemes where that
// colour is dark (black on current Windows) would hide the text, so those get the classic
// scheme's silver instead.
COLORREF ReadOnlyBackground(TColor color) {
  const COLORREF value = ToColorRef(color);
  const int light = GetRValue(value) * 3 + GetGValue(value) * 6 + GetBValue(value);
  return light < 128 * 10 ? RGB(192, 192, 192) : value;
}

// Position within the window: the control's bounds plus those of every container above it.
TRect WindowRect(const TControl& control) {
  TRect rect = control.Bounds();
  for (const TControl* parent = control.Parent(); parent; parent = parent->Parent()) {
    rect.left += parent->Bounds().left;
    rect.top += parent->Bounds().top;
  }
  return rect;
}

void RegisterClasses(HINSTANCE instance) {
  static bool registered = false;
  if (registered) return;
  registered = true;
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
  window_class.lpfnWndProc = &Win32MainWindow::WindowProc;
  RegisterClassExW(&window_class);
  window_class.lpszClassName = kMediaBarClass;
  window_class.lpfnWndProc = &Win32MainWindow::MediaBarProc;
  window_class.hIcon = nullptr;
  window_class.hIconSm = nullptr;
  RegisterClassExW(&window_class);
}

Win32MainWindow* Self(HWND window) {
  return reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace

Win32MainWindow::Win32MainWindow(HINSTANCE instance) : instance_(instance) {
  // The log pane's class lives in this library.
  LoadLibraryW(L"Msftedit.dll");
  RegisterClasses(instance);

  window_ = CreateWindowExW(0, kWindowClass, L"", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            kNominalWidth, kNominalHeight, nullptr, nullptr, instance, nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  dpi_ = GetDpiForWindow(window_);
  RECT frame = {0, 0, Scale(kNominalWidth), Scale(kNominalHeight)};
  AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, 0, dpi_);
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  MakeFonts();
}

Win32MainWindow::~Win32MainWindow() {
  Detach();
  DestroyWindow(window_);
  if (font_) DeleteObject(font_);
  for (auto& [color, brush] : brushes_) DeleteObject(brush);
}

void Win32MainWindow::Detach() {
  for (int index = 0; index < 2; ++index) KillTimer(window_, kTimerIds[index]);
  if (!form_) return;
  form_->SetObserver(nullptr);
  form_->Media().SetSoundBarObserver(nullptr);
  form_->HideTimer.SetObserver(nullptr);
  form_->AnimTimer.SetObserver(nullptr);
  for (const Native& native : natives_) native.control->SetObserver(nullptr);
  if (tray_) tray_->SetMenu(nullptr);
  form_ = nullptr;
  if (dispatcher_) dispatcher_->SetRunner(nullptr);
  dispatcher_ = nullptr;
}

int Win32MainWindow::Scale(int value) const {
  return MulDiv(value, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
}

void Win32MainWindow::MakeFonts() {
  if (font_) DeleteObject(font_);
  // 8 point at the monitor's dpi (11 pixels at 96 dpi); the TrueType face of the classic
  // dialog font, so it stays sharp at every scale.
  font_ = CreateFontW(-MulDiv(8, static_cast<int>(dpi_), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                      FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                      DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Microsoft Sans Serif");
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

HWND Win32MainWindow::Create(const wchar_t* window_class, const std::string& text, DWORD style,
                             DWORD ex_style, int id) {
  HWND handle = CreateWindowExW(
      ex_style, window_class, Wide(text).c_str(), WS_CHILD | WS_CLIPSIBLINGS | style, 0, 0, 0, 0,
      window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return handle;
}

void Win32MainWindow::Attach(TMainForm& form, Win32Dispatcher& dispatcher, Win32TrayIcon& tray) {
  form_ = &form;
  dispatcher_ = &dispatcher;
  dispatcher_->SetRunner([this](const std::function<void()>& task) { Guard(task); });
  tray_ = &tray;
  SetWindowTextW(window_, Wide(form.Caption()).c_str());
  BuildControls();
  BuildLogPane();
  BuildMediaBar();
  // Each new child went beneath the ones before it, so the tab order is the creation
  // order. The group boxes then go beneath everything: their contents clip them.
  for (const Native& native : natives_) {
    if (native.kind == Kind::kGroupBox) {
      SetWindowPos(native.handle, HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  SetWindowPos(log_box_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  Layout();
  tray.SetMenu([this](POINT position) { TrackMenu(position); });
  form.SetObserver([this] { SyncWindow(); });
  SyncMenuAndTimers();
}

void Win32MainWindow::BuildControls() {
  // Creation order is the tab order: the fields and buttons of each box, box by box.
  TMainForm& form = *form_;
  const auto add = [this](TControl& control, Kind kind, const wchar_t* window_class,
                          const std::string& text, DWORD style, DWORD ex_style) {
    const int id = kFirstControlId + static_cast<int>(natives_.size());
    natives_.push_back({&control, kind, Create(window_class, text, style, ex_style, id)});
  };
  for (TContainer* box : {&form.GroupBox1, &form.GroupBox2, &form.GroupBox3}) {
    add(*box, Kind::kGroupBox, L"BUTTON", box->Caption(), BS_GROUPBOX, 0);
  }
  for (TLabel* label :
       {&form.Label1, &form.Label2, &form.Label6, &form.Label3, &form.Label4, &form.Label5,
        &form.Label7, &form.Label8, &form.UOClientStatus, &form.UOServerStatus}) {
    add(*label, Kind::kLabel, L"STATIC", label->Caption(),
        SS_NOPREFIX | (label->WordWrap() ? SS_LEFT : SS_LEFTNOWORDWRAP), 0);
  }
  for (TEdit* edit :
       {&form.UOClientPort, &form.UOClientLoginServer, &form.UOServerIP, &form.UOServerPort}) {
    add(*edit, Kind::kEdit, L"EDIT", edit->Text(), WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
  }
  for (TButton* button : {&form.StartButton, &form.StopButton}) {
    add(*button, Kind::kButton, L"BUTTON", button->Caption(), WS_TABSTOP | BS_PUSHBUTTON, 0);
  }
  for (const Native& native : natives_) {
    Sync(native);
    native.control->SetObserver([this, &native] { Sync(native); });
  }
}

void Win32MainWindow::BuildLogPane() {
  log_box_ = Create(L"BUTTON", form_->GroupBox5.Caption(), WS_VISIBLE | BS_GROUPBOX, 0, 0);
  log_pane_ =
      Create(MSFTEDIT_CLASS, "",
             WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                 ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_DISABLENOSCROLL | ES_NOHIDESEL,
             0, 0);
  // The pane holds the whole run's log; the control's default limit is 32767 characters.
  SendMessageW(log_pane_, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
  SendMessageW(log_pane_, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_BTNFACE)));
  for (const LogLine& line : form_->LogTalking.Lines()) AppendLogLine(line);
  // The log keeps its observers for good: once detached, the window ignores its lines.
  form_->LogTalking.AddObserver([this](const LogLine& line) {
    if (form_) AppendLogLine(line);
  });
}

void Win32MainWindow::BuildMediaBar() {
  media_bar_ = CreateWindowExW(0, kMediaBarClass, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_BORDER, 0, 0,
                               0, 0, window_, nullptr, instance_, nullptr);
  SetWindowLongPtrW(media_bar_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  // The captions are the tips of the Qt bar's symbols.
  const char* captions[kMediaBarButtons] = {"Wiedergabe", "Pause", "Stopp"};
  for (int index = 0; index < kMediaBarButtons; ++index) {
    HWND button = CreateWindowExW(
        0, L"BUTTON", Wide(captions[index]).c_str(), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 0,
        0, media_bar_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstMediaBarId + index)),
        instance_, nullptr);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }
  SyncMediaBar();
  form_->Media().SetSoundBarObserver([this] { SyncMediaBar(); });
}

void Win32MainWindow::SyncMediaBar() {
  ShowWindow(media_bar_, form_->Media().SoundBarVisible() ? SW_SHOWNA : SW_HIDE);
  SetWindowPos(media_bar_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32MainWindow::Layout() {
  RECT client = {};
  GetClientRect(window_, &client);
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  for (const Native& native : natives_) {
    TRect rect = WindowRect(*native.control);
    int width = Scale(rect.width);
    int height = Scale(rect.height);
    // A text longer than its nominal place grows the label rather than being cut.
    if (native.kind == Kind::kLabel) {
      const auto* label = static_cast<const TLabel*>(native.control);
      const std::wstring text = Wide(label->Caption());
      HDC dc = GetDC(native.handle);
      HGDIOBJ previous = SelectObject(dc, font_);
      RECT needed = {0, 0, width, 0};
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                DT_CALCRECT | DT_NOPREFIX | (label->WordWrap() ? DT_WORDBREAK : DT_SINGLELINE));
      SelectObject(dc, previous);
      ReleaseDC(native.handle, dc);
      if (label->WordWrap()) {
        height = std::max<int>(height, needed.bottom);
      } else {
        width = std::max<int>(width, needed.right);
      }
    }
    SetWindowPos(native.handle, nullptr, Scale(rect.left), Scale(rect.top), width, height, flags);
  }
  // The log's box takes the client area right of the panel; the pane fills the box.
  const int left = Scale(form_->Panel1.Bounds().width);
  const int width = std::max<int>(0, static_cast<int>(client.right) - left);
  const int height = static_cast<int>(client.bottom);
  SetWindowPos(log_box_, nullptr, left, 0, width, height, flags);
  SetWindowPos(log_pane_, nullptr, left + Scale(2), Scale(15), std::max(0, width - Scale(4)),
               std::max(0, height - Scale(17)), flags);
  const int button_width = Scale(76);
  SetWindowPos(media_bar_, nullptr, 0, 0, Scale(240), Scale(30), flags);
  for (int index = 0; index < kMediaBarButtons; ++index) {
    SetWindowPos(GetDlgItem(media_bar_, kFirstMediaBarId + index), nullptr,
                 Scale(2) + index * (button_width + Scale(2)), Scale(2), button_width, Scale(24),
                 flags);
  }
}

void Win32MainWindow::Sync(const Native& native) {
  TControl& control = *native.control;
  syncing_ = true;
  ShowWindow(native.handle, control.Visible() ? SW_SHOWNA : SW_HIDE);
  EnableWindow(native.handle, control.Enabled());
  switch (native.kind) {
    case Kind::kLabel: {
      const std::wstring text = Wide(static_cast<TLabel&>(control).Caption());
      wchar_t current[512] = {};
      GetWindowTextW(native.handle, current, static_cast<int>(std::size(current)));
      if (text != current) {
        SetWindowTextW(native.handle, text.c_str());
        if (log_pane_) Layout();
      }
      InvalidateRect(native.handle, nullptr, TRUE);
      break;
    }
    case Kind::kEdit: {
      auto& edit = static_cast<TEdit&>(control);
      const std::wstring text = Wide(edit.Text());
      std::wstring current(static_cast<std::size_t>(GetWindowTextLengthW(native.handle)) + 1,
                           L'\0');
      current.resize(static_cast<std::size_t>(
          GetWindowTextW(native.handle, current.data(), static_cast<int>(current.size()))));
      if (text != current) SetWindowTextW(native.handle, text.c_str());
      SendMessageW(native.handle, EM_SETREADONLY, edit.ReadOnly(), 0);
      InvalidateRect(native.handle, nullptr, TRUE);
      break;
    }
    case Kind::kGroupBox:
    case Kind::kButton:
      break;
  }
  syncing_ = false;
}

void Win32MainWindow::SyncMenuAndTimers() {
  // The menu is built afresh each time it opens; only the timers need mirroring.
  TTimer* timers[] = {&form_->HideTimer, &form_->AnimTimer};
  for (int index = 0; index < 2; ++index) {
    SyncTimer(index);
    timers[index]->SetObserver([this, index] { SyncTimer(index); });
  }
}

void Win32MainWindow::SyncTimer(int index) {
  const TTimer& timer = index == 0 ? form_->HideTimer : form_->AnimTimer;
  if (!timer.Enabled()) {
    if (timer_running_[index]) KillTimer(window_, kTimerIds[index]);
    timer_running_[index] = false;
  } else if (!timer_running_[index] || timer_interval_[index] != timer.Interval()) {
    SetTimer(window_, kTimerIds[index], static_cast<UINT>(timer.Interval()), nullptr);
    timer_running_[index] = true;
    timer_interval_[index] = timer.Interval();
  }
}

void Win32MainWindow::Show() {
  shown_ = true;
  SyncWindow();
  UpdateWindow(window_);
}

void Win32MainWindow::SyncWindow() {
  if (!shown_) return;
  if (!form_->Visible()) {
    ShowWindow(window_, SW_HIDE);
  } else if (form_->Minimized()) {
    // Without a notification area the window waits on the taskbar.
    ShowWindow(window_, SW_SHOWMINNOACTIVE);
  } else {
    ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
  }
  for (const Native& native : natives_) {
    if (native.control == form_->ActiveControl()) SetFocus(native.handle);
  }
}

void Win32MainWindow::TrackMenu(POINT position) {
  HMENU menu = CreatePopupMenu();
  const auto& items = form_->PopupMenu1();
  for (std::size_t index = 0; index < items.size(); ++index) {
    const TMenuItem& item = *items[index];
    if (!item.Visible()) continue;
    if (item.IsSeparator()) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const UINT flags = MF_STRING | (item.Enabled() ? 0u : static_cast<UINT>(MF_GRAYED)) |
                       (item.Checked() ? static_cast<UINT>(MF_CHECKED) : 0u);
    AppendMenuW(menu, flags, kFirstMenuId + index, Wide(item.Caption()).c_str());
  }
  // The chosen entry arrives as a posted WM_COMMAND once the menu has closed.
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, position.x, position.y, 0,
                 window_, nullptr);
  DestroyMenu(menu);
}

bool Win32MainWindow::PreTranslate(MSG& message) {
  if (!form_ || !IsWindowVisible(window_)) return false;
  if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
  return IsDialogMessageW(window_, &message) != 0;
}

void Win32MainWindow::AppendLogLine(const LogLine& line) {
  // As in the log file: control characters other than tab show as blanks, so a server's
  // line can never become two.
  std::string text = line.text;
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') c = ' ';
  }
  const std::wstring wide = (log_empty_ ? L"" : L"\r") + Wide(text);
  log_empty_ = false;

  SCROLLINFO scroll = {};
  scroll.cbSize = sizeof scroll;
  scroll.fMask = SIF_ALL;
  GetScrollInfo(log_pane_, SB_VERT, &scroll);
  const bool at_end =
      scroll.nPage == 0 || scroll.nPos + static_cast<int>(scroll.nPage) >= scroll.nMax;
  CHARRANGE selection = {};
  SendMessageW(log_pane_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));

  // At the end, whatever the user has selected, in the line's own colour and style.
  CHARRANGE end = {-1, -1};
  SendMessageW(log_pane_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
  CHARFORMAT2W format = {};
  format.cbSize = sizeof format;
  format.dwMask = CFM_COLOR | CFM_BOLD | CFM_ITALIC;
  format.crTextColor = ToColorRef(line.color);
  format.dwEffects = (line.style != LogStyle::kRegular ? CFE_ITALIC : 0) |
                     (line.style == LogStyle::kBoldItalic ? CFE_BOLD : 0);
  SendMessageW(log_pane_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  SendMessageW(log_pane_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));

  SendMessageW(log_pane_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  if (at_end) SendMessageW(log_pane_, WM_VSCROLL, SB_BOTTOM, 0);
}

const Win32MainWindow::Native* Win32MainWindow::Find(HWND handle) const {
  for (const Native& native : natives_) {
    if (native.handle == handle) return &native;
  }
  return nullptr;
}

HBRUSH Win32MainWindow::Brush(COLORREF color) {
  auto [entry, added] = brushes_.try_emplace(color, nullptr);
  if (added) entry->second = CreateSolidBrush(color);
  return entry->second;
}

LRESULT Win32MainWindow::ControlColor(HDC dc, HWND control) {
  const Native* native = Find(control);
  COLORREF background = GetSysColor(COLOR_BTNFACE);
  if (native && native->kind == Kind::kEdit) {
    const auto& edit = static_cast<const TEdit&>(*native->control);
    background = edit.ReadOnly() ? ReadOnlyBackground(edit.Color()) : ToColorRef(edit.Color());
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  } else if (native && native->kind == Kind::kLabel) {
    SetTextColor(dc, ToColorRef(static_cast<const TLabel&>(*native->control).FontColor()));
  }
  SetBkColor(dc, background);
  return reinterpret_cast<LRESULT>(Brush(background));
}

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  Win32MainWindow* self = Self(window);
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT Win32MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == Win32Dispatcher::kMessage) {
    if (dispatcher_) {
      dispatcher_->RunPending();
    }
    return 0;
  }
  if (message == Win32TrayIcon::kMessage) {
    if (form_) Guard([this, lparam] { form_->TrayIconNotify(lparam); });
    return 0;
  }
  if (message == Win32TrayIcon::TaskbarCreatedMessage()) {
    if (tray_) tray_->Restore();
    return 0;
  }
  if (message == kExitStepsMessage) {
    if (OnExitSteps) Guard(OnExitSteps);
    return 0;
  }
  switch (message) {
    case WM_TIMER:
      if (form_ && (wparam == kTimerIds[0] || wparam == kTimerIds[1])) {
        const TTimer& timer = wparam == kTimerIds[0] ? form_->HideTimer : form_->AnimTimer;
        Guard([&timer] { timer.Tick(); });
      }
      return 0;
    case WM_COMMAND: {
      if (!form_) break;
      const int id = LOWORD(wparam);
      const auto& items = form_->PopupMenu1();
      if (HIWORD(wparam) == 0 && lparam == 0 && id >= kFirstMenuId &&
          id < kFirstMenuId + static_cast<int>(items.size())) {
        const TMenuItem* item = items[static_cast<std::size_t>(id - kFirstMenuId)];
        Guard([item] { item->Click(); });
        return 0;
      }
      const Native* native = Find(reinterpret_cast<HWND>(lparam));
      if (!native) break;
      if (native->kind == Kind::kButton && HIWORD(wparam) == BN_CLICKED) {
        const auto* button = static_cast<const TButton*>(native->control);
        Guard([button] { button->Click(); });
      } else if (native->kind == Kind::kEdit && HIWORD(wparam) == EN_CHANGE && !syncing_) {
        auto* edit = static_cast<TEdit*>(native->control);
        std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(native->handle)) + 1,
                          L'\0');
        text.resize(static_cast<std::size_t>(
            GetWindowTextW(native->handle, text.data(), static_cast<int>(text.size()))));
        Guard([edit, &text] { edit->SetText(WideToWindows1252(text)); });
      }
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      return ControlColor(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_CONTEXTMENU: {
      if (!form_) break;
      POINT position = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
      if (lparam == -1) GetCursorPos(&position);
      TrackMenu(position);
      return 0;
    }
    case WM_SIZE:
      if (!form_) return 0;
      if (wparam == SIZE_RESTORED && form_->Minimized()) {
        Guard([this] { form_->Restored(); });
      }
      Layout();
      return 0;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wparam);
      MakeFonts();
      for (const Native& native : natives_) {
        SendMessageW(native.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
      }
      for (HWND handle : {log_box_, log_pane_}) {
        if (handle) SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
      }
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      if (form_) Layout();
      InvalidateRect(window_, nullptr, TRUE);
      return 0;
    }
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

LRESULT CALLBACK Win32MainWindow::MediaBarProc(HWND window, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  Win32MainWindow* self = Self(window);
  if (self && self->form_ && message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) {
    MediaTriggers& media = self->form_->Media();
    switch (LOWORD(wparam) - kFirstMediaBarId) {
      case 0:
        self->Guard([&media] { media.SoundBarPlay(); });
        return 0;
      case 1:
        self->Guard([&media] { media.SoundBarPause(); });
        return 0;
      case 2:
        self->Guard([&media] { media.SoundBarStop(); });
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace velmor
