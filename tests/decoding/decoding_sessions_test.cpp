#include "decoding/decoding_sessions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
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
using testing::HuffmanEncoder;
using testing::Slice;
using Window = testing::RecordingSpeechWindow;
using Effects = std::vector<Window::Effect>;

constexpr int kClientPort = 2592;

Bytes ServerList(int servers = 1) {
  Bytes packet(6 + 40 * static_cast<std::size_t>(servers), 0x41);
  packet[0] = 0xA8;
  packet[1] = static_cast<std::uint8_t>(packet.size() >> 8);
  packet[2] = static_cast<std::uint8_t>(packet.size());
  packet[4] = 0;
  packet[5] = static_cast<std::uint8_t>(servers);
  return packet;
}

const Bytes kRedirect = {0x8C, 0xC0, 0xA8, 0x00, 0x07, 0x0A, 0x21, 0x11, 0x22, 0x33, 0x44};

// A cliloc message (0xC1): its code is 1000110001, so a stretch it opens starts with 0x8C.
Bytes Cliloc() {
  Bytes packet = FixedPacket(0xC1, 50, 0x00);
  packet[2] = 50;
  return packet;
}

// Speech of `speaker` numbered 0..count-1, as one compressed stream with a stretch per
// packet, like a server's sends.
Bytes SpeechStream(const std::string& speaker, int count) {
  HuffmanEncoder encoder;
  for (int i = 0; i < count; ++i) {
    encoder.Put(Concat({FixedPacket(0x77, 17), AsciiSpeech(speaker, "Satz " + std::to_string(i))}));
    encoder.End();
  }
  return encoder.Take();
}

Effects SpeechLines(const std::string& speaker, int count) {
  Effects lines;
  for (int i = 0; i < count; ++i) {
    lines.push_back(Window::Line("12:34:56 [" + speaker + "] Satz " + std::to_string(i), 0x22));
  }
  return lines;
}

class DecodingSessionsTest : public ::testing::Test {
 protected:
  // Sends one block through `connection`; returns what goes out to the client.
  Bytes Send(ConnectionId connection, const Bytes& bytes, Window& window) {
    Bytes block = bytes;
    SpeechPackets sink(window);
    sessions_.HandleServerBlock(connection, block, kClientPort, sink);
    return block;
  }
  Bytes Send(ConnectionId connection, const Bytes& bytes) {
    return Send(connection, bytes, window_);
  }
  // Sends `bytes` as blocks cut at `cuts`; returns all that goes out, in order.
  Bytes SendCut(ConnectionId connection, const Bytes& bytes, std::vector<std::size_t> cuts) {
    cuts.push_back(bytes.size());
    Bytes out;
    for (std::size_t from = 0; std::size_t to : cuts) {
      const Bytes block = Send(connection, Slice(bytes, from, to));
      out.insert(out.end(), block.begin(), block.end());
      from = to;
    }
    return out;
  }

  DecodingSessions sessions_;
  Window window_;
};

TEST_F(DecodingSessionsTest, LoginStageIsRewrittenAndFramedPlainThenTheGameStreamDecoded) {
  const ConnectionId login{0};
  EXPECT_EQ(Send(login, ServerList()), ServerList());
  EXPECT_EQ(Send(login, kRedirect),
            (Bytes{0x8C, 0x7F, 0x00, 0x00, 0x01, 0x0A, 0x20, 0x11, 0x22, 0x33, 0x44}));
  EXPECT_TRUE(window_.effects.empty());
  sessions_.Forget(login);

  const ConnectionId game{1};
  const Bytes stream = SpeechStream("Aldric", 3);
  EXPECT_EQ(Send(game, Slice(stream, 0, 40)), Slice(stream, 0, 40));
  EXPECT_EQ(Send(game, Slice(stream, 40, stream.size())), Slice(stream, 40, stream.size()));
  EXPECT_EQ(window_.effects, SpeechLines("Aldric", 3));
}

TEST_F(DecodingSessionsTest, LoginAnswersCutAnywhereAreFollowedAndTheRedirectRewrittenInPlace) {
  const Bytes rewritten = {0x8C, 0x7F, 0x00, 0x00, 0x01, 0x0A, 0x20, 0x11, 0x22, 0x33, 0x44};
  struct Cuts {
    std::vector<std::size_t> list;
    std::vector<std::size_t> redirect;
  };
  // 126-byte list as 60 + 66 and the redirect as 3 + 8 (a block of just 8C a1 a2 first);
  // a list header in three blocks; the address in one block and the port in the next.
  std::uintptr_t connection = 0;
  for (const Cuts& cuts : {Cuts{{60}, {3}}, Cuts{{2, 4}, {1, 2}}, Cuts{{125}, {5}}}) {
    const ConnectionId login{connection++};
    EXPECT_EQ(SendCut(login, ServerList(3), cuts.list), ServerList(3));
    EXPECT_EQ(SendCut(login, kRedirect, cuts.redirect), rewritten) << cuts.redirect.front();
  }
  // A login server that sends the list and the redirect together, cut anywhere.
  const Bytes answers = Concat({ServerList(2), kRedirect});
  const Bytes expected = Concat({ServerList(2), rewritten});
  for (std::size_t cut = 0; cut < answers.size(); ++cut) {
    EXPECT_EQ(SendCut(ConnectionId{connection++}, answers, {cut}), expected) << "cut at " << cut;
  }
  // Bytes after the redirect, a second redirect among them, go out as they came.
  const ConnectionId login{connection++};
  Send(login, ServerList());
  EXPECT_EQ(Send(login, Concat({kRedirect, {1, 2, 3}, kRedirect})),
            Concat({rewritten, {1, 2, 3}, kRedirect}));
  EXPECT_TRUE(window_.effects.empty());
}

