#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "relay/mapped_port.h"
#include "relay/thread_count.h"
#include "tests/relay/recording_tap.h"
#include "tests/support/loopback.h"

namespace velmor::testing {

// One client through the relay and the backend's end of the relay's outbound connection.
struct RelayedPair {
  Socket client;  // the game client's end
  Socket server;  // the game server's end of the relay's outbound connection
};

// A relay on a port of the system's choice in front of a backend listener on 127.0.0.1,
// with a tap of type Tap that outlives it. Base is the gtest fixture class to build on.
template <typename Tap, typename Base = ::testing::Test>
class RelayHarness : public Base {
 protected:
  using Pair = RelayedPair;

  explicit RelayHarness(int backlog = 16) : backend_(ListenLoopback(backlog)) {}

  void TearDown() override {
    relay_.reset();
    EXPECT_TRUE(WaitForRelayThreads(kPatience));
  }

  void StartRelay(const std::string& host, std::int32_t port, bool with_tap = true) {
    relay_ = std::make_unique<TIdMappedPortTCP>();
    relay_->MappedHost = host;
    relay_->MappedPort = port;
    relay_->DefaultPort = 0;
    if (with_tap) relay_->Intercept = &tap_;
    relay_->AddBinding();
    relay_->SetActive(true);
  }

  std::uint16_t RelayPort() const { return static_cast<std::uint16_t>(relay_->BoundPort(0)); }

  // Connected one after the other, so the two ends belong together.
  Pair Connect() {
    Pair pair;
    pair.client = ConnectTo(RelayPort());
    pair.server = AcceptWithin(backend_);
    EXPECT_TRUE(pair.server.IsOpen()) << "the relay did not connect to the backend";
    return pair;
  }

  // True once no worker is left.
  bool WorkersGone() {
    return Eventually([&] { return relay_->ConnectionCount() == 0; });
  }

  Tap tap_;  // outlives the relay
  Socket backend_;
  std::unique_ptr<TIdMappedPortTCP> relay_;
};

class RelayTest : public RelayHarness<RecordingTap> {
 protected:
  using RelayHarness::StartRelay;
  void StartRelay() { StartRelay("127.0.0.1", backend_.LocalPort()); }
};

}  // namespace velmor::testing
