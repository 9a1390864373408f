#include "gui_win32/log_pane.h"

#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "gui_win32/colors.h"

namespace velmor {
namespace {

constexpr wchar_t kClass[] = L"VelmorLogPane";
// Sent to itself once per batch of appended lines.
constexpr UINT kCatchUpMessage = WM_APP + 20;
constexpr UINT_PTR kDragScrollTimer = 1;
constexpr UINT kDragScrollMilliseconds = 50;
// Space between the pane's left edge and the text, at 96 dpi.
constexpr int kMargin = 4;

void RegisterClassOnce(HINSTANCE instance, WNDPROC proc) {
  static const bool registered = [&] {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_DBLCLKS;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
    window_class.lpszClassName = kClass;
    window_class.lpfnWndProc = proc;
    return RegisterClassExW(&window_class) != 0;
  }();
  (void)registered;
}

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

bool HighContrast() {
  HIGHCONTRASTW contrast = {};
  contrast.cbSize = sizeof contrast;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

bool Held(int key) {
  return GetKeyState(key) < 0;
}

}  // namespace

LogPane::LogPane(HWND parent, int id, TLogPane& log) : log_(log), model_(log) {
  const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
  RegisterClassOnce(instance, &LogPane::Proc);
  high_contrast_ = HighContrast();
  window_ =
      CreateWindowExW(WS_EX_CLIENTEDGE, kClass, L"",
                      WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL, 0, 0, 0, 0,
                      parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetFont(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
  observer_ = log.AddObserver([this](LogLineView) {
    model_.LineAppended();
    if (!behind_) behind_ = PostMessageW(window_, kCatchUpMessage, 0, 0) != 0;
  });
}

LogPane::~LogPane() {
  log_.RemoveObserver(observer_);
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
  for (std::size_t style = 1; style < fonts_.size(); ++style) DeleteObject(fonts_[style]);
}

void LogPane::MakeStyleFonts(HFONT font) {
  for (std::size_t style = 1; style < fonts_.size(); ++style) {
    if (fonts_[style]) DeleteObject(fonts_[style]);
  }
  LOGFONTW description = {};
  GetObjectW(font, sizeof description, &description);
  description.lfItalic = TRUE;
  fonts_[static_cast<std::size_t>(LogStyle::kItalic)] = CreateFontIndirectW(&description);
  description.lfWeight = FW_BOLD;
  fonts_[static_cast<std::size_t>(LogStyle::kBoldItalic)] = CreateFontIndirectW(&description);
  fonts_[static_cast<std::size_t>(LogStyle::kRegular)] = font;
}

void LogPane::SetFont(HFONT font) {
  HDC dc = GetDC(window_);
  const auto average_width = [dc](HFONT measured) {
    HGDIOBJ previous = SelectObject(dc, measured);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    return metrics;
  };
  const int old_width = fonts_[0] ? std::max<int>(1, average_width(fonts_[0]).tmAveCharWidth) : 0;
  MakeStyleFonts(font);
  line_height_ = 1;
  for (HFONT style_font : fonts_) {
    const TEXTMETRICW metrics = average_width(style_font);
    line_height_ = std::max<int>(line_height_, metrics.tmHeight + metrics.tmExternalLeading);
  }
  // The lines measured so far, rescaled rather than measured again: a new dpi must not cost
  // a pass over a long log.
  if (old_width > 0) widest_ = MulDiv(widest_, average_width(fonts_[0]).tmAveCharWidth, old_width);
  ReleaseDC(window_, dc);
  margin_ = MulDiv(kMargin, static_cast<int>(GetDpiForWindow(window_)), USER_DEFAULT_SCREEN_DPI);
  model_.SetRows(Rows());
  Sync();
}

void LogPane::ColorsChanged() {
  high_contrast_ = HighContrast();
  InvalidateRect(window_, nullptr, FALSE);
}

int LogPane::Rows() const {
  RECT client = {};
  GetClientRect(window_, &client);
  return std::max(1, static_cast<int>(client.bottom) / line_height_);
}

int LogPane::TextWidth(HDC dc, LogStyle style, const std::u16string& text, int length) const {
  HGDIOBJ previous = SelectObject(dc, FontOf(style));
  SIZE size = {};
  GetTextExtentPoint32W(dc, Wide(text), length, &size);
  SelectObject(dc, previous);
  return size.cx;
}

// The lines appended since the last batch: measured for the sideways range, then the scroll
// bars and one repaint.
void LogPane::CatchUp() {
  behind_ = false;
  if (measured_ < model_.LineCount()) {
    HDC dc = GetDC(window_);
    for (; measured_ < model_.LineCount(); ++measured_) {
      const std::u16string text = model_.ShownText(measured_);
      widest_ = std::max(
          widest_, TextWidth(dc, log_.Line(measured_).style, text, static_cast<int>(text.size())));
    }
    ReleaseDC(window_, dc);
  }
  Sync();
}

void LogPane::Sync() {
  RECT client = {};
  GetClientRect(window_, &client);
  SCROLLINFO vertical = {};
  vertical.cbSize = sizeof vertical;
  vertical.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  vertical.nMax = std::max(0, model_.LineCount() - 1);
  vertical.nPage = static_cast<UINT>(model_.Rows());
  vertical.nPos = model_.FirstLine();
  SetScrollInfo(window_, SB_VERT, &vertical, TRUE);
  const int content = widest_ + 2 * margin_;
  x_offset_ = std::clamp(x_offset_, 0, std::max(0, content - static_cast<int>(client.right)));
  SCROLLINFO horizontal = vertical;
  horizontal.nMax = std::max(0, content - 1);
  horizontal.nPage = static_cast<UINT>(std::max(0L, client.right));
  horizontal.nPos = x_offset_;
  SetScrollInfo(window_, SB_HORZ, &horizontal, TRUE);
  InvalidateRect(window_, nullptr, FALSE);
}

void LogPane::Paint() {
  PAINTSTRUCT paint;
  HDC target = BeginPaint(window_, &paint);
  RECT client = {};
  GetClientRect(window_, &client);
  // Drawn off screen and shown at once, so a busy pane does not flicker.
  HDC dc = CreateCompatibleDC(target);
  HBITMAP picture =
      CreateCompatibleBitmap(target, std::max(1L, client.right), std::max(1L, client.bottom));
  HGDIOBJ previous_picture = SelectObject(dc, picture);
  FillRect(dc, &client, GetSysColorBrush(high_contrast_ ? COLOR_WINDOW : COLOR_BTNFACE));
  SetBkMode(dc, TRANSPARENT);
  const int first = model_.FirstLine();
  const int last =
      std::min(model_.LineCount() - 1, first + static_cast<int>(client.bottom) / line_height_);
  for (int line = first; line <= last; ++line) {
    PaintLine(dc, line, (line - first) * line_height_, client);
  }
  BitBlt(target, paint.rcPaint.left, paint.rcPaint.top, paint.rcPaint.right - paint.rcPaint.left,
         paint.rcPaint.bottom - paint.rcPaint.top, dc, paint.rcPaint.left, paint.rcPaint.top,
         SRCCOPY);
  SelectObject(dc, previous_picture);
  DeleteObject(picture);
  DeleteDC(dc);
  EndPaint(window_, &paint);
}

void LogPane::PaintLine(HDC dc, int line, int top, const RECT& client) {
  const LogLineView shown_line = log_.Line(line);
  const std::u16string text = model_.ShownText(line);
  const int length = static_cast<int>(text.size());
  const int left = margin_ - x_offset_;
  HGDIOBJ previous = SelectObject(dc, FontOf(shown_line.style));
  if (marks_) {
    // The other matches of a search: the selection's colour, faintly.
    const COLORREF strong = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF ground = GetSysColor(high_contrast_ ? COLOR_WINDOW : COLOR_BTNFACE);
    const auto blend = [](BYTE a, BYTE b) { return static_cast<BYTE>((a * 3 + b * 7) / 10); };
    HBRUSH faint = CreateSolidBrush(RGB(blend(GetRValue(strong), GetRValue(ground)),
                                        blend(GetGValue(strong), GetGValue(ground)),
                                        blend(GetBValue(strong), GetBValue(ground))));
    for (const FindMatch& match : marks_->MatchesIn(line)) {
      RECT marked = {left + TextWidth(dc, shown_line.style, text, match.column), top,
                     left + TextWidth(dc, shown_line.style, text, match.column + match.length),
                     top + line_height_};
      FillRect(dc, &marked, faint);
    }
    DeleteObject(faint);
  }
  SetTextColor(dc, high_contrast_ ? GetSysColor(COLOR_WINDOWTEXT) : ToColorRef(shown_line.color));
  TextOutW(dc, left, top, Wide(text), length);
  const auto [from, to] = model_.Selection();
  if (from != to && line >= from.line && line <= to.line) {
    const int start = line == from.line ? from.column : 0;
    const int end = line == to.line ? to.column : length;
    const int x_start = left + TextWidth(dc, shown_line.style, text, start);
    int x_end = left + TextWidth(dc, shown_line.style, text, end);
    // A selected line break shows as a little room after the text.
    if (line < to.line) x_end += line_height_ / 3;
    RECT selected = {x_start, top, x_end, top + line_height_};
    IntersectRect(&selected, &selected, &client);
    FillRect(dc, &selected, GetSysColorBrush(COLOR_HIGHLIGHT));
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    TextOutW(dc, x_start, top, Wide(text) + start, std::max(0, end - start));
  }
  SelectObject(dc, previous);
}

TextPlace LogPane::PlaceAt(POINT point) const {
  if (model_.LineCount() == 0) return {};
  const int row = point.y < 0 ? -1 - (-point.y - 1) / line_height_ : point.y / line_height_;
  const int line = std::clamp(model_.FirstLine() + row, 0, model_.LineCount() - 1);
  const std::u16string text = model_.ShownText(line);
  const int x = point.x - margin_ + x_offset_;
  std::vector<int> ends(text.size() + 1);
  HDC dc = GetDC(window_);
  HGDIOBJ previous = SelectObject(dc, FontOf(log_.Line(line).style));
  int fit = 0;
  SIZE size = {};
  GetTextExtentExPointW(dc, Wide(text), static_cast<int>(text.size()), INT_MAX, &fit, ends.data(),
                        &size);
  SelectObject(dc, previous);
  ReleaseDC(window_, dc);
  // The place nearest the point: before a character whose middle lies right of it.
  int column = 0;
  for (int start = 0; column < static_cast<int>(text.size()); ++column) {
    const int end = ends[static_cast<std::size_t>(column)];
    if (x < (start + end) / 2) break;
    start = end;
  }
  return {line, column};
}

void LogPane::Scroll(int bar, int code) {
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(window_, bar, &info);
  const int page = static_cast<int>(info.nPage);
  int position = info.nPos;
  switch (code) {
    case SB_LINEUP:
      position -= bar == SB_VERT ? 1 : line_height_;
      break;
    case SB_LINEDOWN:
      position += bar == SB_VERT ? 1 : line_height_;
      break;
    case SB_PAGEUP:
      position -= page;
      break;
    case SB_PAGEDOWN:
      position += page;
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      position = info.nTrackPos;
      break;
    case SB_TOP:
      position = 0;
      break;
    case SB_BOTTOM:
      position = info.nMax;
      break;
    default:
      return;
  }
  if (bar == SB_VERT) {
    if (model_.ScrollTo(position)) Sync();
  } else {
    ScrollSideways(position);
  }
}

void LogPane::ScrollSideways(int x) {
  x_offset_ = std::max(0, x);
  Sync();
}

bool LogPane::Key(WPARAM key) {
  using Move = LogPaneModel::Key;
  const bool control = Held(VK_CONTROL);
  if (control && (key == 'A' || key == 'C' || key == VK_INSERT)) {
    if (key == 'A') {
      model_.SelectAll();
      InvalidateRect(window_, nullptr, FALSE);
    } else {
      Copy();
    }
    return true;
  }
  Move move;
  switch (key) {
    case VK_UP:
      move = Move::kUp;
      break;
    case VK_DOWN:
      move = Move::kDown;
      break;
    case VK_LEFT:
      move = Move::kLeft;
      break;
    case VK_RIGHT:
      move = Move::kRight;
      break;
    case VK_PRIOR:
      move = Move::kPageUp;
      break;
    case VK_NEXT:
      move = Move::kPageDown;
      break;
    case VK_HOME:
      move = control ? Move::kTop : Move::kLineStart;
      break;
    case VK_END:
      move = control ? Move::kBottom : Move::kLineEnd;
      break;
    default:
      return false;
  }
  if (model_.Press(move, Held(VK_SHIFT))) {
    Sync();
  } else {
    ScrollSideways(x_offset_ + (move == Move::kLeft ? -2 : 2) * line_height_);
  }
  return true;
}

void LogPane::MouseDown(LPARAM lparam, bool extend) {
  SetFocus(window_);
  SetCapture(window_);
  const TextPlace place = PlaceAt({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
  model_.Select(extend ? model_.Anchor() : place, place);
  selecting_ = true;
  InvalidateRect(window_, nullptr, FALSE);
}

void LogPane::MouseMove(LPARAM lparam) {
  if (!selecting_) return;
  drag_point_ = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  model_.Select(model_.Anchor(), PlaceAt(drag_point_));
  InvalidateRect(window_, nullptr, FALSE);
  RECT client = {};
  GetClientRect(window_, &client);
  if (PtInRect(&client, drag_point_)) {
    KillTimer(window_, kDragScrollTimer);
  } else {
    SetTimer(window_, kDragScrollTimer, kDragScrollMilliseconds, nullptr);
  }
}

std::u16string LogPane::TextInSight() const {
  std::u16string text;
  const int last = std::min(model_.LineCount(), model_.FirstLine() + model_.Rows());
  for (int line = model_.FirstLine(); line < last; ++line) {
    if (!text.empty()) text += u"\r\n";
    text += model_.ShownText(line);
  }
  return text;
}

void LogPane::Copy() const {
  const std::u16string text = model_.SelectedText(u"\r\n");
  if (text.empty() || !OpenClipboard(window_)) return;
  EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    std::copy_n(reinterpret_cast<const char*>(text.c_str()), bytes,
                static_cast<char*>(GlobalLock(memory)));
    GlobalUnlock(memory);
    if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
  }
  CloseClipboard();
}

void LogPane::ShowSelection() {
  const auto [from, to] = model_.Selection();
  if (from != to && from.line == to.line) {
    const std::u16string text = model_.ShownText(from.line);
    const LogStyle style = log_.Line(from.line).style;
    HDC dc = GetDC(window_);
    const int start = margin_ + TextWidth(dc, style, text, from.column);
    const int end = margin_ + TextWidth(dc, style, text, to.column);
    ReleaseDC(window_, dc);
    RECT client = {};
    GetClientRect(window_, &client);
    const int width = static_cast<int>(client.right);
    if (end > x_offset_ + width - margin_) x_offset_ = end - width + margin_;
    if (start < x_offset_ + margin_) x_offset_ = std::max(0, start - margin_);
  }
  Sync();
}

void LogPane::SetMarks(const LogFind* find) {
  marks_ = find;
  InvalidateRect(window_, nullptr, FALSE);
}

void LogPane::ContextMenu(LPARAM lparam) {
  enum : UINT { kCopy = 1, kSelectAll, kFind };
  POINT at = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  if (at.x == -1 && at.y == -1) {
    // From the keyboard: at the pane's top left corner.
    at = {0, 0};
    ClientToScreen(window_, &at);
  }
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING | (model_.HasSelection() ? 0 : MF_GRAYED), kCopy,
              L"&Kopieren\tStrg+C");
  AppendMenuW(menu, MF_STRING, kSelectAll, L"Alles &markieren\tStrg+A");
  if (open_find_) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kFind, L"&Suchen...\tStrg+F");
  }
  const UINT chosen = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr));
  DestroyMenu(menu);
  if (chosen == kCopy) Copy();
  if (chosen == kSelectAll) {
    model_.SelectAll();
    InvalidateRect(window_, nullptr, FALSE);
  }
  if (chosen == kFind) open_find_();
}

