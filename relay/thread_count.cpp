#include "relay/thread_count.h"

#include <condition_variable>
#include <mutex>

namespace velmor {

namespace {

struct ThreadCount {
  std::mutex mutex;
  std::condition_variable changed;
  int live = 0;
};

// Never destroyed: a detached thread may release its token while the process is already
// running its static destructors.
ThreadCount& Count() {
  static ThreadCount* count = new ThreadCount;
  return *count;
}

}  // namespace

RelayThreadToken::RelayThreadToken() {
  std::lock_guard lock(Count().mutex);
  ++Count().live;
}

RelayThreadToken::RelayThreadToken(RelayThreadToken&& other) noexcept : counted_(other.counted_) {
  other.counted_ = false;
}

void RelayThreadToken::Release() noexcept {
  if (!counted_) return;
  counted_ = false;
  ThreadCount& count = Count();
  std::lock_guard lock(count.mutex);
  --count.live;
  count.changed.notify_all();
}

int LiveRelayThreads() {
  std::lock_guard lock(Count().mutex);
  return Count().live;
}

bool WaitForRelayThreads(std::chrono::milliseconds limit) {
  std::unique_lock lock(Count().mutex);
  return Count().changed.wait_for(lock, limit, [] { return Count().live == 0; });
}

}  // namespace velmor
