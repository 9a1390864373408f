#pragma once

#include "gui_win32/windows_api.h"

#include <array>
#include <functional>
#include <string>

#include "shell/controls.h"
#include "shell/log_find.h"
#include "shell/log_pane_model.h"

namespace velmor {

// The conversation log's pane: a window of its own that draws the lines in sight straight
// from the log (LogPaneModel holds what is in sight and selected), so it keeps nothing per
// line and an append costs the same however long the log is. Lines that arrive together
// are shown together: an append only notes that the pane is behind, and the pane catches
// up once per batch, with one message to itself. Each line shows in its colour and style;
// the pane follows the end while it is scrolled to the bottom and never scrolls sideways by
// itself. Selection with the mouse across lines (a double click takes a word) or with
// Shift and the cursor keys; Ctrl+A, Ctrl+C (and a context menu with both); PgUp, PgDn,
// Home, End and the wheel. In a
// high-contrast theme it draws in the theme's window colours. Tab leaves it. Its window text
// is the text of the lines in sight.
//
// Main thread only; the log must outlive the pane.
class LogPane {
 public:
  LogPane(HWND parent, int id, TLogPane& log);
  ~LogPane();
  LogPane(const LogPane&) = delete;
  LogPane& operator=(const LogPane&) = delete;

  HWND Handle() const { return window_; }
  // The pane's font (the window's, at the window's dpi); the pane makes its italic and bold
  // italic from it. The font must live while the pane uses it.
  void SetFont(HFONT font);
  // The system's colours or theme changed.
  void ColorsChanged();

  LogPaneModel& Model() { return model_; }
  // After the model's selection was set from outside: the scroll bars, the picture, and the
  // pane scrolled sideways so that the selection is in sight.
  void ShowSelection();
  // The matches of a search to mark lightly, or none.
  void SetMarks(const LogFind* find);
  // What "Suchen..." in the context menu does.
  void SetFindOpener(std::function<void()> open) { open_find_ = std::move(open); }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  void CatchUp();
  void Sync();
  void Paint();
  void PaintLine(HDC dc, int line, int top, const RECT& client);
  void Scroll(int bar, int code);
  void ScrollSideways(int x);
  bool Key(WPARAM key);
  void MouseDown(LPARAM lparam, bool extend);
  void MouseMove(LPARAM lparam);
  void Copy() const;
  void ContextMenu(LPARAM lparam);
  std::u16string TextInSight() const;

  int TextWidth(HDC dc, LogStyle style, const std::u16string& text, int length) const;
  TextPlace PlaceAt(POINT point) const;
  int Rows() const;
  HFONT FontOf(LogStyle style) const { return fonts_[static_cast<std::size_t>(style)]; }
  void MakeStyleFonts(HFONT font);

  TLogPane& log_;
  LogPaneModel model_;
  HWND window_ = nullptr;
  int observer_ = -1;
  // Regular (the window's own), italic, bold and italic.
  std::array<HFONT, 3> fonts_{};
  int line_height_ = 1;
  int margin_ = 0;  // between the pane's left edge and the text
  // The widest line measured so far, and how many lines have been measured.
  int widest_ = 0;
  int measured_ = 0;
  int x_offset_ = 0;
  bool behind_ = false;
  bool selecting_ = false;
  bool high_contrast_ = false;
  int wheel_rest_ = 0;
  POINT drag_point_{};
  const LogFind* marks_ = nullptr;
  std::function<void()> open_find_;
};

}  // namespace velmor
