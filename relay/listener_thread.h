#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "relay/peer_thread.h"
#include "relay/server_state.h"

// The listener of one endpoint: accepts clients in 100 ms slices and starts one worker per
// client. It ends when told to stop (noticed within a slice), or at once when the relay's
// stopping event is signalled. It uses only the listening handle, the shared state and the
// worker factory it was given, never the relay object. Created, stopped and destroyed on
// the relay's thread.
namespace velmor {

// Makes the worker for an accepted client connection; runs on the listener thread.
using WorkerFactory = std::function<std::shared_ptr<TIdPeerThread>(
    std::shared_ptr<ServerState>, std::unique_ptr<TIdTCPServerConnection>)>;

class TIdListenerThread {
 public:
  static constexpr int kSliceMs = 100;

  // `listener` must stay open until Stop() has returned.
  TIdListenerThread(const Socket& listener, std::shared_ptr<ServerState> state,
                    WorkerFactory factory, std::int32_t max_connections);
  TIdListenerThread(const TIdListenerThread&) = delete;
  TIdListenerThread& operator=(const TIdListenerThread&) = delete;
  ~TIdListenerThread() { Stop(); }

  // Raises std::system_error when no thread can start.
  void Start();
  // Tells the thread to stop and waits for it; it notices within one slice.
  void Stop() noexcept;

 private:
  void Execute() noexcept;
  void AcceptOne();

  const Socket& listener_;
  std::shared_ptr<ServerState> state_;
  WorkerFactory factory_;
  std::int32_t max_connections_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace velmor
