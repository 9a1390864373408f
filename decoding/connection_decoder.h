#pragma once

#include <cstdint>
#include <span>

#include "decoding/login_stage.h"
#include "decoding/packet_framer.h"
#include "decoding/packet_sink.h"

namespace velmor {

// The server-to-client side of one relayed connection: its login stage (LoginStage), whose
// plain packets are framed as they stand and whose redirect is pointed back at the relay,
// or the compressed game stream, passed on byte for byte and decoded. Used by the
// connection's worker only, one block at a time.
class ConnectionDecoder {
 public:
  // Only this many bytes of a block are looked at; the rest goes out undecoded.
  static constexpr std::int32_t kTapWindow = 100000;

  // Rewrites a login-stage redirect in place (the block keeps its size) and decodes the
  // block into `sink`. `client_port` is the relay's client port, as fixed when the relay
  // started.
  void HandleServerBlock(std::span<std::uint8_t> block, int client_port, PacketSink& sink);

 private:
  void Feed(PacketSink& sink, const std::uint8_t* bytes, std::size_t n,
            PacketFramer::BlockKind kind);

  LoginStage login_;
  PacketFramer framer_;
};

}  // namespace velmor
