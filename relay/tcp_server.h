#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "relay/intercept.h"
#include "relay/listener_thread.h"
#include "relay/server_state.h"

// A threaded TCP server: listening endpoints, one listener thread per endpoint, one worker
// thread per accepted connection, activation and deactivation. Subclasses say what a
// worker does. Created, configured, switched and destroyed on one thread (the main
// thread); configuration is read when the server is switched on.
namespace velmor {

// One listening endpoint.
struct TIdSocketHandle {
  std::string IP;         // empty: every local IPv4 address
  std::int32_t Port = 0;  // only its low 16 bits reach the socket layer; 0: any free port
  Socket Listener;        // open while the server is active
};

// Address reuse of listening sockets. rsOSDependent lets the platform layer choose so that
// a port is free again right after deactivation (Socket::AllowPromptRebind); rsTrue and
// rsFalse set the socket option on or off.
enum class TIdReuseSocket { rsOSDependent, rsTrue, rsFalse };

class TIdTCPServer {
 public:
  // Starts the socket layer once per process ("Winsock Initialization Error." where it
  // cannot start). Inactive, no endpoints, no tap.
  TIdTCPServer();
  TIdTCPServer(const TIdTCPServer&) = delete;
  TIdTCPServer& operator=(const TIdTCPServer&) = delete;
  // Deactivates first. Never throws: when deactivation times out, the remaining workers
  // finish on their own with the state they share, and no longer call the tap.
  virtual ~TIdTCPServer();

  std::int32_t DefaultPort = 0;
  // Attached to every accepted client connection; not owned. It must stay alive until the
  // server is destroyed.
  TIdConnectionIntercept* Intercept = nullptr;
  std::int32_t ListenQueue = 15;
  std::int32_t MaxConnections = 0;  // 0: no limit
  std::int32_t TerminateWaitTime = 5000;
  TIdReuseSocket ReuseSocket = TIdReuseSocket::rsOSDependent;
  std::string Greeting;  // written to each accepted client when not empty

  // Adds an endpoint with an empty address and the current DefaultPort. The reference
  // stays valid for the server's life.
  TIdSocketHandle& AddBinding();
  std::size_t BindingCount() const { return bindings_.size(); }
  TIdSocketHandle& Binding(std::size_t index) { return *bindings_.at(index); }
  // The port endpoint `index` actually listens on while active (the system's choice for
  // port 0); its configured port otherwise.
  std::int32_t BoundPort(std::size_t index) const;

  bool Active() const { return active_; }
  // true: binds and listens on every endpoint and starts their listeners; raises "Cannot
  // allocate socket.", "Could not bind socket. Address and port are already in use." or a
  // socket error, and then nothing is left open. false: stops the listeners, wakes every
  // worker and waits up to TerminateWaitTime for them; raises "Terminate Thread Timeout"
  // when some remain, leaving the server marked active (a later call tries again).
  void SetActive(bool active);

  // Live workers of the current activation.
  std::size_t ConnectionCount() const;

 protected:
  // Makes the factory for this activation's workers, from the configuration as it is now.
  virtual WorkerFactory MakeWorkerFactory() = 0;

 private:
  void Activate();
  void Deactivate();
  void CloseListeners() noexcept;

  std::vector<std::unique_ptr<TIdSocketHandle>> bindings_;
  std::vector<std::unique_ptr<TIdListenerThread>> listeners_;
  std::shared_ptr<ServerState> state_;
  bool active_ = false;
};

}  // namespace velmor
