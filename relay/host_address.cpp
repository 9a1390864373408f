#include "relay/host_address.h"

#include <optional>

#include "platform/socket_address.h"

namespace velmor {

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

bool IsLocalhostName(const std::string& host) {
  static constexpr char kName[] = "LOCALHOST";
  if (host.size() != sizeof kName - 1) return false;
  for (std::size_t i = 0; i < host.size(); ++i) {
    char c = host[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kName[i]) return false;
  }
  return true;
}

}  // namespace

std::uint32_t ResolveHost(const std::string& host, const HostLookup& lookup) {
  if (IsLocalhostName(host)) return kLoopback;
  if (std::optional<std::uint32_t> address = ParseDottedQuad(host)) return *address;
  return lookup ? lookup(host) : LookupHostName(host);
}

}  // namespace velmor
