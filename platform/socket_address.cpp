#include "platform/socket_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/socket_error.h"
#include "platform/text_codec.h"

namespace velmor {

std::optional<std::uint32_t> ParseDottedQuad(std::string_view text) {
  std::uint32_t address = 0;
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    std::size_t start = i;
    std::uint32_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
      if (value > 255) return std::nullopt;
      ++i;
    }
    if (i == start) return std::nullopt;
    address = (address << 8) | value;
    ++parts;
    if (parts < 4) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  return address;
}

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

bool IsLocalInterfaceAddress(std::uint32_t address) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return false;
  bool found = false;
  for (ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
    if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
      auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
      found = ntohl(in->sin_addr.s_addr) == address;
    }
  }
  ::freeifaddrs(list);
  return found;
}

bool IsOwnHostName(const std::string& host) {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return false;
  return name[0] != '\0' && EqualsIgnoringCase(name, host);
}

}  // namespace

bool NamesThisMachine(const std::string& host) {
  if (EqualsIgnoringCase(host, "localhost")) return true;
  if (std::optional<std::uint32_t> address = ParseDottedQuad(host)) {
    if ((*address >> 24) == 127 || *address == 0) return true;
    return IsLocalInterfaceAddress(*address);
  }
  return !host.empty() && IsOwnHostName(host);
}

}  // namespace velmor
