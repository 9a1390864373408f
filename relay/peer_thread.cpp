#include "relay/peer_thread.h"

#include <thread>

#include "relay/thread_count.h"

namespace velmor {

TIdPeerThread::TIdPeerThread(std::shared_ptr<ServerState> state,
                             std::unique_ptr<TIdTCPServerConnection> connection)
    : state_(std::move(state)), connection_(std::move(connection)) {}

TIdPeerThread::~TIdPeerThread() = default;

void TIdPeerThread::Start() {
  RelayThreadToken token;
  std::thread([self = shared_from_this(), token = std::move(token)]() mutable {
    self->Execute();
    self.reset();
    token.Release();
  }).detach();
}

void TIdPeerThread::Stop() noexcept {
  stopped_.store(true);
  std::lock_guard lock(wake_mutex_);
  if (connection_) connection_->Interrupt();
  WakeMore();
}

void TIdPeerThread::Execute() noexcept {
  try {
    BeforeRun();
    while (!Stopped()) Run();
  } catch (...) {
    // Ends this connection only.
  }
  try {
    AfterRun();
  } catch (...) {
  }
  // The client connection is closed here if it is still open (the tap hears of it on this
  // thread, after its last block), while Stop() can still reach it: the close may wait for
  // the client to take the server's last blocks.
  try {
    if (connection_) connection_->Close();
  } catch (...) {
  }
  std::unique_ptr<TIdTCPServerConnection> released;
  {
    std::lock_guard lock(wake_mutex_);
    released.swap(connection_);
  }
  released.reset();

  std::shared_ptr<ServerState> state = std::move(state_);
  std::lock_guard lock(state->mutex);
  state->threads.remove_if(
      [this](const std::shared_ptr<TIdPeerThread>& t) { return t.get() == this; });
  state->emptied.notify_all();
}

}  // namespace velmor
