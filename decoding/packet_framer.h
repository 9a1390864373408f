#pragma once

#include <cstdint>
#include <memory>

#include "decoding/packet_sink.h"
#include "decoding/uo_huffman.h"

namespace velmor {

// Cuts one server stream into packets and hands every complete one to a sink.
// Holds that stream's decoding state: the decompressor and the incomplete packet that a
// block's end cut off (the carry). One instance per stream, fed that stream's blocks in
// order by one thread at a time.
class PacketFramer {
 public:
  // Room for the carry (a packet is at most 65535 bytes) and a decoded block behind it.
  static constexpr std::int32_t kFrameBufferSize = 250000;

  enum class BlockKind { kPlain, kCompressed };

  // Walks one block of n >= 1 bytes behind the carry: a plain block as it stands, a
  // compressed block decoded. Complete packets go to `sink` in stream
  // order, each call returning before the next packet is looked at; unknown ids and zero
  // lengths are stepped over. An incomplete tail becomes the new carry. `bytes` is only
  // read, and only during the call.
  void ProcessChunk(PacketSink& sink, const std::uint8_t* bytes, std::int32_t n, BlockKind kind);

  std::int32_t CarryLength() const { return carry_length_; }

 private:
  // Walks frame[0 .. frame_length) and leaves its incomplete tail at the buffer's head.
  void Walk(PacketSink& sink, const std::uint8_t* frame, std::int32_t frame_length);

  DecompressingCopier copier_;
  // Made by the first block, so a stream that never sends anything costs nothing. The
  // carry lives at its head; a compressed block is decoded right behind it.
  std::unique_ptr<std::uint8_t[]> frame_buffer_;
  std::int32_t carry_length_ = 0;
};

}  // namespace velmor
