#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <utility>

#include "platform/posix/socket_errno.h"
#include "platform/socket_error.h"

namespace velmor {
namespace {

TEST(SocketErrorTest, ErrnoMapsToWindowsSocketsNumbers) {
  const std::pair<int, int> rows[] = {
      {ECONNRESET, 10054},    {ECONNABORTED, 10053},    {EADDRINUSE, 10048},
      {ECONNREFUSED, 10061},  {ETIMEDOUT, 10060},       {EACCES, 10013},
      {EADDRNOTAVAIL, 10049}, {EPIPE, 10058},           {ESHUTDOWN, 10058},
      {EINTR, 10004},         {EBADF, 10038},           {ENOTSOCK, 10038},
      {EWOULDBLOCK, 10035},   {EINPROGRESS, 10036},     {EALREADY, 10037},
      {EDESTADDRREQ, 10039},  {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
      {ENOPROTOOPT, 10042},   {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
      {EOPNOTSUPP, 10045},    {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
      {ENETDOWN, 10050},      {ENETUNREACH, 10051},     {ENETRESET, 10052},
      {ENOBUFS, 10055},       {EISCONN, 10056},         {ENOTCONN, 10057},
      {ETOOMANYREFS, 10059},  {ELOOP, 10062},           {ENAMETOOLONG, 10063},
      {EHOSTDOWN, 10064},     {EHOSTUNREACH, 10065},    {EMFILE, 10024},
      {EINVAL, 10022},        {EFAULT, 10014},
  };
  for (const auto& [error, code] : rows) EXPECT_EQ(WsaErrorFromErrno(error), code) << error;
}

TEST(SocketErrorTest, FailedLookupIsHostNotFound) {
  EXPECT_EQ(WsaErrorFromLookup(EAI_NONAME), 11001);
  EXPECT_EQ(WsaErrorFromLookup(EAI_AGAIN), 11002);
}

TEST(SocketErrorTest, RaiseLastSocketErrorUsesErrno) {
  errno = ECONNREFUSED;
  try {
    RaiseLastSocketError();
  } catch (const EIdSocketError& error) {
    EXPECT_EQ(error.LastError(), 10061);
    EXPECT_STREQ(error.what(), "Socket Error # 10061\r\nConnection refused.");
  }
}

}  // namespace
}  // namespace velmor
