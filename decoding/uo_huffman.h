#pragma once

#include <array>
#include <cstdint>

// The fixed Huffman code of the game server's stream and its streaming decoder.
namespace velmor {

// One code: `bits` bits (2 to 11) of `code`, sent most significant bit first.
struct HuffmanCode {
  std::int32_t bits;
  std::int32_t code;
};

// Symbols 0-255 stand for the byte of that value; the end symbol closes a compressed
// stretch, the rest of the byte holding it is padding.
inline constexpr std::int32_t kEndSymbol = 256;

inline constexpr std::array<HuffmanCode, 257> kHuffmanCodes = {{
    {2, 0x000},  {5, 0x01F},  {6, 0x022},  {7, 0x034},  {7, 0x075},  {6, 0x028},  {6, 0x03B},
    {7, 0x032},  {8, 0x0E0},  {8, 0x062},  {7, 0x056},  {8, 0x079},  {9, 0x19D},  {8, 0x097},
    {6, 0x02A},  {7, 0x057},  {8, 0x071},  {8, 0x05B},  {9, 0x1CC},  {8, 0x0A7},  {7, 0x025},
    {7, 0x04F},  {8, 0x066},  {8, 0x07D},  {9, 0x191},  {9, 0x1CE},  {7, 0x03F},  {9, 0x090},
    {8, 0x059},  {8, 0x07B},  {8, 0x091},  {8, 0x0C6},  {6, 0x02D},  {9, 0x186},  {8, 0x06F},
    {9, 0x093},  {10, 0x1CC}, {8, 0x05A},  {10, 0x1AE}, {10, 0x1C0}, {9, 0x148},  {9, 0x14A},
    {9, 0x082},  {10, 0x19F}, {9, 0x171},  {9, 0x120},  {9, 0x0E7},  {10, 0x1F3}, {9, 0x14B},
    {9, 0x100},  {9, 0x190},  {6, 0x013},  {9, 0x161},  {9, 0x125},  {9, 0x133},  {9, 0x195},
    {9, 0x173},  {9, 0x1CA},  {9, 0x086},  {9, 0x1E9},  {9, 0x0DB},  {9, 0x1EC},  {9, 0x08B},
    {9, 0x085},  {5, 0x00A},  {8, 0x096},  {8, 0x09C},  {9, 0x1C3},  {9, 0x19C},  {9, 0x08F},
    {9, 0x18F},  {9, 0x091},  {9, 0x087},  {9, 0x0C6},  {9, 0x177},  {9, 0x089},  {9, 0x0D6},
    {9, 0x08C},  {9, 0x1EE},  {9, 0x1EB},  {9, 0x084},  {9, 0x164},  {9, 0x175},  {9, 0x1CD},
    {8, 0x05E},  {9, 0x088},  {9, 0x12B},  {9, 0x172},  {9, 0x10A},  {9, 0x08D},  {9, 0x13A},
    {9, 0x11C},  {10, 0x1E1}, {10, 0x1E0}, {9, 0x187},  {10, 0x1DC}, {10, 0x1DF}, {7, 0x074},
    {9, 0x19F},  {8, 0x08D},  {8, 0x0E4},  {7, 0x079},  {9, 0x0EA},  {9, 0x0E1},  {8, 0x040},
    {7, 0x041},  {9, 0x10B},  {9, 0x0B0},  {8, 0x06A},  {8, 0x0C1},  {7, 0x071},  {7, 0x078},
    {8, 0x0B1},  {9, 0x14C},  {7, 0x043},  {8, 0x076},  {7, 0x066},  {7, 0x04D},  {9, 0x08A},
    {6, 0x02F},  {8, 0x0C9},  {9, 0x0CE},  {9, 0x149},  {9, 0x160},  {10, 0x1BA}, {10, 0x19E},
    {10, 0x39F}, {9, 0x0E5},  {9, 0x194},  {9, 0x184},  {9, 0x126},  {7, 0x030},  {8, 0x06C},
    {9, 0x121},  {9, 0x1E8},  {10, 0x1C1}, {10, 0x11D}, {10, 0x163}, {10, 0x385}, {10, 0x3DB},
    {10, 0x17D}, {10, 0x106}, {10, 0x397}, {10, 0x24E}, {7, 0x02E},  {8, 0x098},  {10, 0x33C},
    {10, 0x32E}, {10, 0x1E9}, {9, 0x0BF},  {10, 0x3DF}, {10, 0x1DD}, {10, 0x32D}, {10, 0x2ED},
    {10, 0x30B}, {10, 0x107}, {10, 0x2E8}, {10, 0x3DE}, {10, 0x125}, {10, 0x1E8}, {9, 0x0E9},
    {10, 0x1CD}, {10, 0x1B5}, {9, 0x165},  {10, 0x232}, {10, 0x2E1}, {11, 0x3AE}, {11, 0x3C6},
    {11, 0x3E2}, {10, 0x205}, {10, 0x29A}, {10, 0x248}, {10, 0x2CD}, {10, 0x23B}, {11, 0x3C5},
    {10, 0x251}, {10, 0x2E9}, {10, 0x252}, {9, 0x1EA},  {11, 0x3A0}, {11, 0x391}, {10, 0x23C},
    {11, 0x392}, {11, 0x3D5}, {10, 0x233}, {10, 0x2CC}, {11, 0x390}, {10, 0x1BB}, {11, 0x3A1},
    {11, 0x3C4}, {10, 0x211}, {10, 0x203}, {9, 0x12A},  {10, 0x231}, {11, 0x3E0}, {10, 0x29B},
    {11, 0x3D7}, {10, 0x202}, {11, 0x3AD}, {10, 0x213}, {10, 0x253}, {10, 0x32C}, {10, 0x23D},
    {10, 0x23F}, {10, 0x32F}, {10, 0x11C}, {10, 0x384}, {10, 0x31C}, {10, 0x17C}, {10, 0x30A},
    {10, 0x2E0}, {10, 0x276}, {10, 0x250}, {11, 0x3E3}, {10, 0x396}, {10, 0x18F}, {10, 0x204},
    {10, 0x206}, {10, 0x230}, {10, 0x265}, {10, 0x212}, {10, 0x23E}, {11, 0x3AC}, {11, 0x393},
    {11, 0x3E1}, {10, 0x1DE}, {11, 0x3D6}, {10, 0x31D}, {11, 0x3E5}, {11, 0x3E4}, {10, 0x207},
    {11, 0x3C7}, {10, 0x277}, {11, 0x3D4}, {8, 0x0C0},  {10, 0x162}, {10, 0x3DA}, {10, 0x124},
    {10, 0x1B4}, {10, 0x264}, {10, 0x33D}, {10, 0x1D1}, {10, 0x1AF}, {10, 0x39E}, {10, 0x24F},
    {11, 0x373}, {10, 0x249}, {11, 0x372}, {9, 0x167},  {10, 0x210}, {10, 0x23A}, {10, 0x1B8},
    {11, 0x3AF}, {10, 0x18E}, {10, 0x2EC}, {7, 0x062},  {4, 0x00D},
}};

// An internal node of the decoding tree. A child above 0 is another node; a child of 0 or
// less is a leaf whose symbol is its negation (0 is byte 0x00, -256 the end symbol).
struct HuffmanNode {
  std::int32_t one;   // child on bit 1
  std::int32_t zero;  // child on bit 0

