#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/socket.h"
#include "relay/intercept_link.h"

// What a relay shares with its threads. Workers hold it by shared pointer, so it outlives
// a relay that was destroyed while a worker was still running.
namespace velmor {

class TIdPeerThread;

struct ServerState {
  explicit ServerState(std::shared_ptr<InterceptLink> link) : intercept(std::move(link)) {}

  // The connection list: live workers. The listener adds, a worker removes itself as its
  // last use of this state, deactivation stops every worker under the lock.
  std::mutex mutex;
  std::condition_variable emptied;  // notified whenever a worker leaves the list
  std::list<std::shared_ptr<TIdPeerThread>> threads;

  // The relay's tap as it was at activation.
  const std::shared_ptr<InterceptLink> intercept;

  // Signalled when deactivation begins: ends the listeners' waits and every worker's wait
  // that closing its client socket cannot end (a connect attempt, a name lookup).
  WakeEvent stopping;

  // Where the listeners listen (address 0: every local address), filled before the first
  // listener starts and not changed afterwards.
  struct Endpoint {
    std::uint32_t address;
    std::uint16_t port;
  };
  std::vector<Endpoint> listening;
};

}  // namespace velmor
