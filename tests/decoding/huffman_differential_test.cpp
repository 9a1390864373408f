// The table-driven decoder against the bit-by-bit reference: same output, counts and
// carried state on every call, wherever the input is cut and however small the output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "decoding/uo_huffman.h"
#include "tests/support/huffman_encoder.h"
#include "tests/support/reference_decoder.h"

namespace velmor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::Compress;
using testing::HuffmanEncoder;
using testing::ReferenceDecoder;

struct Stream {
  Bytes compressed;
  Bytes plain;  // what the compressed bytes stand for
};

// Stretches of text-like, uniform and zero bytes (codes of every length, end symbols in
// every bit position), closed by a stretch that is cut off in the middle of a code.
Stream RandomStream(std::uint32_t seed, int stretches) {
  std::mt19937 random(seed);
  HuffmanEncoder encoder;
  Stream stream;
  for (int s = 0; s < stretches; ++s) {
    const int length = std::uniform_int_distribution<int>(0, 120)(random);
    const int kind = s % 3;
    for (int i = 0; i < length; ++i) {
      std::uint8_t byte = 0;
      if (kind == 0) byte = static_cast<std::uint8_t>("eat the rest, Ser Knight! "[random() % 26]);
      if (kind == 1) byte = static_cast<std::uint8_t>(random());
      stream.plain.push_back(byte);
      encoder.PutSymbol(byte);
    }
    encoder.End();
  }
  for (int i = 0; i < 5; ++i) {
    stream.plain.push_back(static_cast<std::uint8_t>(random()));
    encoder.PutSymbol(stream.plain.back());
  }
  encoder.PutSymbol(0xA6);  // 11 bits: its last bits stay in the encoder
  stream.compressed = encoder.Take();
  return stream;
}

Bytes RandomBytes(std::uint32_t seed, int count) {
  std::mt19937 random(seed);
  Bytes bytes(static_cast<std::size_t>(count));
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

// Runs one call on both decoders and checks that they agree; returns the result.
struct Call {
  Bytes out;
  std::int32_t in_len;
};

Call BothCopy(DecompressingCopier& fast, ReferenceDecoder& reference, const std::uint8_t* in,
              std::int32_t in_len, std::int32_t capacity) {
  Bytes fast_out(static_cast<std::size_t>(capacity) + 1);
  Bytes reference_out(static_cast<std::size_t>(capacity) + 1);
  std::int32_t fast_out_len = capacity;
  std::int32_t fast_in_len = in_len;
  std::int32_t reference_out_len = capacity;
  std::int32_t reference_in_len = in_len;
  fast.copy(fast_out.data(), in, fast_out_len, fast_in_len);
  reference.copy(reference_out.data(), in, reference_out_len, reference_in_len);
  EXPECT_EQ(fast_out_len, reference_out_len);
  EXPECT_EQ(fast_in_len, reference_in_len);
  EXPECT_EQ(fast.state(), reference.state);
  fast_out.resize(static_cast<std::size_t>(std::clamp(fast_out_len, 0, capacity)));
  reference_out.resize(static_cast<std::size_t>(reference_out_len));
  EXPECT_EQ(fast_out, reference_out);
  return {reference_out, reference_in_len};
}

TEST(HuffmanDifferential, AgreesWhereverTheInputIsCut) {
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    const Stream stream = RandomStream(seed, 24);
    const Bytes& in = stream.compressed;
    const auto n = static_cast<std::int32_t>(in.size());
    for (std::int32_t cut = 0; cut <= n; ++cut) {
      DecompressingCopier fast;
      ReferenceDecoder reference;
      Call first = BothCopy(fast, reference, in.data(), cut, 1 << 16);
      Call second = BothCopy(fast, reference, in.data() + cut, n - cut, 1 << 16);
      first.out.insert(first.out.end(), second.out.begin(), second.out.end());
      ASSERT_EQ(first.out, stream.plain) << "seed " << seed << " cut " << cut;
      ASSERT_FALSE(::testing::Test::HasFailure()) << "seed " << seed << " cut " << cut;
    }
  }
}

// Feeds `in` in random chunks (0 to 40 bytes) into random small output areas (0 to 64
// bytes, half of them below the fast path's needs), resuming at in + in_len as a caller
// must; returns everything decoded.
Bytes DecodeInSmallSteps(const Bytes& in, std::uint32_t seed) {
  const auto n = static_cast<std::int32_t>(in.size());
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::int32_t> capacities(0, 64);
  std::uniform_int_distribution<std::int32_t> chunks(0, 40);
  DecompressingCopier fast;
  ReferenceDecoder reference;
  Bytes decoded;
  std::int32_t pos = 0;
  // A capacity of 0 makes no progress on a held-back byte, so count rounds, not calls.
  for (int round = 0; round < 200000 && pos < n; ++round) {
    const std::int32_t chunk = std::min(n - pos, chunks(random) >> (round % 2 * 3));
    const std::int32_t capacity = capacities(random) >> (round % 3 == 0 ? 3 : 0);
    const Call call = BothCopy(fast, reference, in.data() + pos, chunk, capacity);
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << "seed " << seed << " round " << round << " at input byte " << pos;
      return decoded;
    }
    decoded.insert(decoded.end(), call.out.begin(), call.out.end());
    pos += call.in_len;
  }
  EXPECT_EQ(pos, n);
  // What a full output area held back comes out of a call without input.
  const Call last = BothCopy(fast, reference, in.data() + n, 0, 1 << 16);
  decoded.insert(decoded.end(), last.out.begin(), last.out.end());
  return decoded;
}

TEST(HuffmanDifferential, AgreesWithSmallOutputAreasAndLosesNothing) {
  for (std::uint32_t seed : {4u, 5u, 6u}) {
    const Stream stream = RandomStream(seed, 20);
    EXPECT_EQ(DecodeInSmallSteps(stream.compressed, seed * 977), stream.plain) << "seed " << seed;
  }
}

TEST(HuffmanDifferential, AgreesWithSmallOutputAreasOnArbitraryBits) {
  DecodeInSmallSteps(RandomBytes(8, 1200), 8);
}

}  // namespace
}  // namespace velmor
