#pragma once

#include <cstdint>
#include <map>

#include "platform/timer.h"

namespace velmor::testing {

// A timer host on a clock that moves only when the test says: Advance ticks every timer
// that falls due on the way, earliest first, as a desktop's event loop would.
class ManualTimers : public TimerHost {
 public:
  void Schedule(TTimer& timer, int interval_ms) override {
    schedule_[&timer] = {&timer, now_ + interval_ms, interval_ms, next_order_++};
  }
  void Cancel(TTimer& timer) override { schedule_.erase(&timer); }

  bool Scheduled(const TTimer& timer) const { return schedule_.contains(&timer); }

  void Advance(std::int64_t milliseconds) {
    const std::int64_t end = now_ + milliseconds;
    for (;;) {
      auto next = schedule_.end();
      for (auto entry = schedule_.begin(); entry != schedule_.end(); ++entry) {
        if (entry->second.due > end) continue;
        if (next == schedule_.end() || entry->second.due < next->second.due ||
            (entry->second.due == next->second.due && entry->second.order < next->second.order)) {
          next = entry;
        }
      }
      if (next == schedule_.end()) break;
      now_ = next->second.due;
      TTimer& timer = *next->second.timer;
      next->second.due += next->second.interval;
      timer.Tick();
    }
    now_ = end;
  }

 private:
  struct Entry {
    TTimer* timer;
    std::int64_t due;
    int interval;
    std::uint64_t order;
  };
  std::int64_t now_ = 0;
  std::uint64_t next_order_ = 0;
  std::map<const TTimer*, Entry> schedule_;
};

}  // namespace velmor::testing
