#pragma once

#include <cstdint>
#include <span>

#include "decoding/packet_framer.h"
#include "decoding/packet_sink.h"

namespace velmor {

// The server-to-client side of one relayed connection. While the connection is in its
// login stage, its blocks are the login server's plain answers: a server list, and a
// redirect, which is pointed back at the relay. The first block that is neither ends the
// login stage for good; from then on every block is compressed game stream, passed on
// byte for byte and decoded. Used by the connection's worker only, one block at a time.
class ConnectionDecoder {
 public:
  // Only this many bytes of a block are looked at; the rest goes out undecoded.
  static constexpr std::int32_t kTapWindow = 100000;

  // Rewrites a login-stage redirect in place (the block keeps its size) and decodes the
  // block into `sink`. `client_port` is the relay's client port, as fixed when the relay
  // started.
  void HandleServerBlock(std::span<std::uint8_t> block, int client_port, PacketSink& sink);

 private:
  bool login_stage_ = true;
  PacketFramer framer_;
};

}  // namespace velmor
