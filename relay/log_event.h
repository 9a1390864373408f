#pragma once

#include <atomic>
#include <functional>

#include "relay/intercept.h"

namespace velmor {

// A block about to go to the game client: `ASender` is the tap, `AStream` the block.
using TIdInterceptStreamEvent = std::function<void(
    TIdConnectionIntercept& ASender, TIdTCPConnection& connection, TMemoryStream& AStream)>;
// A client connection is closing.
using TIdInterceptConnectionEvent =
    std::function<void(TIdConnectionIntercept& ASender, TIdTCPConnection& connection)>;

// The tap on every relayed client connection. While Active, each server-to-client block
// is handed to OnSend and its position set back to 0 afterwards; while not Active, blocks
// pass untouched. Blocks from the game client are never looked at. OnDisconnect fires for
// every closing connection, Active or not, so per-connection state can be dropped.
//
// Bind the events before the relay first starts and leave them alone while it runs; they
// are called on the relay workers, concurrently for different connections. Active may be
// switched from any thread at any time.
class TIdLogEvent : public TIdConnectionIntercept {
 public:
  std::atomic<bool> Active{false};
  TIdInterceptStreamEvent OnSend;
  TIdInterceptConnectionEvent OnDisconnect;

  void Send(TIdTCPConnection& connection, TMemoryStream& block) override;
  void Receive(TIdTCPConnection& connection, TMemoryStream& block) override;
  void Disconnect(TIdTCPConnection& connection) override;
};

}  // namespace velmor
