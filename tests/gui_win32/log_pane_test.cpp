// The Windows log pane in a window of its own, under wine on a display: what a player does
// with it by mouse and keyboard.
#include "gui_win32/log_pane.h"

#include <gtest/gtest.h>

#include "gui_win32/find_bar.h"
#include "tests/support/unicode_texts.h"

#include <string>

namespace velmor {
namespace {

// The find bar of the window under test, which gets the window's commands.
FindBar* find_bar = nullptr;

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND && find_bar && find_bar->Command(wparam, lparam)) return 0;
  return DefWindowProcW(window, message, wparam, lparam);
}

std::wstring GetCount(HWND count) {
  wchar_t text[64] = {};
  GetWindowTextW(count, text, 64);
  return text;
}

// Runs what is queued, as the message loop would between two batches of lines.
void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

class LogPaneTest : public ::testing::Test {
 protected:
  LogPaneTest() {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpfnWndProc = PlainProc;
    window_class.lpszClassName = L"VelmorPaneTestWindow";
    RegisterClassExW(&window_class);
    parent_ =
        CreateWindowExW(WS_EX_CONTROLPARENT, L"VelmorPaneTestWindow", L"", WS_OVERLAPPEDWINDOW, 0,
                        0, 400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    pane_ = std::make_unique<LogPane>(parent_, 1, log_);
    button_ = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 250, 60,
                              24, parent_, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowPos(pane_->Handle(), nullptr, 0, 0, 300, 200, SWP_NOZORDER | SWP_SHOWWINDOW);
    ShowWindow(parent_, SW_SHOW);
    Pump();
  }
  ~LogPaneTest() override {
    pane_.reset();
    DestroyWindow(parent_);
  }

  // The middle of a line's row, at the pane's far left or right.
  LPARAM At(int row, bool right) const {
    HDC dc = GetDC(pane_->Handle());
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(pane_->Handle(), WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    ReleaseDC(pane_->Handle(), dc);
    const int height = metrics.tmHeight + metrics.tmExternalLeading;
    return MAKELPARAM(right ? 280 : 0, row * height + height / 2);
  }

  TLogPane log_{"LogTalking", nullptr, {0, 0, 300, 200}, {}};
  HWND parent_ = nullptr;
  HWND button_ = nullptr;
  std::unique_ptr<LogPane> pane_;
};

TEST_F(LogPaneTest, SelectsAndCopiesAcrossLinesStaysLeftAndLetsTabLeave) {
  log_.AppendLogLine("erste Zeile");
  log_.AppendLogLine("zweite Zeile", RGB(60, 32, 0), LogStyle::kItalic);
  log_.AppendLogLine("dritte Zeile " + std::string(400, 'x'), clBlack, LogStyle::kBoldItalic);
  Pump();
  SCROLLINFO sideways = {};
  sideways.cbSize = sizeof sideways;
  sideways.fMask = SIF_ALL;
  GetScrollInfo(pane_->Handle(), SB_HORZ, &sideways);
  EXPECT_GT(sideways.nMax, 300) << "the long line widens the range";
  EXPECT_EQ(sideways.nPos, 0) << "an append never scrolls sideways";

  HWND pane = pane_->Handle();
  SendMessageW(pane, WM_LBUTTONDOWN, MK_LBUTTON, At(0, false));
  SendMessageW(pane, WM_MOUSEMOVE, MK_LBUTTON, At(1, true));
  SendMessageW(pane, WM_LBUTTONUP, 0, At(1, true));
  EXPECT_EQ(GetFocus(), pane);
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  SendMessageW(pane, WM_KEYDOWN, 'C', 0);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  ASSERT_TRUE(OpenClipboard(parent_));
  const auto* copied = static_cast<const wchar_t*>(GlobalLock(GetClipboardData(CF_UNICODETEXT)));
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(std::wstring(copied), L"erste Zeile\r\nzweite Zeile");
  GlobalUnlock(GetClipboardData(CF_UNICODETEXT));
  CloseClipboard();

  MSG tab = {};
  tab.hwnd = pane;
  tab.message = WM_KEYDOWN;
  tab.wParam = VK_TAB;
  EXPECT_TRUE(IsDialogMessageW(parent_, &tab));
  EXPECT_EQ(GetFocus(), button_) << "Tab stayed in the pane";
}

// What is typed selects the first match from the top line in sight; Enter and Shift+Enter
// step through the matches across the log's ends; the count says where the current match
// stands; case is ignored in every script; Escape closes the bar.
TEST_F(LogPaneTest, FindBarFindsTypedTextAndStepsThroughTheMatches) {
  for (int i = 0; i < testing::kFindTestLines; ++i) log_.AppendLogLine(testing::FindTestLine(i));
  FindBar bar(parent_, *pane_, log_, [] {});
  find_bar = &bar;
  bar.Show();
  HWND field = GetFocus();
  ASSERT_TRUE(IsWindowVisible(field));
  HWND count = FindWindowExW(parent_, nullptr, L"STATIC", nullptr);
  const auto seen = [&] {
    for (int i = 0; i < 100 && GetCount(count).ends_with(L"..."); ++i) {
      Sleep(10);
      Pump();
    }
    const std::u16string selected = pane_->Model().SelectedText(u"");
    return std::make_pair(std::wstring(selected.begin(), selected.end()), GetCount(count));
  };
  const auto press = [&](WPARAM key, bool shift) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG message = {};
    message.hwnd = field;
    message.message = WM_KEYDOWN;
    message.wParam = key;
    EXPECT_TRUE(bar.Key(message));
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    return seen();
  };
  using Seen = std::pair<std::wstring, std::wstring>;

  SetWindowTextW(field, L"passWORT");
  EXPECT_EQ(seen(), Seen(L"Passwort", L"3 von 3"));
  EXPECT_EQ(press(VK_RETURN, false), Seen(L"PASSWORT", L"1 von 3"));
  EXPECT_EQ(press(VK_RETURN, false), Seen(L"passwort", L"2 von 3"));
  EXPECT_EQ(press(VK_RETURN, true), Seen(L"PASSWORT", L"1 von 3"));
  EXPECT_EQ(press(VK_RETURN, true), Seen(L"Passwort", L"3 von 3"));
  SetWindowTextW(field, L"\u041F\u0410\u0420\u041E\u041B\u042C");  // "ПАРОЛЬ"
  EXPECT_EQ(seen(), Seen(L"\u041F\u0430\u0440\u043E\u043B\u044C", L"1 von 1"));
  SetWindowTextW(field, L"drachenEI");
  EXPECT_EQ(seen().second, L"1 von 1");
  SCROLLINFO sideways = {};
  sideways.cbSize = sizeof sideways;
  sideways.fMask = SIF_POS;
  GetScrollInfo(pane_->Handle(), SB_HORZ, &sideways);
  EXPECT_GT(sideways.nPos, 0) << "the match far right is in sight";
  SetWindowTextW(field, L"Greif");
  EXPECT_EQ(seen().second, L"Keine Treffer");

  press(VK_ESCAPE, false);
  EXPECT_FALSE(bar.Open());
  EXPECT_FALSE(IsWindowVisible(field));
  find_bar = nullptr;
}

}  // namespace
}  // namespace velmor
