#include "decoding/traffic_tap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "decoding/decoding_sessions.h"
#include "tests/decoding/fake_connections.h"
#include "tests/decoding/huffman_encoder.h"
#include "tests/decoding/speech_packets.h"
#include "tests/fakes/recording_speech_window.h"

namespace velmor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Window = testing::RecordingSpeechWindow;
using Effects = std::vector<Window::Effect>;

const Bytes kRedirect = {0x8C, 0xC0, 0xA8, 0x00, 0x07, 0x0A, 0x21, 0x11, 0x22, 0x33, 0x44};
const Bytes kRewritten = {0x8C, 0x7F, 0x00, 0x00, 0x01, 0x0A, 0x20, 0x11, 0x22, 0x33, 0x44};

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

// The tap wired to the decoding as the main window wires it.
class TapWithDecodingTest : public TrafficTapTest {
 protected:
  TapWithDecodingTest() {
    tap_.OnSend = [this](TIdConnectionIntercept&, TIdTCPConnection& connection,
                         TMemoryStream& block) {
      sessions_.HandleServerBlock(connection, block, 2592, window_);
    };
    tap_.OnDisconnect = [this](TIdConnectionIntercept&, TIdTCPConnection& connection) {
      sessions_.Forget(connection);
    };
  }
  Bytes Send(TIdTCPConnection& connection, const Bytes& bytes) {
    TMemoryStream block{bytes, 0};
    tap_.Send(connection, block);
    return block.data;
  }

  DecodingSessions sessions_;
  Window window_;
};

TEST_F(TapWithDecodingTest, NothingIsRewrittenOrDecodedBeforeStartOrAfterStop) {
  const Bytes speech = testing::Compress(testing::AsciiSpeech("Aldric", "Hallo"));
  EXPECT_EQ(Send(connections_[0], kRedirect), kRedirect);
  tap_.Active = true;
  EXPECT_EQ(Send(connections_[0], kRedirect), kRewritten);
  tap_.Disconnect(connections_[0]);
  tap_.Active = false;
  EXPECT_EQ(Send(connections_[1], speech), speech);
  EXPECT_TRUE(window_.effects.empty());
  EXPECT_EQ(sessions_.Count(), 0u);
}

}  // namespace
}  // namespace velmor
