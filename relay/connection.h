#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "relay/host_address.h"
#include "relay/intercept_link.h"

// One side of a relayed connection: a blocking socket, its input buffer and the chunk
// operations of the pump. A connection belongs to its worker thread; only Interrupt() may
// be called from another thread.
namespace velmor {

class TIdTCPConnection {
 public:
  // Most bytes one receive takes; the receive buffer of this size is made once.
  static constexpr std::size_t RecvBufferSize = 32768;

  TIdTCPConnection();
  explicit TIdTCPConnection(Socket socket);
  TIdTCPConnection(const TIdTCPConnection&) = delete;
  TIdTCPConnection& operator=(const TIdTCPConnection&) = delete;
  // Closes the connection if it is still open; never throws.
  virtual ~TIdTCPConnection();

  // True while the socket is open: neither the peer nor this side has closed it.
  bool Connected() const { return socket_.IsOpen(); }
  // The socket handle for a readiness wait; Socket::kNoHandle once closed.
  int Handle() const { return socket_.Handle(); }

  // Waits until readable, receives once (at most RecvBufferSize bytes), passes what came
  // through the receive side of the tap, and returns it; an empty result when the peer
  // closed (the connection is then closed). Receive errors 10053 and 10058 close the
  // connection and raise EIdSocketError; any other receive error raises it and leaves the
  // socket open. On a closed connection returns what is left in the input buffer.
  std::vector<std::uint8_t> ReadChunk();

  // Copies the bytes into a fresh block, passes it through the send side of the tap, and
  // sends the block as the tap left it, all of it. Nothing happens for no bytes. Raises
  // EIdClosedSocket on a closed connection; send errors raise EIdSocketError, and
  // 10053, 10054 and 10058 also close the connection.
  void WriteChunk(std::span<const std::uint8_t> bytes);

  // Tells the tap (client side), shuts the socket down for sending, lets the peer take what
  // was sent (below) and closes the socket. Closing a closed connection does nothing. The
  // socket is closed even when the tap throws; the tap's error is passed on afterwards.
  //
  // A close with unread input resets the connection, and the reset throws away whatever
  // the peer has not taken yet: the other side's last blocks, when this peer is still
  // talking. So until the peer has acknowledged every byte sent, what it sends is read and
  // dropped; the wait ends early when the peer closes, when it has taken nothing for
  // kDeliveryStallMs, or when the connection is interrupted. Usually nothing is pending
  // and there is no wait at all.
  void Close();

  static constexpr int kDeliveryStallMs = 2000;

  // Any thread: shuts both directions down so that a wait, receive or send blocked on this
  // socket returns at once, a close included. Leaves closing to the owning thread.
  void Interrupt() noexcept;

 protected:
  void AttachSocket(Socket socket);
  Socket& OwnSocket() { return socket_; }

  // The tap's hook points; a plain connection has no tap.
  virtual void InterceptReceive(TMemoryStream&) {}
  virtual void InterceptSend(TMemoryStream&) {}
  virtual void InterceptDisconnect() {}

 private:
  void AwaitDelivery() noexcept;

  // Guards the handle between Close() on the owner and Interrupt() from elsewhere, so a
  // shutdown never reaches a handle number the system has already given to a new socket.
  std::mutex handle_mutex_;
  std::atomic<bool> interrupted_{false};
  Socket socket_;
  std::vector<std::uint8_t> input_;
  std::unique_ptr<std::uint8_t[]> receive_buffer_;
};

// The game client's side: an accepted socket with the relay's tap.
class TIdTCPServerConnection : public TIdTCPConnection {
 public:
  explicit TIdTCPServerConnection(Socket socket) : TIdTCPConnection(std::move(socket)) {}
  ~TIdTCPServerConnection() override;

  // Set by the worker before the server connection is opened; may stay empty.
  std::shared_ptr<InterceptLink> Intercept;

 protected:
  void InterceptReceive(TMemoryStream& block) override;
  void InterceptSend(TMemoryStream& block) override;
  void InterceptDisconnect() override;
};

// The game server's side: a socket the worker connects itself. No tap.
class TIdTCPClient : public TIdTCPConnection {
 public:
  TIdTCPClient(std::string host, std::int32_t port) : Host(std::move(host)), Port(port) {}

  const std::string Host;
  const std::int32_t Port;

  // Resolves Host (ResolveHost rules) and connects to it (ConnectTo).
  void Connect(const HostLookup& lookup = {});

  // Opens a socket on any local address and port and connects to `address` (host byte
  // order) and Port, blocking, with no limit of its own (the system's connect timeout
  // applies), or until `wake` is signalled. Raises EIdSocketError on any failure (10004
  // for the wake-up); the connection then stays closed.
  void ConnectTo(std::uint32_t address, const WakeEvent* wake = nullptr);
};

}  // namespace velmor
