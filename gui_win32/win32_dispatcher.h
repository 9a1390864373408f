#pragma once

#include "gui_win32/windows_api.h"

#include <deque>
#include <functional>
#include <mutex>

#include "platform/dispatch.h"

namespace velmor {

// Queues tasks for the main thread and wakes it with one posted window message; the window
// hands that message to RunPending. Tasks run in the order they were posted, each through
// the runner the window sets (its guard against exceptions); tasks still queued when the
// window is gone never run. Post may be called from any thread.
class Win32Dispatcher : public Dispatcher {
 public:
  static constexpr UINT kMessage = WM_APP + 1;

  // The window that receives kMessage; set once, on the main thread, before the first Post
  // can matter. Earlier tasks wait until it is set.
  void SetWindow(HWND window);
  using Runner = std::function<void(const std::function<void()>&)>;
  void SetRunner(Runner run);
  void Post(std::function<void()> task) override;
  // Runs the tasks queued before this call. Main thread only.
  void RunPending() override;

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
  HWND window_ = nullptr;
  Runner run_;
  // One wake-up message at a time keeps a busy relay from flooding the message queue.
  bool wake_pending_ = false;
};

}  // namespace velmor
