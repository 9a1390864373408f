#pragma once

#include <cstdint>

namespace velmor {

// Receives the complete packets that the framer cuts out of one server stream, in stream
// order, on the framer's thread. `packet` starts with the id byte and holds `length` bytes;
// it is valid only during the call.
class PacketSink {
 public:
  virtual ~PacketSink() = default;
  virtual void ProcessPacket(const std::uint8_t* packet, std::int32_t length) = 0;
};

}  // namespace velmor
