#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmor {

class TIdTCPConnection;

// One block of relayed bytes: a growable buffer with a read/write position (0 on entry).
struct TMemoryStream {
  std::vector<std::uint8_t> data;
  std::size_t position = 0;
};

// The tap of a client connection. The relay calls it inline on the connection's worker
// thread; one tap serves every connection, so two clients mean concurrent calls with
// different connections. A connection's calls never overlap each other, and Disconnect
// is its last call: it comes exactly once for every accepted client whose worker started,
// also when the server could not be reached. An exception thrown by a call ends that
// connection. The tap must outlive the relay; connections that outlive a destroyed relay
// (its deactivation timed out) no longer call it.
class TIdConnectionIntercept {
 public:
  virtual ~TIdConnectionIntercept() = default;
  // A block about to be written to the game client, in a fresh stream at position 0 (one
  // receive from the server, at most 32768 bytes): what `block` holds on return, from its
  // first byte to its end, is what the client receives; it may grow or shrink.
  virtual void Send(TIdTCPConnection& connection, TMemoryStream& block) = 0;
  // A block received from the game client: what `block` holds on return is forwarded.
  virtual void Receive(TIdTCPConnection& connection, TMemoryStream& block) = 0;
  // The client connection is being closed.
  virtual void Disconnect(TIdTCPConnection& connection) = 0;
};

}  // namespace velmor
