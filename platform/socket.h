#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/socket_error.h"

// A thin owner of one IPv4 TCP socket in blocking mode. Every failure raises EIdSocketError
// with the Windows Sockets number (platform/socket_error.h). Sockets are not inherited by
// child processes (close-on-exec), and sending never raises SIGPIPE. POSIX sockets in
// posix/socket.cpp, Winsock 2 in win32/socket.cpp; a handle is an int on both (Windows
// socket handles are kernel handles, whose significant bits fit).
//
// A Socket is not synchronised: one thread uses it, except that Shutdown() may be called
// from another thread as long as the owner guarantees the handle is not closed meanwhile.
namespace velmor {

// Starts the platform's socket layer once per process (Winsock 2.2; every call that needs
// it starts it too). Where it cannot start, raises "Winsock Initialization Error."; on
// POSIX there is nothing to start.
void StartSocketLayer();

class Socket {
 public:
  static constexpr int kNoHandle = -1;

  Socket() = default;
  explicit Socket(int handle) : handle_(handle) {}
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() { Close(); }

  // A new IPv4 TCP stream socket.
  static Socket Open();

  bool IsOpen() const { return handle_ != kNoHandle; }
  int Handle() const { return handle_; }

  void SetReuseAddress(bool on);
  // For a listener: its port is free for a new listener as soon as this one closes, even
  // while connections accepted on it still linger in TIME_WAIT, as on Windows without any
  // option. No other socket shares its port, on any address. (POSIX: SO_REUSEADDR; Windows:
  // SO_EXCLUSIVEADDRUSE.)
  void AllowPromptRebind();
  // `address` in host byte order; 0 is every local address. Port 0 lets the system choose.
  void Bind(std::uint32_t address, std::uint16_t port);
  void Listen(int backlog);
  // Waits for and returns the next connection. Interruptions by signals are retried.
  Socket Accept() const;
  // Blocks until connected or refused; the system's own connect timeout applies. With a
  // `wake` handle (a WakeEvent's), the attempt also ends as soon as that becomes readable,
  // raising EIdSocketError 10004 (interrupted); the socket is then of no further use.
  void Connect(std::uint32_t address, std::uint16_t port, int wake = kNoHandle);
  // One receive of at most `size` bytes; 0 means the peer has closed its side, or this
  // socket's receiving was shut down.
  std::size_t Receive(std::uint8_t* buffer, std::size_t size);
  // One send; returns how many bytes the system took (possibly fewer than `size`).
  std::size_t Send(const std::uint8_t* data, std::size_t size);

  enum class Direction { kReceive, kSend, kBoth };
  // Ends one or both directions; errors (not connected, ...) are ignored. Wakes a wait or a
  // blocked receive or send on this socket in another thread.
  void Shutdown(Direction direction) noexcept;
  // Closes the handle; closing a closed socket does nothing.
  void Close() noexcept;

  // Bytes sent on this socket that the peer has not acknowledged yet (its FIN included).
  // Stays above 0 after a reset: a receive then reports the end of the connection. Windows
  // cannot tell: there a socket that has sent anything reports kUnknownPending for good, so
  // a close that waits for delivery waits for the peer to close instead.
  std::size_t PendingOutput() const noexcept;
  static constexpr std::size_t kUnknownPending = std::size_t{1} << 30;

  std::uint16_t LocalPort() const;

 private:
  int handle_ = kNoHandle;
  // Kept where the system cannot tell PendingOutput (Windows); POSIX asks the system.
  [[maybe_unused]] bool has_sent_ = false;
};

// A one-way signal that readiness waits can watch beside their sockets: readable from the
// first Signal() on, for good. Used to wake a thread from waits that closing a socket
// cannot end (a connect attempt, a name lookup on another thread). An eventfd (or a pipe)
// on POSIX; on Windows, whose waits watch only sockets, a loopback datagram socket that
// holds the one datagram sent to itself.
class WakeEvent {
 public:
  // Raises EIdSocketError when the system has no descriptor left.
  WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;
  ~WakeEvent();

  // Any thread, any number of times.
  void Signal() noexcept;
  int Handle() const { return read_; }

 private:
  int read_ = Socket::kNoHandle;
  int write_ = Socket::kNoHandle;
};

// Waits until at least one of `handles` is readable, or `timeout_ms` has passed (-1: no
// limit). A closed peer or a pending error counts as readable, so the next receive reports
// it. Sets `readable[i]` for every handle; returns how many are readable (0 on time-out;
// an interruption by a signal also returns 0 when a limit was given).
int WaitForReadable(std::span<const int> handles, std::span<bool> readable, int timeout_ms);

}  // namespace velmor
