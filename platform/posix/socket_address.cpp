#include "platform/socket_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/posix/socket_errno.h"
#include "platform/socket_error.h"
#include "platform/text_codec.h"

namespace velmor {

std::uint32_t LookupHostName(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int error = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (error != 0) throw EIdSocketError(WsaErrorFromLookup(error));
  std::optional<std::uint32_t> address;
  for (addrinfo* entry = found; entry != nullptr && !address; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET) {
      address = ntohl(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
    }
  }
  ::freeaddrinfo(found);
  if (!address) throw EIdSocketError(kWsaHostNotFound);
  return *address;
}

namespace {

template <typename Match>
bool AnyInterfaceAddress(int family, Match match) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return false;
  bool found = false;
  for (ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
    if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == family) {
      found = match(entry->ifa_addr);
    }
  }
  ::freeifaddrs(list);
  return found;
}

}  // namespace

std::optional<std::uint32_t> ParseMappedIPv6(std::string_view text) {
  in6_addr v6{};
  if (::inet_pton(AF_INET6, std::string(text).c_str(), &v6) != 1) return std::nullopt;
  if (!IN6_IS_ADDR_V4MAPPED(&v6)) return std::nullopt;
  const std::uint8_t* bytes = v6.s6_addr;
  return std::uint32_t{bytes[12]} << 24 | std::uint32_t{bytes[13]} << 16 |
         std::uint32_t{bytes[14]} << 8 | bytes[15];
}

bool IsThisMachineAddress(std::uint32_t address) {
  if ((address >> 24) == 127 || address == 0) return true;
  return AnyInterfaceAddress(AF_INET, [address](const sockaddr* entry) {
    return ntohl(reinterpret_cast<const sockaddr_in*>(entry)->sin_addr.s_addr) == address;
  });
}

bool IsThisMachineIPv6Text(const std::string& text) {
  in6_addr v6{};
  if (::inet_pton(AF_INET6, text.c_str(), &v6) != 1) return false;
  if (IN6_IS_ADDR_LOOPBACK(&v6) || IN6_IS_ADDR_UNSPECIFIED(&v6)) return true;
  return AnyInterfaceAddress(AF_INET6, [&v6](const sockaddr* entry) {
    return IN6_ARE_ADDR_EQUAL(&reinterpret_cast<const sockaddr_in6*>(entry)->sin6_addr, &v6);
  });
}

bool IsOwnHostName(const std::string& host) {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return false;
  return name[0] != '\0' && EqualsIgnoringCase(name, host);
}

}  // namespace velmor
