#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "relay/host_address.h"
#include "relay/peer_thread.h"
#include "relay/tcp_server.h"

// The port-mapping relay: every client accepted on the endpoints gets its own connection
// to MappedHost:MappedPort, and a worker copies bytes both ways until either side ends.
// Every block on its way to the client passes the tap's Send; every block from the client
// passes its Receive; the tap's Disconnect is the last call for a connection. All tap calls
// for one connection come from that connection's worker thread, one at a time; different
// connections call the tap concurrently.
namespace velmor {

class TIdMappedPortTCP : public TIdTCPServer {
 public:
  TIdMappedPortTCP() = default;

  // Where each worker connects: a dotted IPv4 address, "localhost", or a host name (looked
  // up on the worker). Read when the relay is switched on.
  std::string MappedHost;
  std::int32_t MappedPort = 0;
  // How a worker looks a host name up; empty: the system's resolver. Called on a thread
  // of its own, which a deactivation does not wait for (so it must stay callable until
  // every call has returned).
  HostLookup Lookup;

 protected:
  WorkerFactory MakeWorkerFactory() override;
};

// The worker of one client.
//
// Set-up: attach the tap, write the greeting (if any), connect to the server; when that
// fails the client is closed without a byte. Each cycle waits, with no time limit, until
// the client or the server socket is readable; reads and forwards at most one block from
// the client, then at most one from the server (client first; blocks are never joined or
// split); closes the client when the server has gone. Error handling per cycle:
//   - socket errors 10053 and 10054 close the client connection, which ends the worker;
//   - any other socket error and a closed-connection error are dropped, but a socket error
//     in two consecutive cycles closes the client connection, so a persistent error
//     cannot keep the worker spinning;
//   - any other error (the tap's included) ends the worker at once.
// End: close the server connection, then the client connection (the tap's Disconnect).
//
// Set-up refuses to connect to the relay's own listener (a local address and a listening
// port): that connection would make another, and so on without end. The client is closed
// as when the server cannot be reached.
//
// Deactivation stops a worker from outside: it shuts its client socket down (and the
// server socket, once connected), which wakes the wait or a blocked send, and its
// stopping event ends a name lookup or a connect attempt under way.
class TIdMappedPortThread : public TIdPeerThread {
 public:
  TIdMappedPortThread(std::shared_ptr<ServerState> state,
                      std::unique_ptr<TIdTCPServerConnection> connection, std::string host,
                      std::int32_t port, HostLookup lookup, std::string greeting);
  ~TIdMappedPortThread() override;

 protected:
  void BeforeRun() override;
  void Run() override;
  void AfterRun() override;
  void WakeMore() noexcept override;

 private:
  // Opens the server connection; any failure closes the client connection.
  void ConnectToServer();

  const std::string host_;
  const std::int32_t port_;
  const HostLookup lookup_;
  const std::string greeting_;
  std::unique_ptr<TIdTCPClient> outbound_;  // set once connected; changed under wake_mutex_
  bool previous_cycle_failed_ = false;
};

}  // namespace velmor
