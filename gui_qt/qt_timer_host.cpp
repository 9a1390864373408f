#include "gui_qt/qt_timer_host.h"

namespace velmor {

void QtTimerHost::Schedule(TTimer& timer, int interval_ms) {
  QTimer*& qtimer = timers_[&timer];
  if (!qtimer) {
    qtimer = new QTimer(this);
    // A cancelled timer's QTimer stays stopped until a timer at the same place needs one.
    connect(qtimer, &QTimer::timeout, this, [&timer] { timer.Tick(); });
  }
  qtimer->start(interval_ms);
}

void QtTimerHost::Cancel(TTimer& timer) {
  if (QTimer* qtimer = timers_.value(&timer)) qtimer->stop();
}

}  // namespace velmor
