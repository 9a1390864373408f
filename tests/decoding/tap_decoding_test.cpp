#include "relay/log_event.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "decoding/decoding_sessions.h"
#include "speech/speech_packets.h"
#include "tests/fakes/recording_speech_window.h"
#include "tests/support/fake_connections.h"
#include "tests/support/huffman_encoder.h"
#include "tests/support/speech_packets.h"

namespace velmor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Window = testing::RecordingSpeechWindow;
using Effects = std::vector<Window::Effect>;

const Bytes kRedirect = {0x8C, 0xC0, 0xA8, 0x00, 0x07, 0x0A, 0x21, 0x11, 0x22, 0x33, 0x44};
const Bytes kRewritten = {0x8C, 0x7F, 0x00, 0x00, 0x01, 0x0A, 0x20, 0x11, 0x22, 0x33, 0x44};

class TapWithDecodingTest : public ::testing::Test {
 protected:
  // The tap wired to the decoding as the main window wires it.
  TapWithDecodingTest() {
    tap_.OnSend = [this](TIdConnectionIntercept&, TIdTCPConnection& connection,
                         TMemoryStream& block) {
      sessions_.HandleServerBlock(ConnectionIdOf(connection), block.data, 2592, sink_);
    };
    tap_.OnDisconnect = [this](TIdConnectionIntercept&, TIdTCPConnection& connection) {
      sessions_.Forget(ConnectionIdOf(connection));
    };
  }
  Bytes Send(TIdTCPConnection& connection, const Bytes& bytes) {
    TMemoryStream block{bytes, 0};
    tap_.Send(connection, block);
    return block.data;
  }

  TIdLogEvent tap_;
  testing::FakeConnections connections_;
  DecodingSessions sessions_;
  Window window_;
  SpeechPackets sink_{window_};
};

TEST_F(TapWithDecodingTest, NothingIsRewrittenOrDecodedBeforeStartOrAfterStop) {
  const Bytes speech = testing::Compress(testing::AsciiSpeech("Aldric", "Hallo"));
  const Bytes no_servers = {0xA8, 0, 6, 0x5D, 0, 0};
  EXPECT_EQ(Send(connections_[0], no_servers), no_servers);
  EXPECT_EQ(Send(connections_[0], kRedirect), kRedirect);
  tap_.Active = true;
  Send(connections_[2], no_servers);
  EXPECT_EQ(Send(connections_[2], kRedirect), kRewritten);
  tap_.Disconnect(connections_[2]);
  tap_.Active = false;
  EXPECT_EQ(Send(connections_[1], speech), speech);
  EXPECT_TRUE(window_.effects.empty());
  EXPECT_EQ(sessions_.Count(), 0u);
}

}  // namespace
}  // namespace velmor
