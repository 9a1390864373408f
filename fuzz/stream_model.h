#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decoding/packet_lengths.h"
#include "fuzz/fuzz_check.h"
#include "platform/color.h"
#include "platform/text_codec.h"
#include "tests/support/reference_decoder.h"

// The server-to-client side of one connection, worked out apart from the product by the
// plainest reading of its rules: login stage, bit-by-bit Huffman decoding, framing with no
// buffer limits, and the speech packet rules. It predicts exactly what the main window is
// asked for, and keeps every byte its packets are cut from, for checks of each effect.
namespace velmor::fuzzing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr int kClientPort = 2592;
inline constexpr char kTime[] = "12:34:56";
// Only this much of a block is decoded; the rest goes out as it came.
inline constexpr std::size_t kTapWindow = 100000;
// A Huffman code is at least two bits long, so one input byte decodes to at most four.
inline constexpr std::size_t kMostDecodedPerByte = 4;

inline TColor ColorOfHue(int hue) {
  return 0x00100000u + static_cast<TColor>(hue);
}

class StreamModel {
 public:
  // Takes the next block; returns it as the client must receive it. What the window is to
  // be asked for is added to Expected().
  Bytes Add(const Bytes& block) {
    const std::size_t n = std::min(block.size(), kTapWindow);
    const std::size_t block_start = login_.size();
    sent_ += n;
    Bytes out = block;
    if (n == 0 || after_redirect_) return out;
    if (game_) {
      Decode(block.data(), n);
      return out;
    }
    login_.insert(login_.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
    // The login answers, packet by packet, from where the last block left off.
    while (pos_ < login_.size()) {
      if (pos_ < packet_end_) {
        const std::size_t end = std::min(packet_end_, login_.size());
        for (std::size_t at = std::max(pos_, block_start); redirect_ && at < end; ++at) {
          const std::uint8_t local[6] = {127, 0, 0, 1, kClientPort >> 8, kClientPort & 0xFF};
          const std::size_t in_packet = at - (packet_end_ - 11);
          if (in_packet >= 1 && in_packet <= 6)
            out[at - block_start] = login_[at] = local[in_packet - 1];
        }
        Plain(login_.data() + pos_, end - pos_);
        pos_ = end;
        if (redirect_ && pos_ == packet_end_) {
          after_redirect_ = true;
          break;
        }
        continue;
      }
      // A packet starts at pos_: a login answer, or the game stream from here on.
      const Bytes start(login_.begin() + static_cast<std::ptrdiff_t>(pos_), login_.end());
      const std::uint8_t id = start[0];
      std::size_t length = 0;  // 0: no login answer
      if (id == 0xA8) {
        if (start.size() < 6) break;
        const std::size_t listed = start[1] * 256u + start[2];
        if (listed == 6 + 40 * (start[4] * 256u + start[5])) length = listed;
      } else if (id == 0x82) {
        if (pos_ == 0 && start.size() < 2) break;
        if (pos_ > 0 || start[1] <= 0x0F) length = 2;
      } else if (id == 0x8C && list_seen_) {
        length = 11;
      }
      if (length == 0) {
        game_ = true;
        Decode(start.data(), start.size());
        break;
      }
      list_seen_ = list_seen_ || id == 0xA8;
      redirect_ = id == 0x8C;
      packet_end_ = pos_ + length;
    }
    return out;
  }

  // Effects in the order the window must see them: "line <colour> <style> <text>",
  // "music <name>", "sound <name>".
  const std::vector<std::string>& Expected() const { return expected_; }

  // Whether the UTF-8 text is a stretch of the stream: as Windows-1252 bytes (ASCII speech
  // and every name), or as big-endian UTF-16 (Unicode speech; a U+FFFD, which stands for a
  // unit that is no character, may stand for anything).
  bool Carries(const std::string& text) const {
    const std::string narrow = Utf8ToWindows1252(text);
    if (Windows1252ToUtf8(narrow) == text && stream_.find(narrow) != std::string::npos) {
      return true;
    }
    std::string units;
    const auto stretch_found = [&] {
      const bool found = units.empty() || stream_.find(units) != std::string::npos;
      units.clear();
      return found;
    };
    for (const char16_t unit : Utf8ToUtf16(text)) {
      if (unit == u'\uFFFD') {
        if (!stretch_found()) return false;
        continue;
      }
      units += static_cast<char>(unit >> 8);
      units += static_cast<char>(unit & 0xFF);
    }
    return stretch_found();
  }
  std::size_t Size() const { return stream_.size(); }
  std::size_t Sent() const { return sent_; }

 private:
  // Game stream: decoded bit by bit, then framed.
  void Decode(const std::uint8_t* bytes, std::size_t n) {
    // Room for more than the bytes can decode to, so one call decodes all of them.
    decoded_.resize(std::max(decoded_.size(), n * kMostDecodedPerByte + 1));
    auto out_len = static_cast<std::int32_t>(decoded_.size());
    auto in_len = static_cast<std::int32_t>(n);
    decoder_.copy(decoded_.data(), bytes, out_len, in_len);
    FUZZ_CHECK(out_len >= 0 && static_cast<std::size_t>(out_len) < decoded_.size());
    Plain(decoded_.data(), static_cast<std::size_t>(out_len));
  }

  // Plain login bytes are framed as they stand, behind the plain packet they go on with.
  void Plain(const std::uint8_t* bytes, std::size_t n) {
    Record(bytes, n);
    pending_.append(reinterpret_cast<const char*>(bytes), n);
    Walk();
  }

  void Record(const std::uint8_t* bytes, std::size_t n) {
    stream_.append(reinterpret_cast<const char*>(bytes), n);
  }

  // Every whole packet of pending_, in order; an incomplete one stays.
  void Walk() {
    std::size_t pos = 0;
    while (pos < pending_.size()) {
      const std::size_t left = pending_.size() - pos;
      const auto* packet = reinterpret_cast<const std::uint8_t*>(pending_.data() + pos);
      std::size_t length = 1;  // an unknown id
      const std::int32_t listed = PacketLengths[packet[0]];
      if (listed > 0) length = static_cast<std::size_t>(listed);
      if (listed == -1) {
        if (left < 3) break;
        length = std::max<std::size_t>(1, packet[1] * 256u + packet[2]);
      }
      if (length > left) break;
      if (packet[0] == 0x1C) AsciiSpeech(pending_.substr(pos, length));
      if (packet[0] == 0xAE) UnicodeSpeech(pending_.substr(pos, length));
      pos += length;
    }
    pending_.erase(0, pos);
  }

  static std::string UpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

  // Header: type at 9, hue at 10-11, a 30-byte name field at 14, the text from 44; 8-bit
  // text is Windows-1252.
  void AsciiSpeech(const std::string& packet) {
    if (packet.size() < 44) return;
    Speech(packet.substr(14, 30), Windows1252ToUtf8(UpToNul(packet.substr(44))), packet[9],
           static_cast<std::uint8_t>(packet[10]) * 256 + static_cast<std::uint8_t>(packet[11]));
  }

  // As ASCII speech, with the name field at 18 and from 48 big-endian UTF-16 text, up to a
  // NUL unit or the end of what both the length field and the packet cover; U+FFFE and
  // U+FFFF, and surrogates without their other half, are U+FFFD.
  void UnicodeSpeech(const std::string& packet) {
    if (packet.size() < 48) return;
    const std::size_t declared =
        static_cast<std::uint8_t>(packet[1]) * 256u + static_cast<std::uint8_t>(packet[2]);
    const std::size_t end = std::min(declared, packet.size());
    std::u16string units;
    for (std::size_t at = 48; at + 2 <= end; at += 2) {
      const auto unit = static_cast<char16_t>(static_cast<std::uint8_t>(packet[at]) << 8 |
                                              static_cast<std::uint8_t>(packet[at + 1]));
      if (unit == 0) break;
      units += unit >= 0xFFFE ? u'\uFFFD' : unit;
    }
    Speech(packet.substr(18, 30), Utf16ToUtf8(units), packet[9],
           static_cast<std::uint8_t>(packet[10]) * 256 + static_cast<std::uint8_t>(packet[11]));
  }

  void Speech(const std::string& name_field, const std::string& text, char type, int hue) {
    const bool system = name_field.compare(0, 6, "System") == 0;
    if (system && text.compare(0, 8, "~~Music=") == 0) {
      expected_.push_back("music " + text.substr(8));
    } else if (system && text.compare(0, 8, "~~Sound=") == 0) {
      expected_.push_back("sound " + text.substr(8));
    } else if (system || type != 6) {
      expected_.push_back("line " + std::to_string(ColorOfHue(hue)) + (system ? " 1 " : " 0 ") +
                          kTime + " [" + Windows1252ToUtf8(UpToNul(name_field)) + "] " + text);
    }
  }

  // The login stage: every byte so far while it lasts, the first one not yet framed, and
  // the end of the answer it is in.
  Bytes login_;
  std::size_t pos_ = 0;
  std::size_t packet_end_ = 0;
  bool list_seen_ = false;
  bool redirect_ = false;
  bool after_redirect_ = false;  // nothing more is decoded
  bool game_ = false;
  testing::ReferenceDecoder decoder_;
  std::string pending_;  // bytes not yet framed
  std::string stream_;   // every byte framed since the connection began
  Bytes decoded_;        // the reference decoder's output area
  std::size_t sent_ = 0;
  std::vector<std::string> expected_;
};

}  // namespace velmor::fuzzing
