#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/huffman_encoder.h"
#include "tests/support/speech_packets.h"

// Server-to-client game traffic for the relay and resource benchmarks: the packet mix of a
// busy spot (mobiles moving and fighting, items, status, sounds, speech), every packet
// compressed as a stretch of its own as the game server sends it. A stream is made of whole
// stretches, so it can be sent again and again end to end and still decodes cleanly.
namespace velmor::bench {

using Bytes = std::vector<std::uint8_t>;

// Builds a packet field by field, big-endian, as the server lays them out.
class PacketBuilder {
 public:
  PacketBuilder(std::uint8_t id, bool variable) : variable_(variable) {
    bytes_.push_back(id);
    if (variable) Put(0, 2);
  }
  PacketBuilder& Put(std::uint32_t value, int size) {
    for (int i = size - 1; i >= 0; --i) bytes_.push_back(static_cast<std::uint8_t>(value >> 8 * i));
    return *this;
  }
  PacketBuilder& Text(const std::string& text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      bytes_.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    }
    return *this;
  }
  Bytes Take() {
    if (variable_) {
      bytes_[1] = static_cast<std::uint8_t>(bytes_.size() >> 8);
      bytes_[2] = static_cast<std::uint8_t>(bytes_.size());
    }
    return std::move(bytes_);
  }

 private:
  bool variable_;
  Bytes bytes_;
};

// Plain packets of a busy spot; `speech_percent` of them are speech (ASCII and Unicode).
class GamePackets {
 public:
  GamePackets(std::uint32_t seed, int speech_percent)
      : random_(seed), speech_percent_(speech_percent) {}

  bool LastWasSpeech() const { return last_was_speech_; }
  // The length of the log line the last speech packet makes: "HH:MM:SS [name] text".
  std::size_t LastLineBytes() const { return last_line_bytes_; }

  Bytes Next() {
    last_was_speech_ = Below(100) < static_cast<std::uint32_t>(speech_percent_);
    return last_was_speech_ ? Speech() : Other();
  }

 private:
  std::uint32_t Below(std::uint32_t limit) { return static_cast<std::uint32_t>(random_() % limit); }

  std::string Words(int count) {
    static const char* const kWords[] = {"Hallo",
                                         "wer",
                                         "kommt",
                                         "mit",
                                         "nach",
                                         "Britain",
                                         "ich",
                                         "habe",
                                         "Gold",
                                         "Schwert",
                                         "danke",
                                         "verkaufe",
                                         "Bank",
                                         "heute",
                                         "Drache",
                                         "gr\xFC\xDF"
                                         "e"};
    std::string text;
    for (int i = 0; i < count; ++i) {
      if (i > 0) text += ' ';
      text += kWords[Below(std::size(kWords))];
    }
    return text;
  }

  Bytes Speech() {
    const std::string speaker = "Spieler" + std::to_string(Below(30));
    const std::string text = Words(2 + static_cast<int>(Below(10)));
    last_line_bytes_ = 9 + speaker.size() + 3 + text.size();
    if (Below(2) == 0) return testing::AsciiSpeech(speaker, text, 0, 0x3B2);
    std::u16string wide;
    for (char c : text) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    return testing::UnicodeSpeech(speaker, wide, 0, 0x3B2);
  }

