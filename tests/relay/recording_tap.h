#pragma once

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "relay/intercept.h"

namespace velmor::testing {

// A tap that records every call and can change blocks on their way through. Safe to call
// from several workers at once.
class RecordingTap : public TIdConnectionIntercept {
 public:
  enum class Kind { kSend, kReceive, kDisconnect };
  struct Call {
    Kind kind;
    const TIdTCPConnection* connection;
    std::thread::id thread;
    std::size_t size;      // block length on entry
    std::size_t position;  // block position on entry
  };

  // Run on the block after recording; may change it or throw.
  std::function<void(TMemoryStream&)> on_send;
  std::function<void(TMemoryStream&)> on_receive;

  void Send(TIdTCPConnection& connection, TMemoryStream& block) override {
    Record(Kind::kSend, connection, &block);
    if (on_send) on_send(block);
  }
  void Receive(TIdTCPConnection& connection, TMemoryStream& block) override {
    Record(Kind::kReceive, connection, &block);
    if (on_receive) on_receive(block);
  }
  void Disconnect(TIdTCPConnection& connection) override {
    Record(Kind::kDisconnect, connection, nullptr);
  }

  std::vector<Call> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

  int Count(Kind kind) const {
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const Call& call : calls_) count += call.kind == kind ? 1 : 0;
    return count;
  }

 private:
  void Record(Kind kind, TIdTCPConnection& connection, const TMemoryStream* block) {
    std::lock_guard lock(mutex_);
    calls_.push_back({kind, &connection, std::this_thread::get_id(), block ? block->data.size() : 0,
                      block ? block->position : 0});
  }

  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

}  // namespace velmor::testing
