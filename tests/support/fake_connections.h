#pragma once

#include <cstddef>

#include "relay/intercept.h"

namespace velmor::testing {

// Stand-ins for relayed connections. The decoding side only ever uses a connection's
// address as its identity, so distinct storage serves; nothing is ever called on them.
class FakeConnections {
 public:
  TIdTCPConnection& operator[](std::size_t i) {
    return *reinterpret_cast<TIdTCPConnection*>(&storage_[i]);
  }

 private:
  alignas(std::max_align_t) std::max_align_t storage_[8];
};

}  // namespace velmor::testing
