#include "gui_win32/win32_timer_host.h"

namespace velmor {

void Win32TimerHost::Schedule(TTimer& timer, int interval_ms) {
  UINT_PTR id = kFirstId;
  for (const auto& [used, scheduled] : timers_) {
    if (scheduled == &timer) {
      id = used;
      break;
    }
    if (used == id) ++id;
  }
  timers_[id] = &timer;
  // The same id again replaces the running timer's interval.
  SetTimer(window_, id, static_cast<UINT>(interval_ms), nullptr);
}

void Win32TimerHost::Cancel(TTimer& timer) {
  for (auto entry = timers_.begin(); entry != timers_.end(); ++entry) {
    if (entry->second == &timer) {
      KillTimer(window_, entry->first);
      timers_.erase(entry);
      return;
    }
  }
}

bool Win32TimerHost::Fire(UINT_PTR id) const {
  const auto entry = timers_.find(id);
  if (entry == timers_.end()) return false;
  entry->second->Tick();
  return true;
}

}  // namespace velmor
