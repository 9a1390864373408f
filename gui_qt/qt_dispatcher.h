#pragma once

#include <QObject>

#include "platform/dispatch.h"

namespace velmor {

// Queues tasks into the Qt event loop of the thread that owns the receiver (the main
// thread). Posting never waits; tasks still queued when the loop has ended run only
// through RunPending.
class QtDispatcher : public Dispatcher {
 public:
  explicit QtDispatcher(QObject* receiver) : receiver_(receiver) {}
  void Post(std::function<void()> task) override;
  void RunPending() override;

 private:
  QObject* receiver_;
};

}  // namespace velmor
