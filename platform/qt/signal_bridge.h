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
  explicit SignalBridge(std::function<void()> on_signal);
  ~SignalBridge() override;

 private:
  std::function<void()> on_signal_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace velmor