  Bytes Other() {
    const std::uint32_t mobile = 0x00010000 + Below(4000);
    const std::uint32_t x = 1300 + Below(200);
    const std::uint32_t y = 1600 + Below(200);
    switch (Below(10)) {
      case 0:
      case 1:
      case 2:
      case 3:  // a mobile moves
        return PacketBuilder(0x77, false)
            .Put(mobile, 4)
            .Put(0x190 + Below(2), 2)
            .Put(x, 2)
            .Put(y, 2)
            .Put(Below(20), 1)
            .Put(Below(8), 1)
            .Put(Below(3) == 0 ? 0x83EA : 0, 2)
            .Put(0, 1)
            .Put(1 + Below(6), 1)
            .Take();
      case 4:  // hit points
        return PacketBuilder(0xA1, false).Put(mobile, 4).Put(100, 2).Put(Below(101), 2).Take();
      case 5:  // a sound
        return PacketBuilder(0x54, false)
            .Put(1, 1)
            .Put(0x23 + Below(40), 2)
            .Put(0, 2)
            .Put(x, 2)
            .Put(y, 2)
            .Put(0, 2)
            .Take();
      case 6:  // an animation
        return PacketBuilder(0x6E, false)
            .Put(mobile, 4)
            .Put(Below(30), 2)
            .Put(5, 2)
            .Put(1, 2)
            .Put(0, 3)
            .Take();
      case 7: {  // a mobile comes into view with its equipment
        PacketBuilder packet(0x78, true);
        packet.Put(mobile, 4).Put(0x190, 2).Put(x, 2).Put(y, 2).Put(0, 1).Put(Below(8), 1);
        packet.Put(0x83EA, 2).Put(0, 1).Put(1, 1);
        for (std::uint32_t item = Below(8); item > 0; --item) {
          packet.Put(0x40000000 + Below(100000), 4)
              .Put(0x1500 + Below(0x200), 2)
              .Put(1 + Below(24), 1)
              .Put(Below(2) == 0 ? 0 : Below(1000), 2);
        }
        return packet.Put(0, 4).Take();
      }
      case 8:  // an item on the ground
        return PacketBuilder(0x1A, true)
            .Put(0x40000000 + Below(100000), 4)
            .Put(0xEED, 2)
            .Put(1 + Below(500), 2)
            .Put(x, 2)
            .Put(y, 2)
            .Put(0, 1)
            .Take();
      default:  // status
        return PacketBuilder(0x11, true)
            .Put(mobile, 4)
            .Text("Spieler" + std::to_string(Below(30)), 30)
            .Put(Below(100), 2)
            .Put(100, 2)
            .Put(0, 2)
            .Put(Below(2), 1)
            .Put(60 + Below(40), 2)
            .Put(60 + Below(40), 2)
            .Put(60 + Below(40), 2)
            .Put(Below(100), 2)
            .Put(Below(5000), 4)
            .Put(Below(60), 2)
            .Put(400, 2)
            .Take();
    }
  }

  std::mt19937 random_;
  int speech_percent_;
  bool last_was_speech_ = false;
  std::size_t last_line_bytes_ = 0;
};

struct CompressedStream {
  Bytes bytes;
  std::int64_t packets = 0;
  std::int64_t speech_packets = 0;  // each becomes one log line
  std::int64_t line_bytes = 0;      // the text of those lines
  std::int64_t plain_bytes = 0;     // before compression
};

// At least `size` bytes of compressed stream, one stretch per packet. The first byte is
// never a login-stage packet id (0x8C, 0xA8), so the relay's tap takes it as game stream.
inline CompressedStream MakeCompressedStream(std::size_t size, std::uint32_t seed,
                                             int speech_percent) {
  GamePackets packets(seed, speech_percent);
  testing::HuffmanEncoder encoder;
  CompressedStream stream;
  while (stream.bytes.size() < size) {
    const Bytes packet = packets.Next();
    encoder.Put(packet);
    encoder.End();
    const Bytes stretch = encoder.Take();
    if (stream.bytes.empty() && (stretch[0] == 0x8C || stretch[0] == 0xA8)) continue;
    stream.bytes.insert(stream.bytes.end(), stretch.begin(), stretch.end());
    stream.plain_bytes += static_cast<std::int64_t>(packet.size());
    ++stream.packets;
    stream.speech_packets += packets.LastWasSpeech();
    if (packets.LastWasSpeech())
      stream.line_bytes += static_cast<std::int64_t>(packets.LastLineBytes());
  }
  return stream;
}

// Hands out a stream from where it left off, over and over, `size` bytes at a time.
class StreamCursor {
 public:
  explicit StreamCursor(const Bytes& stream) : stream_(stream) {}
  // The next `size` bytes (at most the stream's length), valid until the next call.
  std::pair<const std::uint8_t*, std::size_t> Next(std::size_t size) {
    if (position_ == stream_.size()) position_ = 0;
    if (position_ + size <= stream_.size()) {
      const std::uint8_t* data = stream_.data() + position_;
      position_ += size;
      return {data, size};
    }
    // Across the end: the stream is whole stretches, so its start follows its end.
    wrapped_.assign(stream_.begin() + static_cast<std::ptrdiff_t>(position_), stream_.end());
    position_ = size - wrapped_.size();
    wrapped_.insert(wrapped_.end(), stream_.begin(),
                    stream_.begin() + static_cast<std::ptrdiff_t>(position_));
    return {wrapped_.data(), wrapped_.size()};
  }

 private:
  const Bytes& stream_;
  std::size_t position_ = 0;
  Bytes wrapped_;
};

}  // namespace velmor::bench
