#pragma once

#include <QHash>
#include <QObject>
#include <QTimer>

#include "platform/timer.h"

namespace velmor {

// Ticks the program's timers from the Qt event loop: one QTimer for each TTimer, kept (and
// stopped) when the timer is cancelled. Main thread only.
class QtTimerHost : public QObject, public TimerHost {
 public:
  void Schedule(TTimer& timer, int interval_ms) override;
  void Cancel(TTimer& timer) override;

 private:
  QHash<TTimer*, QTimer*> timers_;
};

}  // namespace velmor
