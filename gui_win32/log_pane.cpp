#include "gui_win32/log_pane.h"

#include <richedit.h>

#include "gui_win32/colors.h"
#include "platform/text_codec.h"

namespace velmor {

LogPane::LogPane(HWND parent, int id, TLogPane& log) : log_(log) {
  // The pane's class lives in this library.
  LoadLibraryW(L"Msftedit.dll");
  window_ = CreateWindowExW(
      0, MSFTEDIT_CLASS, L"",
      WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE |
          ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_DISABLENOSCROLL | ES_NOHIDESEL,
      0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
  // The pane holds the whole run's log; the control's default limit is 32767 characters.
  SendMessageW(window_, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
  SendMessageW(window_, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_BTNFACE)));
  for (const LogLine& line : log.Lines()) Append(line);
  observer_ = log.AddObserver([this](const LogLine& line) { Append(line); });
}

LogPane::~LogPane() {
  log_.RemoveObserver(observer_);
}

void LogPane::Append(const LogLine& line) {
  // As in the log file: control characters other than tab show as blanks, so a server's
  // line can never become two.
  std::string text = line.text;
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') c = ' ';
  }
  const std::wstring wide = (empty_ ? L"" : L"\r") + Windows1252ToWide(text);
  empty_ = false;

  SCROLLINFO scroll = {};
  scroll.cbSize = sizeof scroll;
  scroll.fMask = SIF_ALL;
  GetScrollInfo(window_, SB_VERT, &scroll);
  const bool at_end =
      scroll.nPage == 0 || scroll.nPos + static_cast<int>(scroll.nPage) >= scroll.nMax;
  CHARRANGE selection = {};
  SendMessageW(window_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));

  // At the end, whatever the user has selected, in the line's own colour and style.
  CHARRANGE end = {-1, -1};
  SendMessageW(window_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
  CHARFORMAT2W format = {};
  format.cbSize = sizeof format;
  format.dwMask = CFM_COLOR | CFM_BOLD | CFM_ITALIC;
  format.crTextColor = ToColorRef(line.color);
  format.dwEffects = (line.style != LogStyle::kRegular ? CFE_ITALIC : 0) |
                     (line.style == LogStyle::kBoldItalic ? CFE_BOLD : 0);
  SendMessageW(window_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  SendMessageW(window_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));

  SendMessageW(window_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  if (at_end) SendMessageW(window_, WM_VSCROLL, SB_BOTTOM, 0);
}

}  // namespace velmor
