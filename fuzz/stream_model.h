#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decoding/packet_lengths.h"
#include "fuzz/fuzz_check.h"
#include "platform/color.h"
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
    sent_ += n;
    Bytes out = block;
    if (n == 0) return out;
    // The bytes to judge: a server list's start held back from earlier blocks, then these.
    Bytes input = held_;
    held_.clear();
    input.insert(input.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
    if (login_stage_) {
      bool plain = false;
      if (!pending_.empty()) {
        plain = true;  // a plain packet goes on
      } else if (input.size() == n && block[0] == 0x8C) {
        plain = n <= 11;  // a redirect is the last thing in its block
        redirect_seen_ = 0;
        in_redirect_ = plain;
      } else if (input[0] == 0xA8) {
        if (input.size() < 6) {
          held_ = input;
          return out;
        }
        plain = input[1] * 256u + input[2] == 6 + 40 * (input[4] * 256u + input[5]);
      }
      if (plain) {
        // The redirect's bytes 1 to 6, wherever they fall.
        const std::uint8_t local[6] = {127, 0, 0, 1, kClientPort >> 8, kClientPort & 0xFF};
        for (std::size_t i = 0; in_redirect_ && i < n; ++i) {
          const std::size_t at = redirect_seen_ + i;
          if (at >= 1 && at <= 6) out[i] = input[input.size() - n + i] = local[at - 1];
        }
        if (in_redirect_) redirect_seen_ += n;
        if (redirect_seen_ >= 11) in_redirect_ = false;
        Plain(input.data(), input.size());
        return out;
      }
      login_stage_ = false;
    }
    // Room for more than the block can decode to, so one call decodes all of it.
    decoded_.resize(std::max(decoded_.size(), input.size() * kMostDecodedPerByte + 1));
    auto out_len = static_cast<std::int32_t>(decoded_.size());
    auto in_len = static_cast<std::int32_t>(input.size());
    decoder_.copy(decoded_.data(), input.data(), out_len, in_len);
    FUZZ_CHECK(out_len >= 0 && static_cast<std::size_t>(out_len) < decoded_.size());
    Record(decoded_.data(), static_cast<std::size_t>(out_len));
    pending_.append(reinterpret_cast<const char*>(decoded_.data()),
                    static_cast<std::size_t>(out_len));
    Walk();
    return out;
  }

  // Effects in the order the window must see them: "line <colour> <style> <text>",
  // "music <name>", "sound <name>".
  const std::vector<std::string>& Expected() const { return expected_; }

  // Whether `text` is a stretch of the stream, or of every second byte of it.
  bool Carries(const std::string& text) const {
    if (stream_.find(text) != std::string::npos) return true;
    for (; split_ < stream_.size(); ++split_) (split_ % 2 == 0 ? even_ : odd_) += stream_[split_];
    return even_.find(text) != std::string::npos || odd_.find(text) != std::string::npos;
  }
  std::size_t Size() const { return stream_.size(); }
  std::size_t Sent() const { return sent_; }

 private:
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

  // Header: type at 9, hue at 10-11, a 30-byte name field at 14, the text from 44.
  void AsciiSpeech(const std::string& packet) {
    if (packet.size() < 44) return;
    Speech(packet.substr(14, 30), UpToNul(packet.substr(44)), packet[9],
           static_cast<std::uint8_t>(packet[10]) * 256 + static_cast<std::uint8_t>(packet[11]));
  }

  // As ASCII speech, with the name field at 18 and from 48 big-endian UTF-16 text, narrowed
  // to each unit's low byte, ending at a unit whose low byte is 0 or at the end of what both
  // the length field and the packet cover.
  void UnicodeSpeech(const std::string& packet) {
    if (packet.size() < 48) return;
    const std::size_t declared =
        static_cast<std::uint8_t>(packet[1]) * 256u + static_cast<std::uint8_t>(packet[2]);
    const std::size_t end = std::min(declared, packet.size());
    std::string text;
    for (std::size_t at = 48; at + 2 <= end && packet[at + 1] != '\0'; at += 2) {
      text += packet[at + 1];
    }
    Speech(packet.substr(18, 30), text, packet[9],
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
                          kTime + " [" + UpToNul(name_field) + "] " + text);
    }
  }

  bool login_stage_ = true;
  Bytes held_;                     // a server list's first bytes, too few to judge
  bool in_redirect_ = false;       // a redirect cut by its block's end goes on
  std::size_t redirect_seen_ = 0;  // of its bytes
  testing::ReferenceDecoder decoder_;
  std::string pending_;  // bytes not yet framed
  std::string stream_;   // every byte framed since the connection began
  Bytes decoded_;        // the reference decoder's output area
  // The bytes at even and odd positions of stream_[0, split_), made when first needed.
  mutable std::string even_;
  mutable std::string odd_;
  mutable std::size_t split_ = 0;
  std::size_t sent_ = 0;
  std::vector<std::string> expected_;
};

}  // namespace velmor::fuzzing
