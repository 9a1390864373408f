#pragma once

#include <shared_mutex>

#include "relay/intercept.h"

// The relay's hold on its tap, shared by the relay and every client connection it made.
// Calls go through to the tap until Detach(); after it they do nothing. Detach() waits
// for calls already under way, so a worker that outlives its relay (deactivation timed
// out, then the relay was destroyed) never reaches a tap its owner has freed.
// Calls from several threads run at the same time; the link does not serialise the tap.
namespace velmor {

class InterceptLink {
 public:
  explicit InterceptLink(TIdConnectionIntercept* intercept) : intercept_(intercept) {}

  void Send(TIdTCPConnection& connection, TMemoryStream& block) {
    std::shared_lock lock(mutex_);
    if (intercept_ != nullptr) intercept_->Send(connection, block);
  }

  void Receive(TIdTCPConnection& connection, TMemoryStream& block) {
    std::shared_lock lock(mutex_);
    if (intercept_ != nullptr) intercept_->Receive(connection, block);
  }

  void Disconnect(TIdTCPConnection& connection) {
    std::shared_lock lock(mutex_);
    if (intercept_ != nullptr) intercept_->Disconnect(connection);
  }

  // Main thread, when the relay is destroyed.
  void Detach() {
    std::unique_lock lock(mutex_);
    intercept_ = nullptr;
  }

 private:
  mutable std::shared_mutex mutex_;
  TIdConnectionIntercept* intercept_;
};

}  // namespace velmor
