#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "relay/loopback.h"
#include "relay/mapped_port.h"
#include "relay/recording_tap.h"
#include "relay/thread_count.h"

namespace velmor::testing {

// A relay on a port of the system's choice in front of a backend listener on 127.0.0.1.
class RelayTest : public ::testing::Test {
 protected:
  struct Pair {
    Socket client;  // the game client's end
    Socket server;  // the game server's end of the relay's outbound connection
  };

  void TearDown() override {
    relay_.reset();
    EXPECT_TRUE(WaitForRelayThreads(kPatience));
  }

  void StartRelay(const std::string& host, std::int32_t port) {
    relay_ = std::make_unique<TIdMappedPortTCP>();
    relay_->MappedHost = host;
    relay_->MappedPort = port;
    relay_->DefaultPort = 0;
    relay_->Intercept = &tap_;
    relay_->AddBinding();
    relay_->SetActive(true);
  }
  void StartRelay() { StartRelay("127.0.0.1", backend_.LocalPort()); }

  std::uint16_t RelayPort() const { return static_cast<std::uint16_t>(relay_->BoundPort(0)); }

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

  RecordingTap tap_;  // outlives the relay
  Socket backend_ = ListenLoopback();
  std::unique_ptr<TIdMappedPortTCP> relay_;
};

}  // namespace velmor::testing
