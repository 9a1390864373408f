#include "platform/socket_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix/socket_errno.h"
#include "platform/socket_error.h"
#include "platform/system_addresses.h"
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

// Every interface address of the family, handed to `take`.
template <typename Take>
void ForEachInterfaceAddress(int family, Take take) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return;
  for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == family) take(entry->ifa_addr);
  }
  ::freeifaddrs(list);
}

IPv6Bytes BytesOf(const in6_addr& address) {
  IPv6Bytes bytes{};
  std::memcpy(bytes.data(), &address, bytes.size());
  return bytes;
}

}  // namespace

std::optional<IPv6Bytes> ParseIPv6Text(std::string_view text) {
  in6_addr address{};
  if (::inet_pton(AF_INET6, std::string(text).c_str(), &address) != 1) return std::nullopt;
  return BytesOf(address);
}

std::vector<std::uint32_t> InterfaceIPv4Addresses() {
  std::vector<std::uint32_t> addresses;
  ForEachInterfaceAddress(AF_INET, [&addresses](const sockaddr* entry) {
    addresses.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(entry)->sin_addr.s_addr));
  });
  return addresses;
}

std::vector<IPv6Bytes> InterfaceIPv6Addresses() {
  std::vector<IPv6Bytes> addresses;
  ForEachInterfaceAddress(AF_INET6, [&addresses](const sockaddr* entry) {
    addresses.push_back(BytesOf(reinterpret_cast<const sockaddr_in6*>(entry)->sin6_addr));
  });
  return addresses;
}

bool IsOwnHostName(const std::string& host) {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return false;
  return name[0] != '\0' && EqualsIgnoringCase(name, host);
}

}  // namespace velmor
