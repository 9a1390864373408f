#pragma once

#include <functional>

namespace velmor {

// Runs work on the main thread. Post may be called from any thread, never waits for the
// main thread, and tasks run in the order they were posted.
class Dispatcher {
 public:
  virtual ~Dispatcher() = default;
  virtual void Post(std::function<void()> task) = 0;
  // Main thread only: runs now, in order, the tasks posted before this call that have not
  // run yet. The exit steps call it so that nothing a worker posted before them is lost.
  virtual void RunPending() = 0;
};

}  // namespace velmor
