#pragma once

#include <chrono>

// The process-wide count of live relay threads (listeners and workers). Worker threads
// are detached and may outlive their relay, so the process waits for this count to reach
// zero before it ends.
namespace velmor {

// Counts one relay thread from construction until Release() or destruction. Made on the
// thread that starts the relay thread, before it starts, and handed to it, so the thread
// is counted for its whole life; the thread releases it as its very last action.
class RelayThreadToken {
 public:
  RelayThreadToken();
  RelayThreadToken(RelayThreadToken&& other) noexcept;
  RelayThreadToken& operator=(RelayThreadToken&&) = delete;
  RelayThreadToken(const RelayThreadToken&) = delete;
  RelayThreadToken& operator=(const RelayThreadToken&) = delete;
  ~RelayThreadToken() { Release(); }

  void Release() noexcept;

 private:
  bool counted_ = true;
};

// The number of relay threads alive now. Any thread.
int LiveRelayThreads();

// Blocks until no relay thread is alive, giving up after `limit`; true when the count
// reached zero. Any thread except a relay thread.
bool WaitForRelayThreads(std::chrono::milliseconds limit);

}  // namespace velmor
