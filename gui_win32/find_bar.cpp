#include "gui_win32/find_bar.h"

#include <algorithm>
#include <string>

namespace velmor {
namespace {

constexpr int kFieldId = 900;
constexpr int kNextId = 901;
constexpr int kPreviousId = 902;
constexpr UINT_PTR kCountTimer = 1;
// Nominal sizes at 96 dpi.
constexpr int kBarHeight = 23;
constexpr int kGap = 3;
constexpr int kButtonWidth = 60;
constexpr int kCountWidth = 90;

HWND Child(HWND window, const wchar_t* kind, const wchar_t* text, DWORD style, int id,
           DWORD extended_style = 0) {
  return CreateWindowExW(extended_style, kind, text, WS_CHILD | style, 0, 0, 0, 0, window,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)),
                         nullptr);
}

int Scaled(int value, UINT dpi) {
  return MulDiv(value, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

}  // namespace

FindBar::FindBar(HWND window, LogPane& pane, ConversationLog& log, std::function<void()> relayout)
    : pane_(pane),
      log_(log),
      relayout_(std::move(relayout)),
      find_(pane.Model()),
      field_(Child(window, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, kFieldId, WS_EX_CLIENTEDGE)),
      next_(Child(window, L"BUTTON", L"&Weiter", WS_TABSTOP | BS_PUSHBUTTON, kNextId)),
      previous_(Child(window, L"BUTTON", L"&Zur\u00FCck", WS_TABSTOP | BS_PUSHBUTTON, kPreviousId)),
      count_(Child(window, L"STATIC", L"", SS_LEFT | SS_CENTERIMAGE, 0)) {
  SetWindowLongPtrW(field_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  pane_.SetFindOpener([this] { Show(); });
  // New lines may hold matches: they are counted too.
  observer_ = log.AddObserver([this](LogLineView) {
    if (open_ && find_.Counting()) CountLater();
  });
}

FindBar::~FindBar() {
  log_.RemoveObserver(observer_);
  pane_.SetMarks(nullptr);
  pane_.SetFindOpener(nullptr);
  KillTimer(field_, kCountTimer);
  for (HWND child : {field_, next_, previous_, count_}) DestroyWindow(child);
}

void FindBar::Show() {
  if (!open_) {
    open_ = true;
    for (HWND child : {field_, next_, previous_, count_}) ShowWindow(child, SW_SHOW);
    pane_.SetMarks(&find_);
    relayout_();
  }
  SetFocus(field_);
  SendMessageW(field_, EM_SETSEL, 0, -1);
}

void FindBar::Close() {
  if (!open_) return;
  open_ = false;
  KillTimer(field_, kCountTimer);
  counting_ = false;
  for (HWND child : {field_, next_, previous_, count_}) ShowWindow(child, SW_HIDE);
  pane_.SetMarks(nullptr);
  SetFocus(pane_.Handle());
  relayout_();
}

void FindBar::Step(bool forward) {
  if (!open_) {
    Show();
    return;
  }
  find_.Step(forward);
  Refresh();
}

void FindBar::Refresh() {
  pane_.ShowSelection();
  SetWindowTextW(count_, reinterpret_cast<const wchar_t*>(find_.CountText().c_str()));
  if (find_.Counting()) CountLater();
}

void FindBar::CountLater() {
  if (counting_) return;
  counting_ = SetTimer(field_, kCountTimer, USER_TIMER_MINIMUM, &FindBar::CountTick) != 0;
}

void CALLBACK FindBar::CountTick(HWND field, UINT, UINT_PTR, DWORD) {
  auto* self = reinterpret_cast<FindBar*>(GetWindowLongPtrW(field, GWLP_USERDATA));
  if (!self) return;
  if (!self->find_.CountMore()) {
    KillTimer(field, kCountTimer);
    self->counting_ = false;
  }
  SetWindowTextW(self->count_, reinterpret_cast<const wchar_t*>(self->find_.CountText().c_str()));
}

RECT FindBar::Place(RECT pane, UINT dpi, HFONT font) {
  if (!open_) return pane;
  const int height = Scaled(kBarHeight, dpi);
  const int gap = Scaled(kGap, dpi);
  const int button = Scaled(kButtonWidth, dpi);
  const int count = Scaled(kCountWidth, dpi);
  const int top = pane.bottom - height;
  int right = pane.right - count;
  for (HWND child : {field_, next_, previous_, count_}) {
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  SetWindowPos(count_, nullptr, right + gap, top, count - gap, height, SWP_NOZORDER);
  right -= button;
  SetWindowPos(previous_, nullptr, right, top, button, height, SWP_NOZORDER);
  right -= button + gap;
  SetWindowPos(next_, nullptr, right, top, button, height, SWP_NOZORDER);
  SetWindowPos(field_, nullptr, pane.left, top, std::max(0L, right - gap - pane.left), height,
               SWP_NOZORDER);
  pane.bottom = top - gap;
  return pane;
}

bool FindBar::Command(WPARAM wparam, LPARAM lparam) {
  const auto from = reinterpret_cast<HWND>(lparam);
  if (from == field_ && HIWORD(wparam) == EN_CHANGE) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(field_, text.data(), static_cast<int>(text.size()))));
    find_.SetText(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
    Refresh();
    return true;
  }
  if ((from == next_ || from == previous_) && HIWORD(wparam) == BN_CLICKED) {
    Step(from == next_);
    return true;
  }
  return from == field_ || from == count_;
}

bool FindBar::Key(const MSG& message) {
  if (!open_ || message.hwnd != field_ || message.message != WM_KEYDOWN) return false;
  if (message.wParam == VK_RETURN) {
    Step(GetKeyState(VK_SHIFT) >= 0);
    return true;
  }
  if (message.wParam == VK_ESCAPE) {
    Close();
    return true;
  }
  return false;
}

}  // namespace velmor
