#pragma once

#include <functional>

// Timers of the main thread. A TTimer holds its state (enabled, interval) and the work of
// its tick; the desktop's TimerHost makes it tick. Whatever owns a timer, it runs on every
// desktop, and tests drive it with a manual clock. Main thread only.
namespace velmor {

class TTimer;

class TimerHost {
 public:
  virtual ~TimerHost() = default;
  // Ticks `timer` every `interval_ms` from now on, on the main thread, replacing any
  // schedule it had.
  virtual void Schedule(TTimer& timer, int interval_ms) = 0;
  // No more ticks for `timer`.
  virtual void Cancel(TTimer& timer) = 0;
};

class TTimer {
 public:
  // `host` must outlive the timer.
  TTimer(TimerHost& host, int interval_ms) : host_(host), interval_(interval_ms) {}
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  int Interval() const { return interval_; }
  // Restarts the schedule of an enabled timer at the new interval.
  void SetInterval(int interval_ms);
  // One tick, as the host delivers it: runs OnTimer when the timer is enabled.
  void Tick() const;

  std::function<void()> OnTimer;

 private:
  TimerHost& host_;
  bool enabled_ = false;
  int interval_;
};

}  // namespace velmor