// A game stream is no login answer whatever its first bytes: a redirect's id among them is
// never taken for one, however short the first read.
TEST_F(DecodingSessionsTest, GameBlocksStartingWith8CStayByteExactAndAreDecoded) {
  const Bytes first = Compress(Concat({Cliloc(), AsciiSpeech("Aldric", "eins")}));
  ASSERT_EQ(first[0], 0x8C);
  std::uintptr_t connection = 10;
  for (std::size_t first_read : {1, 5, 11}) {
    EXPECT_EQ(SendCut(ConnectionId{connection++}, first, {first_read}), first) << first_read;
  }
  EXPECT_EQ(window_.effects, Effects(3, Window::Line("12:34:56 [Aldric] eins", 0x22)));
  window_.effects.clear();
  const ConnectionId game{0};
  EXPECT_EQ(Send(game, first), first);
  // A later block of a redirect's size that starts with 0x8C.
  const Bytes second = Compress(Concat({Cliloc(), AsciiSpeech("Aldric", "zwei")}));
  ASSERT_EQ(second[0], 0x8C);
  EXPECT_EQ(Send(game, Slice(second, 0, 11)), Slice(second, 0, 11));
  EXPECT_EQ(Send(game, Slice(second, 11, second.size())), Slice(second, 11, second.size()));
  EXPECT_EQ(window_.effects, (Effects{Window::Line("12:34:56 [Aldric] eins", 0x22),
                                      Window::Line("12:34:56 [Aldric] zwei", 0x22)}));
}

TEST_F(DecodingSessionsTest, GameBlockStartingWithA8StaysByteExactAndIsDecoded) {
  const ConnectionId game{0};
  // An unknown 0x0E, then a 104-byte packet of zeros: the stretch starts with 0xA8.
  const Bytes block =
      Compress(Concat({{0x0E}, FixedPacket(0x00, 104, 0x00), AsciiSpeech("Aldric", "drei")}));
  ASSERT_EQ(block[0], 0xA8);
  EXPECT_EQ(Send(game, block), block);
  // Also when its first block is too short to show that it is no server list.
  EXPECT_EQ(SendCut(ConnectionId{1}, block, {3}), block);
  EXPECT_EQ(window_.effects, Effects(2, Window::Line("12:34:56 [Aldric] drei", 0x22)));
}

TEST_F(DecodingSessionsTest, InterleavedConnectionsEachGetTheirOwnCompleteLog) {
  const Bytes a = SpeechStream("Aldric", 6);
  const Bytes b = SpeechStream("Bryn", 6);
  Window window_a;
  Window window_b;
  // Blocks of 13 and 7 bytes cut both streams in the middle of codes and packets.
  for (std::size_t pa = 0, pb = 0; pa < a.size() || pb < b.size(); pa += 13, pb += 7) {
    if (pa < a.size()) Send(ConnectionId{0}, Slice(a, pa, std::min(a.size(), pa + 13)), window_a);
    if (pb < b.size()) Send(ConnectionId{1}, Slice(b, pb, std::min(b.size(), pb + 7)), window_b);
  }
  EXPECT_EQ(window_a.effects, SpeechLines("Aldric", 6));
  EXPECT_EQ(window_b.effects, SpeechLines("Bryn", 6));
}

TEST_F(DecodingSessionsTest, ConnectionEndingMidCodeDoesNotSpoilTheNext) {
  const Bytes stream = SpeechStream("Aldric", 2);
  const ConnectionId connection{0};
  Send(connection, Slice(stream, 0, stream.size() - 5));  // cut in the middle of a code
  ASSERT_EQ(window_.effects, SpeechLines("Aldric", 1));
  sessions_.Forget(connection);
  EXPECT_EQ(sessions_.Count(), 0u);
  // A new connection that happens to reuse the old one's identity starts afresh.
  window_.effects.clear();
  Send(connection, SpeechStream("Bryn", 2));
  EXPECT_EQ(window_.effects, SpeechLines("Bryn", 2));
}

TEST_F(DecodingSessionsTest, OnlyTheTapWindowOfAHugeBlockIsDecodedAndAllOfItGoesOut) {
  const ConnectionId game{0};
  HuffmanEncoder encoder;
  encoder.Put(AsciiSpeech("Aldric", "vorher"));
  encoder.Put(Bytes(104 * 4000, 0x00));  // 104000 compressed bytes
  encoder.Put(AsciiSpeech("Aldric", "danach"));
  encoder.End();
  const Bytes block = encoder.Take();
  EXPECT_EQ(Send(game, block), block);
  EXPECT_EQ(window_.effects, Effects{Window::Line("12:34:56 [Aldric] vorher", 0x22)});
}

TEST_F(DecodingSessionsTest, ConnectionsDecodeConcurrently) {
  const Bytes a = SpeechStream("Aldric", 200);
  const Bytes b = SpeechStream("Bryn", 200);
  Window window_a;
  Window window_b;
  auto pump = [this](ConnectionId connection, const Bytes& stream, Window& window) {
    for (std::size_t pos = 0; pos < stream.size(); pos += 11) {
      Send(connection, Slice(stream, pos, std::min(stream.size(), pos + 11)), window);
    }
    sessions_.Forget(connection);
  };
  std::thread first(pump, ConnectionId{0}, std::cref(a), std::ref(window_a));
  std::thread second(pump, ConnectionId{1}, std::cref(b), std::ref(window_b));
  first.join();
  second.join();
  EXPECT_EQ(window_a.effects, SpeechLines("Aldric", 200));
  EXPECT_EQ(window_b.effects, SpeechLines("Bryn", 200));
  EXPECT_EQ(sessions_.Count(), 0u);
}

}  // namespace
}  // namespace velmor
