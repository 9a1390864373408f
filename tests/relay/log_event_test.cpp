#include "relay/log_event.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/fake_connections.h"

namespace velmor {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kRedirect = {0x8C, 0xC0, 0xA8, 0x00, 0x07, 0x0A, 0x21, 0x11, 0x22, 0x33, 0x44};

class TrafficTapTest : public ::testing::Test {
 protected:
  TIdLogEvent tap_;
  testing::FakeConnections connections_;
};

TEST_F(TrafficTapTest, InactiveTapLetsBlocksPassUntouched) {
  int calls = 0;
  tap_.OnSend = [&](TIdConnectionIntercept&, TIdTCPConnection&, TMemoryStream&) { ++calls; };
  TMemoryStream block{kRedirect, 0};
  tap_.Send(connections_[0], block);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(block.data, kRedirect);
}

TEST_F(TrafficTapTest, ActiveTapHandsTheBlockToOnSendAndRewindsIt) {
  tap_.OnSend = [&](TIdConnectionIntercept& sender, TIdTCPConnection& connection,
                    TMemoryStream& stream) {
    EXPECT_EQ(&sender, &tap_);
    EXPECT_EQ(&connection, &connections_[1]);
    stream.data[0] = 0x42;
    stream.position = 7;
  };
  tap_.Active = true;
  TMemoryStream block{kRedirect, 0};
  tap_.Send(connections_[1], block);
  EXPECT_EQ(block.data[0], 0x42);
  EXPECT_EQ(block.position, 0u);
}

TEST_F(TrafficTapTest, BlocksFromTheGameClientAreNeverLookedAt) {
  int calls = 0;
  tap_.OnSend = [&](TIdConnectionIntercept&, TIdTCPConnection&, TMemoryStream&) { ++calls; };
  tap_.Active = true;
  TMemoryStream block{kRedirect, 3};
  tap_.Receive(connections_[0], block);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(block.data, kRedirect);
  EXPECT_EQ(block.position, 3u);
}

TEST_F(TrafficTapTest, DisconnectIsReportedActiveOrNot) {
  std::vector<TIdTCPConnection*> closed;
  tap_.OnDisconnect = [&](TIdConnectionIntercept&, TIdTCPConnection& connection) {
    closed.push_back(&connection);
  };
  tap_.Disconnect(connections_[0]);
  tap_.Active = true;
  tap_.Disconnect(connections_[1]);
  EXPECT_EQ(closed, (std::vector<TIdTCPConnection*>{&connections_[0], &connections_[1]}));
}

}  // namespace
}  // namespace velmor
