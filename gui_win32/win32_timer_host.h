#pragma once

#include "gui_win32/windows_api.h"

#include <map>

#include "platform/timer.h"

namespace velmor {

// Ticks the program's timers through SetTimer on the main window: each TTimer gets an id of
// its own, and the window hands WM_TIMER to Fire. Main thread only.
class Win32TimerHost : public TimerHost {
 public:
  // The window that receives WM_TIMER; it must outlive the host's timers.
  explicit Win32TimerHost(HWND window) : window_(window) {}

  void Schedule(TTimer& timer, int interval_ms) override;
  void Cancel(TTimer& timer) override;
  // WM_TIMER: true when the id was one of this host's.
  bool Fire(UINT_PTR id) const;

 private:
  // Ids start above those that other parts of the window might use.
  static constexpr UINT_PTR kFirstId = 100;

  HWND window_;
  std::map<UINT_PTR, TTimer*> timers_;
};

}  // namespace velmor
