#include "gui_win32/form_controls.h"

#include <algorithm>
#include <string>

#include "platform/text_codec.h"

namespace velmor {
namespace {

constexpr int kFirstControlId = 1000;

std::wstring Wide(const std::string& text) {
  return Windows1252ToWide(text);
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

int Scaled(int value, UINT dpi) {
  return MulDiv(value, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

// What a label's text needs at least, in pixels: its height at the given width when it
// wraps, else its width on one line.
SIZE NeededFor(HWND label, const TLabel& control, HFONT font, int width) {
  const std::wstring text = Wide(control.Caption());
  HDC dc = GetDC(label);
  HGDIOBJ previous = SelectObject(dc, font);
  RECT needed = {0, 0, width, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
            DT_CALCRECT | DT_NOPREFIX | (control.WordWrap() ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(dc, previous);
  ReleaseDC(label, dc);
  return {needed.right, needed.bottom};
}

}  // namespace

FormControls::FormControls(HWND window, TMainForm& form, Runner run)
    : window_(window), form_(form), run_(std::move(run)) {
  for (TControl* control : form.Controls()) {
    const int id = kFirstControlId + static_cast<int>(natives_.size());
    HWND handle = Create(*control, id);
    if (handle) natives_.push_back({control, handle});
  }
  // Each new child went beneath the ones before it, so the tab order is the creation
  // order. The group boxes then go beneath everything: their contents clip them.
  for (const Native& native : natives_) {
    if (native.control->Kind() == ControlKind::kGroupBox) {
      SetWindowPos(native.handle, HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  for (const Native& native : natives_) {
    Sync(native);
    native.control->SetObserver([this, &native] { Sync(native); });
  }
}

FormControls::~FormControls() {
  for (const Native& native : natives_) {
    native.control->SetObserver(nullptr);
    // The pane closes its own window.
    if (native.control->Kind() != ControlKind::kLogPane) DestroyWindow(native.handle);
  }
}

void FormControls::ColorsChanged() {
  if (log_pane_) log_pane_->ColorsChanged();
  for (const Native& native : natives_) InvalidateRect(native.handle, nullptr, TRUE);
}

HWND FormControls::Create(TControl& control, int id) {
  DWORD style = 0;
  DWORD ex_style = 0;
  const wchar_t* window_class = L"BUTTON";
  std::string text;
  switch (control.Kind()) {
    case ControlKind::kPanel:
      return nullptr;  // only a place for its children, which are the window's own
    case ControlKind::kLogPane:
      log_pane_ = std::make_unique<LogPane>(window_, id, static_cast<TLogPane&>(control));
      find_bar_ = std::make_unique<FindBar>(window_, *log_pane_, static_cast<TLogPane&>(control),
                                            [this] { Layout(dpi_, font_); });
      return log_pane_->Handle();
    case ControlKind::kGroupBox:
      style = BS_GROUPBOX;
      text = static_cast<TContainer&>(control).Caption();
      break;
    case ControlKind::kLabel: {
      const auto& label = static_cast<TLabel&>(control);
      window_class = L"STATIC";
      style = SS_NOPREFIX | (label.WordWrap() ? SS_LEFT : SS_LEFTNOWORDWRAP);
      text = label.Caption();
      break;
    }
    case ControlKind::kEdit:
      window_class = L"EDIT";
      style = WS_TABSTOP | ES_AUTOHSCROLL;
      ex_style = WS_EX_CLIENTEDGE;
      text = static_cast<TEdit&>(control).Text();
      break;
    case ControlKind::kButton:
      style = WS_TABSTOP | BS_PUSHBUTTON;
      text = static_cast<TButton&>(control).Caption();
      break;
  }
  return CreateWindowExW(
      ex_style, window_class, Wide(text).c_str(), WS_CHILD | WS_CLIPSIBLINGS | style, 0, 0, 0, 0,
      window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE)), nullptr);
}

void FormControls::Sync(const Native& native) {
  TControl& control = *native.control;
  syncing_ = true;
  ShowWindow(native.handle, control.Visible() ? SW_SHOWNA : SW_HIDE);
  EnableWindow(native.handle, control.Enabled());
  if (control.Kind() == ControlKind::kLabel) {
    const std::wstring text = Wide(static_cast<TLabel&>(control).Caption());
    if (text != TextOf(native.handle)) {
      SetWindowTextW(native.handle, text.c_str());
      if (font_) Layout(dpi_, font_);  // the text may need more room
    }
    InvalidateRect(native.handle, nullptr, TRUE);
  } else if (control.Kind() == ControlKind::kEdit) {
    const auto& edit = static_cast<TEdit&>(control);
    const std::wstring text = Wide(edit.Text());
    if (text != TextOf(native.handle)) SetWindowTextW(native.handle, text.c_str());
    SendMessageW(native.handle, EM_SETREADONLY, edit.ReadOnly(), 0);
    InvalidateRect(native.handle, nullptr, TRUE);
  }
  syncing_ = false;
}

TRect FormControls::WindowRect(const TControl& control, int client_width, int client_height) const {
  TRect rect = PlaceInParent(control, client_width, client_height, TMainForm::kClientWidth,
                             TMainForm::kClientHeight);
  for (const TControl* parent = control.Parent(); parent; parent = parent->Parent()) {
    const TRect placed = PlaceInParent(*parent, client_width, client_height,
                                       TMainForm::kClientWidth, TMainForm::kClientHeight);
    rect.left += placed.left;
    rect.top += placed.top;
  }
  return rect;
}

void FormControls::Layout(UINT dpi, HFONT font) {
  dpi_ = dpi;
  font_ = font;
  RECT client = {};
  GetClientRect(window_, &client);
  // The layout works at the nominal scale.
  const int width = MulDiv(client.right, USER_DEFAULT_SCREEN_DPI, static_cast<int>(dpi));
  const int height = MulDiv(client.bottom, USER_DEFAULT_SCREEN_DPI, static_cast<int>(dpi));
  for (const Native& native : natives_) {
    SendMessageW(native.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    const TRect rect = WindowRect(*native.control, width, height);
    int pixel_width = Scaled(rect.width, dpi);
    int pixel_height = Scaled(rect.height, dpi);
    // A text longer than its nominal place grows the label rather than being cut.
    if (native.control->Kind() == ControlKind::kLabel) {
      const auto& label = static_cast<const TLabel&>(*native.control);
      const SIZE needed = NeededFor(native.handle, label, font, pixel_width);
      if (label.WordWrap()) {
        pixel_height = std::max<int>(pixel_height, needed.cy);
      } else {
        pixel_width = std::max<int>(pixel_width, needed.cx);
      }
    }
    RECT placed = {Scaled(rect.left, dpi), Scaled(rect.top, dpi),
                   Scaled(rect.left, dpi) + pixel_width, Scaled(rect.top, dpi) + pixel_height};
    // The find bar, when open, takes the pane's bottom.
    if (native.control->Kind() == ControlKind::kLogPane)
      placed = find_bar_->Place(placed, dpi, font);
    SetWindowPos(native.handle, nullptr, placed.left, placed.top, placed.right - placed.left,
                 placed.bottom - placed.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

bool FormControls::Command(WPARAM wparam, LPARAM lparam) {
  if (find_bar_ && find_bar_->Command(wparam, lparam)) return true;
  const Native* native = Find(reinterpret_cast<HWND>(lparam));
  if (!native) return false;
  const ControlKind kind = native->control->Kind();
  if (kind == ControlKind::kButton && HIWORD(wparam) == BN_CLICKED) {
    const auto* button = static_cast<const TButton*>(native->control);
    run_([button] { button->Click(); });
  } else if (kind == ControlKind::kEdit && HIWORD(wparam) == EN_CHANGE && !syncing_) {
    auto* edit = static_cast<TEdit*>(native->control);
    const std::string text = WideToWindows1252(TextOf(native->handle));
    run_([edit, &text] { edit->SetText(text); });
  }
  return true;
}

LRESULT FormControls::Color(HDC dc, HWND control) {
  const Native* native = Find(control);
  COLORREF background = GetSysColor(COLOR_BTNFACE);
  if (native && native->control->Kind() == ControlKind::kEdit) {
    const auto& edit = static_cast<const TEdit&>(*native->control);
    background = edit.ReadOnly() ? ReadOnlyBackground(edit.Color()) : ToColorRef(edit.Color());
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  } else if (native && native->control->Kind() == ControlKind::kLabel) {
    SetTextColor(dc, ToColorRef(static_cast<const TLabel&>(*native->control).FontColor()));
  }
  SetBkColor(dc, background);
  return reinterpret_cast<LRESULT>(brushes_.Get(background));
}

void FormControls::Focus(const TControl* control) const {
  for (const Native& native : natives_) {
    if (native.control == control) SetFocus(native.handle);
  }
}

const FormControls::Native* FormControls::Find(HWND handle) const {
  for (const Native& native : natives_) {
    if (native.handle == handle) return &native;
  }
  return nullptr;
}

}  // namespace velmor
