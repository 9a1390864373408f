// The streaming Huffman decoder against the bit-by-bit reference: arbitrary bytes cut into
// arbitrary chunks, decoded into output areas of arbitrary size (none at all included). On
// every call both must write the same bytes, report the same counts and keep the same state,
// and neither may touch a byte outside its input or output area (both are allocated to the
// exact size, so the sanitizer sees any stray access).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "decoding/uo_huffman.h"
#include "fuzz/fuzz_check.h"
#include "tests/support/reference_decoder.h"

namespace {

using velmor::DecompressingCopier;
using velmor::testing::ReferenceDecoder;

// One call on both decoders over the same input; returns the input bytes the call took.
std::int32_t BothCopy(DecompressingCopier& copier, ReferenceDecoder& reference,
                      const std::uint8_t* in, std::int32_t in_len, std::int32_t capacity,
                      bool& output_full) {
  // Separate areas of exactly `capacity` bytes each; a zero-sized one may not be touched.
  auto out = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(capacity));
  auto reference_out = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(capacity));
  std::int32_t out_len = capacity;
  std::int32_t taken = in_len;
  std::int32_t reference_out_len = capacity;
  std::int32_t reference_taken = in_len;
  copier.copy(out.get(), in, out_len, taken);
  reference.copy(reference_out.get(), in, reference_out_len, reference_taken);

  FUZZ_CHECK(out_len == reference_out_len);
  FUZZ_CHECK(taken == reference_taken);
  FUZZ_CHECK(copier.state() == reference.state);
  FUZZ_CHECK(out_len >= 0 && out_len <= capacity);
  FUZZ_CHECK(taken >= 0 && taken <= in_len);
  FUZZ_CHECK(std::memcmp(out.get(), reference_out.get(), static_cast<std::size_t>(out_len)) == 0);
  output_full = out_len == capacity;
  return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  DecompressingCopier copier;
  ReferenceDecoder reference;
  while (provider.remaining_bytes() > 0) {
    // Small areas meet the slow path and a full area often; large ones the fast path.
    const auto capacity = provider.ConsumeBool() ? provider.ConsumeIntegralInRange(0, 24)
                                                 : provider.ConsumeIntegralInRange(0, 3000);
    const auto length = provider.ConsumeIntegralInRange<std::size_t>(0, 400);
    const std::vector<std::uint8_t> bytes = provider.ConsumeBytes<std::uint8_t>(length);
    // The chunk in an area of its own size, so that a read past its end is seen.
    auto chunk = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), chunk.get());
    const auto n = static_cast<std::int32_t>(bytes.size());

    // As the framer does: resume where a full area stopped until the chunk is used up. An
    // area of no bytes at all can never take the next byte, so it gets one call only.
    std::int32_t offset = 0;
    bool output_full = true;
    while (output_full) {
      offset +=
          BothCopy(copier, reference, chunk.get() + offset, n - offset, capacity, output_full);
      if (capacity == 0) break;
    }
  }
  return 0;
}
