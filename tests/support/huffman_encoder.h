#pragma once

#include <cstdint>
#include <vector>

#include "decoding/uo_huffman.h"

namespace velmor::testing {

// Compresses as the game server does: each stretch is the codes of its bytes, the end
// symbol, and zero bits up to the next byte boundary.
class HuffmanEncoder {
 public:
  void PutSymbol(std::int32_t symbol) {
    const HuffmanCode& code = kHuffmanCodes[static_cast<std::size_t>(symbol)];
    for (std::int32_t bit = code.bits - 1; bit >= 0; --bit) PutBit((code.code >> bit) & 1);
  }
  void Put(const std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t byte : bytes) PutSymbol(byte);
  }
  // Closes the stretch: end symbol and padding.
  void End() {
    PutSymbol(kEndSymbol);
    while (bit_count_ != 0) PutBit(0);
  }
  // The whole bytes written so far (a stretch not yet ended keeps its last bits).
  std::vector<std::uint8_t> Take() {
    std::vector<std::uint8_t> taken;
    taken.swap(bytes_);
    return taken;
  }

 private:
  void PutBit(std::int32_t bit) {
    current_ = static_cast<std::uint8_t>(current_ << 1 | bit);
    if (++bit_count_ == 8) {
      bytes_.push_back(current_);
      current_ = 0;
      bit_count_ = 0;
    }
  }

  std::vector<std::uint8_t> bytes_;
  std::uint8_t current_ = 0;
  int bit_count_ = 0;
};

// One compressed stretch holding `plain`.
inline std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& plain) {
  HuffmanEncoder encoder;
  encoder.Put(plain);
  encoder.End();
  return encoder.Take();
}

}  // namespace velmor::testing
