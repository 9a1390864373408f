#include "decoding/packet_framer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "speech/speech_packets.h"
#include "tests/fakes/recording_speech_window.h"
#include "tests/support/huffman_encoder.h"
#include "tests/support/speech_packets.h"

namespace velmor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::AsciiSpeech;
using testing::Compress;
using testing::Concat;
using testing::FixedPacket;
using testing::Slice;
using testing::UnicodeSpeech;
using Window = testing::RecordingSpeechWindow;
using Effects = std::vector<Window::Effect>;
using Kind = PacketFramer::BlockKind;

class PacketFramerTest : public ::testing::Test {
 protected:
  void Feed(const Bytes& block, Kind kind = Kind::kCompressed) {
    framer_.ProcessChunk(sink_, block.data(), static_cast<std::int32_t>(block.size()), kind);
  }
  // The plain bytes, compressed as one stretch of the server's.
  void FeedPlain(const Bytes& plain) { Feed(Compress(plain)); }

  PacketFramer framer_;
  Window window_;
  SpeechPackets sink_{window_};
};

const Bytes kGreeting = AsciiSpeech("Aldric", "Sei gegr\xFC\xDFt!");  // 44 + 13 + 1 bytes
const Window::Effect kGreetingLine = Window::Line("12:34:56 [Aldric] Sei gegr\u00FC\u00DFt!", 0x22);
const Bytes kReply = UnicodeSpeech("Bryn", u"Danke");
const Window::Effect kReplyLine = Window::Line("12:34:56 [Bryn] Danke", 0x22);

TEST_F(PacketFramerTest, BlockHoldingOneSpeechPacket) {
  FeedPlain(kGreeting);
  EXPECT_EQ(window_.effects, Effects{kGreetingLine});
  EXPECT_EQ(framer_.CarryLength(), 0);
}

TEST_F(PacketFramerTest, PacketSplitOverTwoBlocksIsHandedOverOnceWhole) {
  const Bytes packet = AsciiSpeech("Aldric", "fifteen letters");
  ASSERT_EQ(packet.size(), 60u);
  FeedPlain(Slice(packet, 0, 20));
  EXPECT_EQ(framer_.CarryLength(), 20);
  EXPECT_TRUE(window_.effects.empty());
  FeedPlain(Concat({Slice(packet, 20, 60), kReply}));
  EXPECT_EQ(window_.effects,
            (Effects{Window::Line("12:34:56 [Aldric] fifteen letters", 0x22), kReplyLine}));
  EXPECT_EQ(framer_.CarryLength(), 0);
}

TEST_F(PacketFramerTest, PacketSplitOverThreeBlocks) {
  FeedPlain(Slice(kGreeting, 0, 2));
  FeedPlain(Slice(kGreeting, 2, 50));
  EXPECT_TRUE(window_.effects.empty());
  EXPECT_EQ(framer_.CarryLength(), 50);
  FeedPlain(Slice(kGreeting, 50, kGreeting.size()));
  EXPECT_EQ(window_.effects, Effects{kGreetingLine});
}

TEST_F(PacketFramerTest, FrameEndingInAnIdByteOrIdAndOneLengthByteIsCarried) {
  FeedPlain(Concat({FixedPacket(0x77, 17), Slice(kGreeting, 0, 1)}));
  EXPECT_EQ(framer_.CarryLength(), 1);
  FeedPlain(Slice(kGreeting, 1, 2));
  EXPECT_EQ(framer_.CarryLength(), 2);
  EXPECT_TRUE(window_.effects.empty());
  FeedPlain(Slice(kGreeting, 2, kGreeting.size()));
  EXPECT_EQ(window_.effects, Effects{kGreetingLine});
  EXPECT_EQ(framer_.CarryLength(), 0);
}

TEST_F(PacketFramerTest, UnknownIdsAreSteppedOverOneByteEach) {
  // 0A and 0B are unknown; the 5-byte 0x1C packet is too short to say anything, and the
  // greeting right behind it is only found if the walk counted all of this right.
  FeedPlain(Concat({{0x0A, 0x0B, 0x1C, 0x00, 0x05, 0x41, 0x42}, kGreeting}));
  EXPECT_EQ(window_.effects, Effects{kGreetingLine});
  EXPECT_EQ(framer_.CarryLength(), 0);
}

TEST_F(PacketFramerTest, ZeroLengthFieldIsSteppedOverAsOneByte) {
  // After the lone 1C byte, the walk reads 00 as a 104-byte packet.
  FeedPlain(Concat({{0x1C}, FixedPacket(0x00, 104, 0x00), kGreeting}));
  EXPECT_EQ(window_.effects, Effects{kGreetingLine});
}

TEST_F(PacketFramerTest, PlainBlocksAreWalkedUndecodedAcrossTheirCuts) {
  Feed(Slice(kGreeting, 0, 30), Kind::kPlain);
  ASSERT_EQ(framer_.CarryLength(), 30);
  Feed(Concat({Slice(kGreeting, 30, kGreeting.size()), Slice(kReply, 0, 10)}), Kind::kPlain);
  EXPECT_EQ(window_.effects, Effects{kGreetingLine});
  EXPECT_EQ(framer_.CarryLength(), 10);
}

TEST_F(PacketFramerTest, BlockDecodingToMoreThanTheFrameLosesNothing) {
  // 2700 packets of 104 zero bytes: 280800 bytes from 70200 compressed ones.
  const Bytes zeros(104 * 2700, 0x00);
  FeedPlain(Slice(kGreeting, 0, 10));
  FeedPlain(Concat({Slice(kGreeting, 10, kGreeting.size()), zeros, kReply}));
  EXPECT_EQ(window_.effects, (Effects{kGreetingLine, kReplyLine}));
  EXPECT_EQ(framer_.CarryLength(), 0);
}

}  // namespace
}  // namespace velmor
