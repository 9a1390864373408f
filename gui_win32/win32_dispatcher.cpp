#include "gui_win32/win32_dispatcher.h"

namespace velmor {

void Win32Dispatcher::SetWindow(HWND window) {
  std::lock_guard lock(mutex_);
  window_ = window;
  if (!tasks_.empty() && !wake_pending_) {
    wake_pending_ = PostMessageW(window_, kMessage, 0, 0) != 0;
  }
}

void Win32Dispatcher::Post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  tasks_.push_back(std::move(task));
  if (window_ && !wake_pending_) wake_pending_ = PostMessageW(window_, kMessage, 0, 0) != 0;
}

void Win32Dispatcher::SetRunner(Runner run) {
  run_ = std::move(run);
}

void Win32Dispatcher::RunPending() {
  // Only what was queued before this call: a relay posting faster than the tasks run must
  // not hold the message loop. Tasks posted meanwhile post a new wake-up message.
  std::size_t count;
  {
    std::lock_guard lock(mutex_);
    wake_pending_ = false;
    count = tasks_.size();
  }
  for (; count > 0; --count) {
    std::function<void()> task;
    {
      std::lock_guard lock(mutex_);
      // A task may have run the queue itself (the exit steps do).
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    if (run_) {
      run_(task);
    } else {
      task();
    }
  }
}

}  // namespace velmor
