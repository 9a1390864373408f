#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include "platform/dispatch.h"

namespace velmor::testing {

// Collects posted tasks; the test runs them on its own thread with Drain().
class QueueDispatcher : public Dispatcher {
 public:
  void Post(std::function<void()> task) override {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }

  void RunPending() override { Drain(); }

  // Runs every queued task, including those queued while draining; returns their count.
  int Drain() {
    int count = 0;
    for (;;) {
      std::function<void()> task;
      {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return count;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
      ++count;
    }
  }

  std::size_t Pending() {
    std::lock_guard lock(mutex_);
    return tasks_.size();
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace velmor::testing
