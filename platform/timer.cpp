#include "platform/timer.h"

namespace velmor {

TTimer::~TTimer() {
  if (enabled_) host_.Cancel(*this);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (enabled) {
    host_.Schedule(*this, interval_);
  } else {
    host_.Cancel(*this);
  }
}

void TTimer::SetInterval(int interval_ms) {
  if (interval_ == interval_ms) return;
  interval_ = interval_ms;
  if (enabled_) host_.Schedule(*this, interval_);
}

void TTimer::Tick() const {
  if (enabled_ && OnTimer) OnTimer();
}

}  // namespace velmor