  bool operator==(const HuffmanNode&) const = default;
};

// The code's trie, numbered breadth-first from the root (node 0), the bit-1 child taken
// before the bit-0 child at every node.
constexpr std::array<HuffmanNode, 256> BuildHuffmanTree(const std::array<HuffmanCode, 257>& codes) {
  std::array<HuffmanNode, 256> tree{};
  // Prefix (value, length) of every node, in numbering order; doubles as the BFS queue.
  std::array<std::int32_t, 256> prefix{};
  std::array<std::int32_t, 256> depth{};
  std::int32_t count = 1;
  for (std::int32_t node = 0; node < count; ++node) {
    for (std::int32_t bit = 1; bit >= 0; --bit) {
      const std::int32_t value = prefix[node] * 2 + bit;
      const std::int32_t length = depth[node] + 1;
      std::int32_t child = 1;  // not a leaf until a code matches
      for (std::int32_t symbol = 0; symbol < 257; ++symbol) {
        if (codes[symbol].bits == length && codes[symbol].code == value) child = -symbol;
      }
      if (child == 1) {
        child = count++;
        prefix[child] = value;
        depth[child] = length;
      }
      (bit == 1 ? tree[node].one : tree[node].zero) = child;
    }
  }
  return tree;
}

inline constexpr std::array<HuffmanNode, 256> kHuffmanTree = BuildHuffmanTree(kHuffmanCodes);

// Something that turns input bytes into output bytes. `out_len` carries the capacity of
// `out` in and the count written out; `in_len` the count of input bytes in, and out the
// count consumed when the call stopped early.
class Copier {
 public:
  virtual ~Copier() = default;
  virtual void copy(std::uint8_t* out, const std::uint8_t* in, std::int32_t& out_len,
                    std::int32_t& in_len) = 0;
};

// The streaming Huffman decoder. A code cut by the end of one call's input is finished by
// the next call, so one instance must see one stream's blocks in order; it is not
// thread-safe (one instance per stream, used by one thread at a time).
//
// copy() decodes until the input is used up (in_len left as it was, bit_num then 8) or
// until a completed byte finds the output area full. In the second case that byte is not
// written and not lost either: the decoder steps back over the code's last bit, so the
// next call decodes the byte again and then goes on with the rest of the input byte in
// progress. in_len then counts the input bytes taken, the one in progress included, so
// the caller resumes at in + in_len. Bytes of `out` past the returned out_len, within the
// capacity, may have been used as scratch.
//
// Most of the stream is decoded by table look-ups of twelve bits at a time; the result,
// state included, is in every case that of one tree step per bit.
class DecompressingCopier : public Copier {
 public:
  struct State {
    std::int32_t in_byte = 0;   // the input byte being read
    std::int32_t mask = 0;      // its bit read next (0x80 down to 0x01; 0 when all read)
    std::int32_t bit_num = 8;   // its bits read so far; 8: take a new byte first
    std::int32_t tree_pos = 0;  // the current tree node; 0 is the root

    bool operator==(const State&) const = default;
  };

  void copy(std::uint8_t* out, const std::uint8_t* in, std::int32_t& out_len,
            std::int32_t& in_len) override;

  State state() const { return {in_byte, mask, bit_num, tree_pos}; }

 private:
  // One tree step on the next bit of in_byte; false when a completed byte found no room
  // (the step is then undone).
  bool StepBit(std::uint8_t* out, std::int32_t capacity, std::int32_t& written);
  // Table-driven decoding from a symbol boundary while the input and room last; leaves
  // the state exactly where bit-by-bit decoding would have left it.
  void DecodeFast(std::uint8_t* out, std::int32_t capacity, std::int32_t& written,
                  const std::uint8_t* in, std::int32_t available, std::int32_t& taken);

  std::int32_t in_byte = 0;
  std::int32_t mask = 0;
  std::int32_t bit_num = 8;
  std::int32_t tree_pos = 0;
};

}  // namespace velmor
