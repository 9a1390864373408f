#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "relay/connection.h"
#include "relay/server_state.h"

// The worker of one accepted client, on a detached thread of its own: set-up, then one
// cycle after another until stopped, then the end step; then it leaves the connection
// list and frees itself. Errors inside a worker end its connection and are never shown.
namespace velmor {

class TIdPeerThread : public std::enable_shared_from_this<TIdPeerThread> {
 public:
  TIdPeerThread(std::shared_ptr<ServerState> state,
                std::unique_ptr<TIdTCPServerConnection> connection);
  TIdPeerThread(const TIdPeerThread&) = delete;
  TIdPeerThread& operator=(const TIdPeerThread&) = delete;
  virtual ~TIdPeerThread();

  // Starts the thread (the worker is in the connection list by then). The thread keeps
  // the worker alive until it is done. Raises std::system_error when no thread can start.
  void Start();

  // Any thread: asks the worker to stop and wakes it from a blocking wait, receive or send
  // by shutting its sockets down. The worker closes its connections itself, on its own
  // thread. A connect attempt or name lookup under way ends on the relay's stopping
  // event, which deactivation signals first.
  void Stop() noexcept;

  bool Stopped() const { return stopped_.load(); }

 protected:
  // The worker's own thread only: the client connection (present until the end step).
  TIdTCPServerConnection& Connection() { return *connection_; }
  ServerState& State() { return *state_; }

  // Set-up, one cycle, end step. An exception from BeforeRun or Run stops the worker;
  // AfterRun still runs.
  virtual void BeforeRun() {}
  virtual void Run() = 0;
  virtual void AfterRun() {}

  // Called by Stop() with the wake lock held: shut down further sockets of the worker.
  virtual void WakeMore() noexcept {}

  // Ends the cycle loop after the current cycle.
  void StopSelf() noexcept { stopped_.store(true); }

  // Guards what Stop() reaches from another thread against its release on the worker.
  std::mutex wake_mutex_;

 private:
  void Execute() noexcept;

  std::shared_ptr<ServerState> state_;
  std::unique_ptr<TIdTCPServerConnection> connection_;
  std::atomic<bool> stopped_{false};
};

}  // namespace velmor
