#pragma once

#include <cstdint>

#include "decoding/uo_huffman.h"

namespace velmor::testing {

// The decoder at its plainest: one tree step per bit, nothing else. It keeps the same
// state and makes the same choice on a full output area (step back over the last bit)
// as DecompressingCopier, which must agree with it in every case.
class ReferenceDecoder {
 public:
  void copy(std::uint8_t* out, const std::uint8_t* in, std::int32_t& out_len,
            std::int32_t& in_len) {
    DecompressingCopier::State& s = state;
    std::int32_t written = 0;
    std::int32_t taken = 0;
    for (;;) {
      if (s.bit_num == 8) {
        if (taken == in_len) break;
        s.in_byte = in[taken++];
        s.bit_num = 0;
        s.mask = 0x80;
      }
      const std::int32_t parent = s.tree_pos;
      const std::int32_t bit = s.mask;
      const HuffmanNode& node = kHuffmanTree[static_cast<std::size_t>(parent)];
      s.tree_pos = (s.in_byte & s.mask) != 0 ? node.one : node.zero;
      s.mask >>= 1;
      ++s.bit_num;
      if (s.tree_pos > 0) continue;
      if (s.tree_pos == -kEndSymbol) {
        s.bit_num = 8;
        s.tree_pos = 0;
        continue;
      }
      if (written == out_len) {
        s.tree_pos = parent;
        s.mask = bit;
        --s.bit_num;
        in_len = taken;
        return;
      }
      out[written++] = static_cast<std::uint8_t>(-s.tree_pos);
      s.tree_pos = 0;
    }
    out_len = written;
  }

  DecompressingCopier::State state;
};

}  // namespace velmor::testing
