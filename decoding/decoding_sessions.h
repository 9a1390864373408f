#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <span>

#include "decoding/connection_decoder.h"
#include "decoding/connection_id.h"
#include "decoding/packet_sink.h"

namespace velmor {

// The decoding state of every relayed connection, so that several game clients at once
// each get a clean, complete log. The main window owns one and calls it from the tap's
// events on the relay workers: HandleServerBlock for each server-to-client block, Forget
// when the connection closes. Calls for different connections may run at the same time;
// calls for one connection must not overlap (the relay's one worker per connection sees
// to that). Never waits for the main thread.
class DecodingSessions {
 public:
  // Rewrites a login-stage redirect in `block` and decodes the block, with the state of
  // `connection` (made on its first block). Packets go to `sink` in stream order.
  void HandleServerBlock(ConnectionId connection, std::span<std::uint8_t> block, int client_port,
                         PacketSink& sink);

  // Drops the connection's state, including a code or packet it ended in the middle of.
  void Forget(ConnectionId connection);

  // Connections with state, for tests and diagnostics.
  std::size_t Count() const;

 private:
  mutable std::mutex mutex_;  // guards the map only; decoding runs outside it
  std::unordered_map<ConnectionId, std::shared_ptr<ConnectionDecoder>> decoders_;
};

}  // namespace velmor
