#include "decoding/packet_lengths.h"

namespace velmor {

std::int32_t GetPacketLength(const std::uint8_t* frame, std::int32_t pos) {
  std::int32_t length = PacketLengths[frame[pos]];
  if (length == -1) length = frame[pos + 1] * 256 + frame[pos + 2];
  return length == 0 ? 1 : length;
}

}  // namespace velmor