LRESULT CALLBACK LogPane::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<LogPane*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT LogPane::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kCatchUpMessage:
      CatchUp();
      return 0;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything
    case WM_SIZE:
      model_.SetRows(Rows());
      Sync();
      return 0;
    case WM_SETFONT:
      SetFont(reinterpret_cast<HFONT>(wparam));
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(fonts_[0]);
    case WM_VSCROLL:
    case WM_HSCROLL:
      Scroll(message == WM_VSCROLL ? SB_VERT : SB_HORZ, LOWORD(wparam));
      return 0;
    case WM_MOUSEWHEEL: {
      wheel_rest_ += GET_WHEEL_DELTA_WPARAM(wparam);
      UINT lines = 3;
      SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
      const int notches = wheel_rest_ / WHEEL_DELTA;
      wheel_rest_ %= WHEEL_DELTA;
      if (notches != 0 && model_.ScrollBy(-notches * static_cast<int>(lines))) Sync();
      return 0;
    }
    case WM_MOUSEHWHEEL:
      ScrollSideways(x_offset_ + GET_WHEEL_DELTA_WPARAM(wparam) * line_height_ / WHEEL_DELTA * 2);
      return 0;
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(TextInSight().size());
    case WM_GETTEXT: {
      // What the pane shows, for screen readers and for programs that read windows.
      const std::u16string text = TextInSight();
      const std::size_t room = static_cast<std::size_t>(wparam);
      if (room == 0) return 0;
      const std::size_t copied = std::min(text.size(), room - 1);
      std::copy_n(text.c_str(), copied, reinterpret_cast<char16_t*>(lparam));
      reinterpret_cast<char16_t*>(lparam)[copied] = u'\0';
      return static_cast<LRESULT>(copied);
    }
    case WM_GETDLGCODE:
      // The cursor keys are the pane's; Tab and Enter stay the dialog's, so Tab leaves.
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN:
      if (Key(wparam)) return 0;
      break;
    case WM_LBUTTONDOWN:
      MouseDown(lparam, (wparam & MK_SHIFT) != 0);
      return 0;
    case WM_LBUTTONDBLCLK:
      model_.SelectWordAt(PlaceAt({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)}));
      InvalidateRect(window_, nullptr, FALSE);
      return 0;
    case WM_MOUSEMOVE:
      MouseMove(lparam);
      return 0;
    case WM_LBUTTONUP:
      ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      selecting_ = false;
      KillTimer(window_, kDragScrollTimer);
      return 0;
    case WM_TIMER:
      if (wparam == kDragScrollTimer) {
        RECT client = {};
        GetClientRect(window_, &client);
        if (drag_point_.y < 0) model_.ScrollBy(-1);
        if (drag_point_.y >= client.bottom) model_.ScrollBy(1);
        if (drag_point_.x < 0) x_offset_ = std::max(0, x_offset_ - 2 * line_height_);
        if (drag_point_.x >= client.right) x_offset_ += 2 * line_height_;
        model_.Select(model_.Anchor(), PlaceAt(drag_point_));
        Sync();
      }
      return 0;
    case WM_CONTEXTMENU:
      ContextMenu(lparam);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(window_, nullptr, FALSE);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

}  // namespace velmor
