#pragma once

#include "gui_win32/windows_api.h"

#include "shell/controls.h"

namespace velmor {

// The conversation log's pane: a read-only RichEdit control that takes each line of the
// log as it is appended, in its colour and style, and follows the end while the user has
// not scrolled away from it. Main thread only; the log must outlive the pane.
class LogPane {
 public:
  LogPane(HWND parent, int id, TLogPane& log);
  ~LogPane();
  LogPane(const LogPane&) = delete;
  LogPane& operator=(const LogPane&) = delete;

  HWND Handle() const { return window_; }

 private:
  void Append(const LogLine& line);

  TLogPane& log_;
  HWND window_ = nullptr;
  int observer_ = -1;
  bool empty_ = true;
};

}  // namespace velmor
