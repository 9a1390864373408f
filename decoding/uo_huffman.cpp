#include "decoding/uo_huffman.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace velmor {
namespace {

// The fast path looks up the next kPeekBits bits of the stream at once. Every code is at
// most 11 bits long, so each look-up completes at least one symbol; it completes every
// symbol that lies wholly within those bits, at most kPeekBits / 2 since codes are at
// least two bits long. An entry, in 64 bits:
//   bits 0-5    stream bits taken (the completed codes, the end symbol's included)
//   bit 6       an end symbol came after them: the rest of its input byte is padding
//   bits 8-10   count of completed bytes
//   bits 16-63  the completed bytes, the first in bits 16-23
// The bit count sits alone in the low six bits, where a shift reads it as it is.
constexpr int kPeekBits = 12;
constexpr std::uint64_t kEndFlag = 0x40;
using PeekTable = std::array<std::uint64_t, 1u << kPeekBits>;

constexpr PeekTable BuildPeekTable() {
  PeekTable table{};
  for (std::uint32_t bits = 0; bits < table.size(); ++bits) {
    std::uint64_t used = 0;
    std::uint64_t end = 0;
    std::uint64_t count = 0;
    std::uint64_t bytes = 0;
    std::int32_t node = 0;
    for (int i = 1; i <= kPeekBits; ++i) {
      const HuffmanNode& here = kHuffmanTree[static_cast<std::size_t>(node)];
      node = ((bits >> (kPeekBits - i)) & 1) != 0 ? here.one : here.zero;
      if (node > 0) continue;
      used = static_cast<std::uint64_t>(i);
      if (node == -kEndSymbol) {
        end = kEndFlag;
        break;
      }
      bytes |= static_cast<std::uint64_t>(-node) << (8 * count++);
      node = 0;
    }
    table[bits] = used | end | count << 8 | bytes << 16;
  }
  return table;
}

constexpr PeekTable kPeekTable = BuildPeekTable();

// The fast path stores eight bytes per look-up, so it needs that much room.
constexpr std::int32_t kFastRoom = 8;

std::uint64_t LoadBigEndian64(const std::uint8_t* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
  return word;
}

void StoreLittleEndian64(std::uint8_t* bytes, std::uint64_t word) {
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  std::memcpy(bytes, &word, sizeof word);
}

}  // namespace

bool DecompressingCopier::StepBit(std::uint8_t* out, std::int32_t capacity, std::int32_t& written) {
  const std::int32_t parent = tree_pos;
  const std::int32_t bit = mask;
  tree_pos = (in_byte & bit) != 0 ? kHuffmanTree[parent].one : kHuffmanTree[parent].zero;
  mask = bit >> 1;
  ++bit_num;
  if (tree_pos > 0) return true;
  if (tree_pos == -kEndSymbol) {
    bit_num = 8;
    tree_pos = 0;
    return true;
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
  return true;
}

void DecompressingCopier::DecodeFast(std::uint8_t* out, std::int32_t capacity,
                                     std::int32_t& written, const std::uint8_t* in,
                                     std::int32_t available, std::int32_t& taken) {
  // Stream position in bits from `in`: a partly read in_byte is in[taken - 1].
  const std::int64_t start =
      bit_num == 8 ? std::int64_t{taken} * 8 : (std::int64_t{taken} - 1) * 8 + bit_num;
  const std::uint8_t* const end = in + available;
  const std::uint8_t* next = in + start / 8;
  // The unread bits, first bit at the top; only the top `held` bits count. Bits below
  // them are either zero or the true bits that follow, so refills can OR over them.
  std::uint64_t bits = 0;
  int held = 0;
  auto refill = [&] {
    if (end - next >= 8) {
      bits |= LoadBigEndian64(next) >> held;
      next += (63 - held) >> 3;
      held |= 56;
    } else {
      while (held <= 56 && next < end) {
        bits |= static_cast<std::uint64_t>(*next++) << (56 - held);
        held += 8;
      }
    }
  };
  refill();
  bits <<= start % 8;
  held -= static_cast<int>(start % 8);

  std::uint8_t* put = out + written;
  std::uint8_t* const last_put = out + capacity - kFastRoom;
  std::int64_t end_position = -1;  // where the last padding skip landed
  std::int32_t end_mask = 0;       // the mask bit-by-bit decoding leaves there
  auto step = [&] {
    const std::uint64_t entry = kPeekTable[bits >> (64 - kPeekBits)];
    bits <<= entry & 63;
    held -= static_cast<int>(entry & 63);
    StoreLittleEndian64(put, entry >> 16);
    put += (entry >> 8) & 7;
    if ((entry & kEndFlag) != 0) [[unlikely]] {
      const int padding = held & 7;  // the rest of the end symbol's input byte
      bits <<= padding;
      held -= padding;
      end_position = (next - in) * 8 - held;
      end_mask = padding != 0 ? 1 << (padding - 1) : 0;
    }
  };
  // A look-up takes at most 12 bits and its padding 7 more, so a full buffer (56 bits or
  // more) serves three look-ups, each with 12 valid bits to look at; and three look-ups
  // write at most 6 + 6 + 8 bytes.
  constexpr int kStepsPerRefill = 3;
  static_assert(kPeekBits + (kStepsPerRefill - 1) * (kPeekBits + 7) <= 56);
  while (end - next >= 8 && last_put - put >= 12) {
    refill();
    step();
    step();
    step();
  }
  // Close to the end of the input or of the room: one look-up per refill.
  refill();
  while (held >= kPeekBits && put <= last_put) {
    step();
    refill();
  }
  written = static_cast<std::int32_t>(put - out);

  const std::int64_t position = (next - in) * 8 - held;
  tree_pos = 0;
  if (position % 8 == 0) {
    taken = static_cast<std::int32_t>(position / 8);
    in_byte = in[taken - 1];
    mask = position == end_position ? end_mask : 0;
    bit_num = 8;
  } else {
    taken = static_cast<std::int32_t>(position / 8 + 1);
    in_byte = in[taken - 1];
    bit_num = static_cast<std::int32_t>(position % 8);
    mask = 0x80 >> bit_num;
  }
}

void DecompressingCopier::copy(std::uint8_t* out, const std::uint8_t* in, std::int32_t& out_len,
                               std::int32_t& in_len) {
  const std::int32_t capacity = std::max<std::int32_t>(out_len, 0);
  const std::int32_t available = std::max<std::int32_t>(in_len, 0);
  std::int32_t written = 0;
  std::int32_t taken = 0;
  // A byte that an earlier call left partly read: its bits are not in `in`.
  while (bit_num < 8) {
    if (!StepBit(out, capacity, written)) {
      out_len = written;
      in_len = taken;
      return;
    }
  }
  for (;;) {
    // Bit by bit up to the next symbol boundary, and wherever the fast path lacks the
    // input or the room it needs: a full output area is then met exactly.
    if (tree_pos == 0 && available - taken >= 2 && capacity - written >= kFastRoom) {
      DecodeFast(out, capacity, written, in, available, taken);
      continue;
    }
    if (bit_num == 8) {
      if (taken == available) break;
      in_byte = in[taken++];
      mask = 0x80;
      bit_num = 0;
    }
    if (!StepBit(out, capacity, written)) {
      out_len = written;
      in_len = taken;
      return;
    }
  }
  out_len = written;
}

}  // namespace velmor
