#include <winsock2.h>

#include "platform/socket_error.h"

namespace velmor {

// Windows reports its own numbers, which are the ones the relay's rules are written in.
void RaiseLastSocketError() {
  throw EIdSocketError(WSAGetLastError());
}

}  // namespace velmor
