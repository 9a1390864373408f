#include "decoding/uo_huffman.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace velmor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using State = DecompressingCopier::State;

TEST(HuffmanCodeTable, IsACompletePrefixCode) {
  // Kraft's sum in units of 2^-11: a complete code adds up to exactly one.
  std::int64_t sum = 0;
  for (const HuffmanCode& code : kHuffmanCodes) {
    ASSERT_GE(code.bits, 2);
    ASSERT_LE(code.bits, 11);
    ASSERT_LT(code.code, 1 << code.bits);
    sum += std::int64_t{1} << (11 - code.bits);
  }
  EXPECT_EQ(sum, 1 << 11);
  EXPECT_EQ(kHuffmanCodes[kEndSymbol].bits, 4);
  EXPECT_EQ(kHuffmanCodes[kEndSymbol].code, 0b1101);
}

TEST(HuffmanTree, IsNumberedBreadthFirstWithTheOneChildFirst) {
  EXPECT_EQ(kHuffmanTree[0], (HuffmanNode{1, 2}));
  EXPECT_EQ(kHuffmanTree[1], (HuffmanNode{3, 4}));
  EXPECT_EQ(kHuffmanTree[2], (HuffmanNode{5, 0}));
  EXPECT_EQ(kHuffmanTree[7], (HuffmanNode{-256, 14}));
  // Breadth-first: the internal children appear in ascending order, each node once.
  std::int32_t next = 1;
  for (const HuffmanNode& node : kHuffmanTree) {
    for (std::int32_t child : {node.one, node.zero}) {
      if (child > 0) {
        EXPECT_EQ(child, next++);
      }
    }
  }
  EXPECT_EQ(next, 256);
}

TEST(HuffmanTree, LeadsEveryCodeToItsSymbol) {
  for (std::int32_t symbol = 0; symbol <= kEndSymbol; ++symbol) {
    const HuffmanCode& code = kHuffmanCodes[symbol];
    std::int32_t pos = 0;
    for (std::int32_t bit = code.bits - 1; bit >= 0; --bit) {
      ASSERT_GE(pos, 0) << "symbol " << symbol << " hits a leaf early";
      const HuffmanNode& node = kHuffmanTree[pos];
      pos = ((code.code >> bit) & 1) != 0 ? node.one : node.zero;
      if (bit > 0) {
        ASSERT_GT(pos, 0) << "symbol " << symbol << " ends early";
      }
    }
    EXPECT_EQ(pos, -symbol);
  }
}

struct Decoded {
  Bytes out;
  std::int32_t in_len;
};

Decoded Decode(DecompressingCopier& copier, const Bytes& in, std::int32_t capacity = 64) {
  Bytes out(static_cast<std::size_t>(capacity) + 8, 0xEE);
  std::int32_t out_len = capacity;
  auto in_len = static_cast<std::int32_t>(in.size());
  copier.copy(out.data(), in.data(), out_len, in_len);
  out.resize(static_cast<std::size_t>(out_len));
  return {out, in_len};
}

TEST(DecompressingCopier, DecodesWholeStretchesAndEndsAtRest) {
  const struct {
    Bytes in;
    Bytes out;
  } kExamples[] = {
      {{0x03, 0x40}, {0, 0, 0}},  // the last four bits are padding
      {{0xE9, 0x9F, 0x8D, 0xD0}, {'a', 'b', 'c'}},
      {{0x00}, {0, 0, 0, 0}},                 // no end symbol needed
      {{0x0D, 0x03, 0x40}, {0, 0, 0, 0, 0}},  // an end symbol closing a byte skips nothing
  };
  for (const auto& example : kExamples) {
    DecompressingCopier copier;
    const Decoded result = Decode(copier, example.in);
    EXPECT_EQ(result.out, example.out);
    EXPECT_EQ(result.in_len, static_cast<std::int32_t>(example.in.size()));
    EXPECT_EQ(copier.state().bit_num, 8);
    EXPECT_EQ(copier.state().tree_pos, 0);
  }
}

TEST(DecompressingCopier, FinishesACodeCutByTheEndOfACall) {
  DecompressingCopier copier;
  EXPECT_EQ(Decode(copier, {0xE9}).out, (Bytes{'a'}));
  EXPECT_GT(copier.state().tree_pos, 0);  // the first bit of 'b' is under way
  EXPECT_EQ(copier.state().bit_num, 8);
  EXPECT_EQ(Decode(copier, {0x9F, 0x8D, 0xD0}).out, (Bytes{'b', 'c'}));
  EXPECT_EQ(copier.state().tree_pos, 0);
}

TEST(DecompressingCopier, EmptyInputWritesNothingAndKeepsTheState) {
  DecompressingCopier copier;
  Decode(copier, {0xE9});
  const State before = copier.state();
  const Decoded result = Decode(copier, {});
  EXPECT_TRUE(result.out.empty());
  EXPECT_EQ(result.in_len, 0);
  EXPECT_EQ(copier.state(), before);
}

TEST(DecompressingCopier, FullOutputAreaKeepsTheCompletedByteForTheNextCall) {
  DecompressingCopier copier;
  const Bytes in = {0xE9, 0x9F, 0x8D, 0xD0};
  Decoded first = Decode(copier, in, 1);
  EXPECT_EQ(first.out, (Bytes{'a'}));
  // 'b' ends in the second input byte, which counts as taken.
  EXPECT_EQ(first.in_len, 2);
  EXPECT_GT(copier.state().tree_pos, 0);
  EXPECT_LT(copier.state().bit_num, 8);
  const Decoded rest = Decode(copier, Bytes(in.begin() + first.in_len, in.end()));
  EXPECT_EQ(rest.out, (Bytes{'b', 'c'}));
  EXPECT_EQ(copier.state(), (State{0xD0, 0x08, 8, 0}));
}

TEST(DecompressingCopier, ZeroCapacityTakesInputUpToTheFirstCompletedByte) {
  DecompressingCopier copier;
  const Decoded result = Decode(copier, {0x03, 0x40}, 0);
  EXPECT_TRUE(result.out.empty());
  EXPECT_EQ(result.in_len, 1);
  // Stepped back to the first code's last bit: the root's 0-child, bit 0x40 next.
  EXPECT_EQ(copier.state(), (State{0x03, 0x40, 1, 2}));
  EXPECT_EQ(Decode(copier, {0x40}).out, (Bytes{0, 0, 0}));
}

}  // namespace
}  // namespace velmor
