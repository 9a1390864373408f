#pragma once

#include "gui_win32/windows_api.h"

#include <functional>
#include <memory>

#include "gui_win32/log_pane.h"
#include "shell/log_find.h"

namespace velmor {

// The find bar under the log pane: a one-line field, "Weiter" and "Zurück", and the count
// of matches, as child windows of the main window beside the pane. Hidden until the player
// asks for it (Ctrl+F, F3, "Suchen..." in the pane's context menu); Enter and Shift+Enter in
// the field step as F3 and Shift+F3 do, Escape closes it. The search is LogFind's; the
// matches are counted in slices on a timer, so a long log never holds the window up.
// Main thread only.
class FindBar {
 public:
  // `relayout` places the pane and the bar anew, after the bar opened or closed.
  FindBar(HWND window, LogPane& pane, ConversationLog& log, std::function<void()> relayout);
  ~FindBar();
  FindBar(const FindBar&) = delete;
  FindBar& operator=(const FindBar&) = delete;

  bool Open() const { return open_; }
  void Show();
  void Close();
  void Step(bool forward);
  // The pane's place, in pixels: with the bar open, the bar takes its bottom and the rest is
  // returned for the pane.
  RECT Place(RECT pane, UINT dpi, HFONT font);
  // WM_COMMAND from a child window: true when it came from the bar.
  bool Command(WPARAM wparam, LPARAM lparam);
  // The keys the bar takes before the dialog keys: Enter and Escape in its field.
  bool Key(const MSG& message);

 private:
  static void CALLBACK CountTick(HWND field, UINT, UINT_PTR, DWORD);
  void Refresh();
  void CountLater();

  LogPane& pane_;
  ConversationLog& log_;
  std::function<void()> relayout_;
  LogFind find_;
  HWND field_;
  HWND next_;
  HWND previous_;
  HWND count_;
  int observer_ = -1;
  bool open_ = false;
  bool counting_ = false;
};

}  // namespace velmor
