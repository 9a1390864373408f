#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "relay/mapped_port.h"
#include "relay/thread_count.h"
#include "tests/relay/relay_fixture.h"
#include "tests/support/loopback.h"

namespace velmor::testing {

// A tap that passes every block on unchanged but moves its position to the end, as a tap
// that reads the block does (the relay must send from the first byte regardless). It
// counts what passes and checks the contract: one connection's calls come from one
// thread and never overlap. Safe for many workers at once.
class CheckingTap : public TIdConnectionIntercept {
 public:
  void Send(TIdTCPConnection& connection, TMemoryStream& block) override {
    Enter(connection);
    sent_bytes += block.data.size();
    block.position = block.data.size();
    Leave(connection, false);
  }
  void Receive(TIdTCPConnection& connection, TMemoryStream& block) override {
    Enter(connection);
    received_bytes += block.data.size();
    block.position = block.data.size();
    Leave(connection, false);
  }
  void Disconnect(TIdTCPConnection& connection) override {
    Enter(connection);
    ++disconnects;
    Leave(connection, true);
  }

  std::atomic<std::uint64_t> sent_bytes{0};
  std::atomic<std::uint64_t> received_bytes{0};
  std::atomic<int> disconnects{0};
  std::atomic<int> violations{0};

 private:
  struct Owner {
    std::thread::id thread;
    bool busy = false;
  };

  void Enter(TIdTCPConnection& connection) {
    std::lock_guard lock(mutex_);
    auto [entry, fresh] = owners_.try_emplace(&connection, Owner{std::this_thread::get_id()});
    if (!fresh && (entry->second.busy || entry->second.thread != std::this_thread::get_id())) {
      ++violations;
    }
    entry->second.busy = true;
  }

  // After Disconnect the address may come back for a new connection on another thread.
  void Leave(TIdTCPConnection& connection, bool last) {
    std::lock_guard lock(mutex_);
    if (last) {
      owners_.erase(&connection);
    } else {
      owners_[&connection].busy = false;
    }
  }

  std::mutex mutex_;
  std::map<const TIdTCPConnection*, Owner> owners_;
};

// Both directions of a fresh connection work.
inline void ExpectRelayStillServes(RelayedPair pair) {
  SendText(pair.client, "up");
  SendText(pair.server, "down");
  EXPECT_EQ(ReceiveText(pair.server, 2), "up");
  EXPECT_EQ(ReceiveText(pair.client, 4), "down");
}

// The real relay on a port of the system's choice in front of a backend listener with room
// for many pending connections. The parameter says whether the relay has a tap.
class FaultTest : public RelayHarness<CheckingTap, ::testing::TestWithParam<bool>> {
 protected:
  FaultTest() : RelayHarness(512) {}

  void TearDown() override {
    RelayHarness::TearDown();
    EXPECT_EQ(tap_.violations.load(), 0) << "tap calls of one connection overlapped or moved";
  }

  bool WithTap() const { return GetParam(); }

  void StartRelay(std::uint16_t port) { RelayHarness::StartRelay("127.0.0.1", port, WithTap()); }
  void StartRelay() { StartRelay(backend_.LocalPort()); }
};

inline std::string TapName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "WithTap" : "WithoutTap";
}

}  // namespace velmor::testing
