#include "decoding/uo_huffman.h"

#include <algorithm>

namespace velmor {
namespace {

// Four bits walked from one node at a time: a code is at least two bits long, so four
// bits complete at most two bytes. Packed into 32 bits to keep the table in 16 KiB:
//   bits 0-7   first completed byte      bits 8-15  second completed byte
//   bits 16-23 node after the four bits  bits 24-25 count of completed bytes
//   bits 26-28 bits up to and including an end symbol, 0 when none came
// After an end symbol the walk stops at the root: the rest of the input byte is padding.
using NibbleStep = std::uint32_t;
using NibbleTable = std::array<std::array<NibbleStep, 16>, 256>;

constexpr NibbleTable BuildNibbleTable() {
  NibbleTable table{};
  for (std::int32_t start = 0; start < 256; ++start) {
    for (std::uint32_t nibble = 0; nibble < 16; ++nibble) {
      std::int32_t node = start;
      std::uint32_t bytes[2] = {0, 0};
      std::uint32_t count = 0;
      std::uint32_t end_bits = 0;
      for (std::uint32_t bit = 0; bit < 4; ++bit) {
        const HuffmanNode& here = kHuffmanTree[node];
        node = (nibble & (0x8u >> bit)) != 0 ? here.one : here.zero;
        if (node > 0) continue;
        if (node == -kEndSymbol) {
          node = 0;
          end_bits = bit + 1;
          break;
        }
        bytes[count++] = static_cast<std::uint32_t>(-node);
        node = 0;
      }
      table[start][nibble] = bytes[0] | bytes[1] << 8 | static_cast<std::uint32_t>(node) << 16 |
                             count << 24 | end_bits << 26;
    }
  }
  return table;
}

constexpr NibbleTable kNibbleSteps = BuildNibbleTable();

// The fast path writes two bytes per nibble, so it needs room for a whole input byte.
constexpr std::int32_t kFastRoom = 4;

}  // namespace

bool DecompressingCopier::FinishInByte(std::uint8_t* out, std::int32_t capacity,
                                       std::int32_t& written) {
  while (bit_num < 8) {
    const std::int32_t parent = tree_pos;
    const std::int32_t bit = mask;
    tree_pos = (in_byte & bit) != 0 ? kHuffmanTree[parent].one : kHuffmanTree[parent].zero;
    mask = bit >> 1;
    ++bit_num;
    if (tree_pos > 0) continue;
    if (tree_pos == -kEndSymbol) {
      bit_num = 8;
      tree_pos = 0;
      continue;
    }
    if (written == capacity) {
      // Step back over the bit that completed the byte, so the next call completes it again.
      tree_pos = parent;
      mask = bit;
      --bit_num;
      return false;
    }
    out[written++] = static_cast<std::uint8_t>(-tree_pos);
    tree_pos = 0;
  }
  return true;
}

void DecompressingCopier::copy(std::uint8_t* out, const std::uint8_t* in, std::int32_t& out_len,
                               std::int32_t& in_len) {
  const std::int32_t capacity = std::max<std::int32_t>(out_len, 0);
  const std::int32_t available = std::max<std::int32_t>(in_len, 0);
  std::int32_t written = 0;
  std::int32_t taken = 0;
  for (;;) {
    if (!FinishInByte(out, capacity, written)) {
      out_len = written;
      in_len = taken;
      return;
    }
    if (taken == available) break;
    if (capacity - written < kFastRoom) {
      // Close to a full output area: bit by bit, so the stop falls exactly where it must.
      in_byte = in[taken++];
      mask = 0x80;
      bit_num = 0;
      continue;
    }
    std::uint32_t node = static_cast<std::uint32_t>(tree_pos);
    std::uint32_t byte = 0;
    std::uint32_t last_mask = 0;
    do {
      byte = in[taken++];
      last_mask = 0;
      NibbleStep step = kNibbleSteps[node][byte >> 4];
      out[written] = static_cast<std::uint8_t>(step);
      out[written + 1] = static_cast<std::uint8_t>(step >> 8);
      written += static_cast<std::int32_t>((step >> 24) & 3);
      node = (step >> 16) & 0xFF;
      if ((step >> 26) != 0) [[unlikely]] {
        last_mask = 0x80u >> (step >> 26);  // padding: the low nibble is skipped
        continue;
      }
      step = kNibbleSteps[node][byte & 0x0F];
      out[written] = static_cast<std::uint8_t>(step);
      out[written + 1] = static_cast<std::uint8_t>(step >> 8);
      written += static_cast<std::int32_t>((step >> 24) & 3);
      node = (step >> 16) & 0xFF;
      if ((step >> 26) != 0) [[unlikely]]
        last_mask = 0x80u >> (4 + (step >> 26));
    } while (taken < available && capacity - written >= kFastRoom);
    in_byte = static_cast<std::int32_t>(byte);
    mask = static_cast<std::int32_t>(last_mask);
    bit_num = 8;
    tree_pos = static_cast<std::int32_t>(node);
  }
  out_len = written;
}

}  // namespace velmor
