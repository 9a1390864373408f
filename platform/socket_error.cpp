#include "platform/socket_error.h"

#include <netdb.h>

#include <cerrno>
#include <cstdio>

namespace velmor {
namespace {

// Each Windows Sockets error: its number, the errno values that mean it on POSIX systems
// (0 where there are fewer), and its fixed description.
struct SocketErrorEntry {
  int wsa;
  int posix[2];
  const char* description;
};

constexpr SocketErrorEntry kSocketErrors[] = {
    {10004, {EINTR, 0}, "Interrupted system call."},
    {10009, {0, 0}, "Bad file number."},
    {10013, {EACCES, EPERM}, "Access denied."},
    {10014, {EFAULT, 0}, "Bad address."},
    {10022, {EINVAL, 0}, "Invalid argument."},
    {10024, {EMFILE, ENFILE}, "Too many open files."},
    {10035, {EWOULDBLOCK, 0}, "Operation would block."},
    {10036, {EINPROGRESS, 0}, "Operation now in progress."},
    {10037, {EALREADY, 0}, "Operation already in progress."},
    {10038, {EBADF, ENOTSOCK}, "Socket operation on non-socket."},
    {10039, {EDESTADDRREQ, 0}, "Destination address required."},
    {10040, {EMSGSIZE, 0}, "Message too long."},
    {10041, {EPROTOTYPE, 0}, "Protocol wrong type for socket."},
    {10042, {ENOPROTOOPT, 0}, "Bad protocol option."},
    {10043, {EPROTONOSUPPORT, 0}, "Protocol not supported."},
    {10044, {ESOCKTNOSUPPORT, 0}, "Socket type not supported."},
    {10045, {EOPNOTSUPP, 0}, "Operation not supported on socket."},
    {10046, {EPFNOSUPPORT, 0}, "Protocol family not supported."},
    {10047, {EAFNOSUPPORT, 0}, "Address family not supported by protocol family."},
    {10048, {EADDRINUSE, 0}, "Address already in use."},
    {10049, {EADDRNOTAVAIL, 0}, "Cannot assign requested address."},
    {10050, {ENETDOWN, 0}, "Network is down."},
    {10051, {ENETUNREACH, 0}, "Network is unreachable."},
    {10052, {ENETRESET, 0}, "Net dropped connection or reset."},
    {10053, {ECONNABORTED, 0}, "Software caused connection abort."},
    {10054, {ECONNRESET, 0}, "Connection reset by peer."},
    {10055, {ENOBUFS, ENOMEM}, "No buffer space available."},
    {10056, {EISCONN, 0}, "Socket is already connected."},
    {10057, {ENOTCONN, 0}, "Socket is not connected."},
    {10058, {EPIPE, ESHUTDOWN}, "Cannot send or receive after socket is closed."},
    {10059, {ETOOMANYREFS, 0}, "Too many references, cannot splice."},
    {10060, {ETIMEDOUT, 0}, "Connection timed out."},
    {10061, {ECONNREFUSED, 0}, "Connection refused."},
    {10062, {ELOOP, 0}, "Too many levels of symbolic links."},
    {10063, {ENAMETOOLONG, 0}, "File name too long."},
    {10064, {EHOSTDOWN, 0}, "Host is down."},
    {10065, {EHOSTUNREACH, 0}, "No route to host."},
    {10066, {ENOTEMPTY, 0}, "Directory not empty."},
    {10067, {0, 0}, "Too many processes."},
    {10068, {EUSERS, 0}, "Too many users."},
    {10069, {EDQUOT, 0}, "Disk quota exceeded."},
    {10070, {ESTALE, 0}, "Stale NFS file handle."},
    {10071, {EREMOTE, 0}, "Too many levels of remote in path."},
    {10091, {0, 0}, "Network subsystem is unavailable."},
    {10092, {0, 0}, "WINSOCK DLL Version out of range."},
    {10093, {0, 0}, "Winsock not loaded yet."},
    {10101, {0, 0}, "Graceful shutdown in progress."},
    {11001, {0, 0}, "Host not found."},
    {11002, {0, 0}, "Non-authoritative response (try again or check DNS setup)."},
    {11003, {0, 0}, "Non-recoverable errors: FORMERR, REFUSED, NOTIMP."},
    {11004, {0, 0}, "Valid name, no data record (check DNS setup)."},
};

const SocketErrorEntry* FindEntry(int wsa) {
  for (const SocketErrorEntry& entry : kSocketErrors) {
    if (entry.wsa == wsa) return &entry;
  }
  return nullptr;
}

}  // namespace

int WsaErrorFromErrno(int error) {
  // EWOULDBLOCK and EAGAIN are one value on most systems, but not on all.
  if (error == EAGAIN) error = EWOULDBLOCK;
  for (const SocketErrorEntry& entry : kSocketErrors) {
    if (error != 0 && (entry.posix[0] == error || entry.posix[1] == error)) return entry.wsa;
  }
  return error;
}

int WsaErrorFromLookup(int gai_error) {
  switch (gai_error) {
    case EAI_AGAIN:
      return kWsaTryAgain;
    case EAI_FAIL:
      return kWsaNoRecovery;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return kWsaNoData;
#endif
    case EAI_MEMORY:
      return 10055;
    case EAI_SYSTEM:
      return WsaErrorFromErrno(errno);
    default:
      return kWsaHostNotFound;
  }
}

std::string SocketErrorDescription(int code) {
  const SocketErrorEntry* entry = FindEntry(code);
  return entry != nullptr ? entry->description : "";
}

namespace {

std::string SocketErrorMessage(int code) {
  char number[16];
  std::snprintf(number, sizeof number, "%d", code);
  return std::string("Socket Error # ") + number + "\r\n" + SocketErrorDescription(code);
}

}  // namespace

EIdSocketError::EIdSocketError(int code) : Exception(SocketErrorMessage(code)), code_(code) {}

EIdClosedSocket::EIdClosedSocket() : Exception("Disconnected.") {}

void RaiseLastSocketError() {
  throw EIdSocketError(WsaErrorFromErrno(errno));
}

}  // namespace velmor
