#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>

namespace velmor {

// Turns SIGTERM, SIGINT and SIGHUP into a call on the main thread. The signal handler only
// writes one byte to a socket pair, which wakes the event loop; the callback then runs as
// an ordinary event.
class SignalBridge : public QObject {
 public:
  // Holds the three signals back (blocked) in the calling thread and every thread it starts
  // from now on, until a bridge takes them over. Called first thing in main, so that a
  // signal during start-up waits for the bridge instead of ending the program unsaved.
  static void HoldSignals();

  // Handles the three signals from now on; the main thread receives them, held-back ones
  // included (also when the program was started with them blocked).
  explicit SignalBridge(std::function<void()> on_signal);
  ~SignalBridge() override;

 private:
  std::function<void()> on_signal_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace velmor
