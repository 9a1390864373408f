#include "relay/log_event.h"

namespace velmor {

void TIdLogEvent::Send(TIdTCPConnection& connection, TMemoryStream& block) {
  if (!Active.load()) return;
  if (OnSend) OnSend(*this, connection, block);
  block.position = 0;
}

void TIdLogEvent::Receive(TIdTCPConnection&, TMemoryStream&) {}

void TIdLogEvent::Disconnect(TIdTCPConnection& connection) {
  if (OnDisconnect) OnDisconnect(*this, connection);
}

}  // namespace velmor
