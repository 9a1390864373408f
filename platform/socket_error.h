#pragma once

#include <string>

#include "platform/exception.h"

// Socket errors in the Windows Sockets numbering, whatever the platform: the relay's
// rules (which codes close a connection, which end a listener) are written in it. On POSIX,
// platform/posix/socket_errno.h maps the system's errno values onto it.
namespace velmor {

constexpr int kWsaInterrupted = 10004;      // WSAEINTR
constexpr int kWsaAccessDenied = 10013;     // WSAEACCES
constexpr int kWsaWouldBlock = 10035;       // WSAEWOULDBLOCK
constexpr int kWsaNotSocket = 10038;        // WSAENOTSOCK
constexpr int kWsaAddressInUse = 10048;     // WSAEADDRINUSE
constexpr int kWsaAddressNotAvail = 10049;  // WSAEADDRNOTAVAIL
constexpr int kWsaConnAborted = 10053;      // WSAECONNABORTED
constexpr int kWsaConnReset = 10054;        // WSAECONNRESET
constexpr int kWsaShutdown = 10058;         // WSAESHUTDOWN
constexpr int kWsaTimedOut = 10060;         // WSAETIMEDOUT
constexpr int kWsaConnRefused = 10061;      // WSAECONNREFUSED
constexpr int kWsaHostNotFound = 11001;     // WSAHOST_NOT_FOUND
constexpr int kWsaTryAgain = 11002;         // WSATRY_AGAIN
constexpr int kWsaNoRecovery = 11003;       // WSANO_RECOVERY
constexpr int kWsaNoData = 11004;           // WSANO_DATA

// The fixed description of a Windows Sockets number ("Connection reset by peer."), or ""
// for a number without an entry.
std::string SocketErrorDescription(int code);

// A failed socket operation. Message: "Socket Error # <code>\r\n<description>".
class EIdSocketError : public Exception {
 public:
  explicit EIdSocketError(int code);
  int LastError() const { return code_; }

 private:
  int code_;
};

// An operation on a connection that is already closed (locally, or by the peer).
class EIdClosedSocket : public Exception {
 public:
  EIdClosedSocket();
};

// Throws EIdSocketError for the calling thread's last socket failure (errno on POSIX,
// WSAGetLastError on Windows).
[[noreturn]] void RaiseLastSocketError();

}  // namespace velmor
