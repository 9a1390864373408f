#include "relay/listener_thread.h"

#include <array>
#include <chrono>

#include "relay/thread_count.h"

namespace velmor {

TIdListenerThread::TIdListenerThread(const Socket& listener, std::shared_ptr<ServerState> state,
                                     WorkerFactory factory, std::int32_t max_connections)
    : listener_(listener),
      state_(std::move(state)),
      factory_(std::move(factory)),
      max_connections_(max_connections) {}

void TIdListenerThread::Start() {
  RelayThreadToken token;
  thread_ = std::thread([this, token = std::move(token)]() mutable {
    Execute();
    token.Release();
  });
}

void TIdListenerThread::Stop() noexcept {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
}

void TIdListenerThread::Execute() noexcept {
  const std::array<int, 2> handles{listener_.Handle(), state_->stopping.Handle()};
  while (!stop_.load()) {
    std::array<bool, 2> readable{};
    try {
      if (WaitForReadable(handles, readable, kSliceMs) == 0) continue;
      if (readable[1]) return;  // the relay is being switched off
      AcceptOne();
    } catch (const EIdSocketError& error) {
      if (error.LastError() == kWsaInterrupted || error.LastError() == kWsaNotSocket) return;
      // Dropped. A failure that persists (no descriptors left, say) would find the socket
      // readable again at once: pause one slice instead of spinning.
      std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMs));
    } catch (...) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMs));
    }
  }
}

void TIdListenerThread::AcceptOne() {
  Socket accepted = listener_.Accept();
  auto connection = std::make_unique<TIdTCPServerConnection>(std::move(accepted));
  std::shared_ptr<TIdPeerThread> worker;
  {
    std::lock_guard lock(state_->mutex);
    if (max_connections_ > 0 &&
        state_->threads.size() >= static_cast<std::size_t>(max_connections_)) {
      return;  // refused: the connection closes on the way out
    }
  }
  worker = factory_(state_, std::move(connection));
  {
    std::lock_guard lock(state_->mutex);
    state_->threads.push_back(worker);
  }
  try {
    worker->Start();
  } catch (...) {
    std::lock_guard lock(state_->mutex);
    state_->threads.remove(worker);
    throw;
  }
}

}  // namespace velmor
