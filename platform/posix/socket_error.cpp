#include <netdb.h>

#include <cerrno>

#include "platform/posix/socket_errno.h"
#include "platform/socket_error.h"

namespace velmor {
namespace {

// Each Windows Sockets error that POSIX systems report, and the errno values that mean it.
struct ErrnoEntry {
  int wsa;
  int posix[2];
};

constexpr ErrnoEntry kErrnoValues[] = {
    {10004, {EINTR, 0}},        {10013, {EACCES, EPERM}},      {10014, {EFAULT, 0}},
    {10022, {EINVAL, 0}},       {10024, {EMFILE, ENFILE}},     {10035, {EWOULDBLOCK, 0}},
    {10036, {EINPROGRESS, 0}},  {10037, {EALREADY, 0}},        {10038, {EBADF, ENOTSOCK}},
    {10039, {EDESTADDRREQ, 0}}, {10040, {EMSGSIZE, 0}},        {10041, {EPROTOTYPE, 0}},
    {10042, {ENOPROTOOPT, 0}},  {10043, {EPROTONOSUPPORT, 0}}, {10044, {ESOCKTNOSUPPORT, 0}},
    {10045, {EOPNOTSUPP, 0}},   {10046, {EPFNOSUPPORT, 0}},    {10047, {EAFNOSUPPORT, 0}},
    {10048, {EADDRINUSE, 0}},   {10049, {EADDRNOTAVAIL, 0}},   {10050, {ENETDOWN, 0}},
    {10051, {ENETUNREACH, 0}},  {10052, {ENETRESET, 0}},       {10053, {ECONNABORTED, 0}},
    {10054, {ECONNRESET, 0}},   {10055, {ENOBUFS, ENOMEM}},    {10056, {EISCONN, 0}},
    {10057, {ENOTCONN, 0}},     {10058, {EPIPE, ESHUTDOWN}},   {10059, {ETOOMANYREFS, 0}},
    {10060, {ETIMEDOUT, 0}},    {10061, {ECONNREFUSED, 0}},    {10062, {ELOOP, 0}},
    {10063, {ENAMETOOLONG, 0}}, {10064, {EHOSTDOWN, 0}},       {10065, {EHOSTUNREACH, 0}},
    {10066, {ENOTEMPTY, 0}},    {10068, {EUSERS, 0}},          {10069, {EDQUOT, 0}},
    {10070, {ESTALE, 0}},       {10071, {EREMOTE, 0}},
};

}  // namespace

int WsaErrorFromErrno(int error) {
  // EWOULDBLOCK and EAGAIN are one value on most systems, but not on all.
  if (error == EAGAIN) error = EWOULDBLOCK;
  for (const ErrnoEntry& entry : kErrnoValues) {
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

void RaiseLastSocketError() {
  throw EIdSocketError(WsaErrorFromErrno(errno));
}

}  // namespace velmor
