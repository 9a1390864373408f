#include "decoding/packet_framer.h"

#include <cstring>

#include "decoding/packet_lengths.h"

namespace velmor {

void PacketFramer::ProcessChunk(PacketSink& sink, const std::uint8_t* bytes, std::int32_t n,
                                BlockKind kind) {
  if (n <= 0) return;
  if (!frame_buffer_)
    frame_buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kFrameBufferSize);
  if (kind == BlockKind::kPlain) {
    // A login answer cut by a block's end goes on in this block. (A block too large to fit
    // behind the carry, which the tap never hands over, drops it.)
    if (carry_length_ == 0 || n > kFrameBufferSize - carry_length_) {
      Walk(sink, bytes, n);
    } else {
      std::memcpy(frame_buffer_.get() + carry_length_, bytes, static_cast<std::size_t>(n));
      Walk(sink, frame_buffer_.get(), carry_length_ + n);
    }
    return;
  }
  // The carry is at most 65534 bytes, so every round decodes something; a block only
  // needs a second round if it decodes to more than the room behind the carry.
  std::int32_t offset = 0;
  for (;;) {
    const std::int32_t capacity = kFrameBufferSize - carry_length_;
    std::int32_t out_len = capacity;
    std::int32_t in_len = n - offset;
    copier_.copy(frame_buffer_.get() + carry_length_, bytes + offset, out_len, in_len);
    Walk(sink, frame_buffer_.get(), carry_length_ + out_len);
    if (out_len < capacity) return;
    offset += in_len;
  }
}

void PacketFramer::Walk(PacketSink& sink, const std::uint8_t* frame, std::int32_t frame_length) {
  std::int32_t pos = 0;
  while (pos < frame_length) {
    const std::int32_t left = frame_length - pos;
    if (PacketLengths[frame[pos]] == -1 && left < 3) break;
    const std::int32_t length = GetPacketLength(frame, pos);
    if (length > left) break;
    // An unknown id or a zero length field is one byte to step over, not a packet.
    const bool stepped_over =
        PacketLengths[frame[pos]] == 0 ||
        (PacketLengths[frame[pos]] == -1 && frame[pos + 1] == 0 && frame[pos + 2] == 0);
    if (!stepped_over) sink.ProcessPacket(frame + pos, length);
    pos += length;
  }
  carry_length_ = frame_length - pos;
  if (carry_length_ > 0) std::memmove(frame_buffer_.get(), frame + pos, carry_length_);
}

}  // namespace velmor
