#include "relay/host_address.h"

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

std::optional<std::uint32_t> ResolveWithoutLookup(const std::string& host) {
  if (IsLocalhostName(host)) return kLoopback;
  // Before the system's spellings: "010.0.0.1" is ten, not eight, as the relay always took it.
  if (std::optional<std::uint32_t> address = ParseDottedQuad(host)) return address;
  return ParseNumericAddress(host);
}

std::uint32_t ResolveHost(const std::string& host, const HostLookup& lookup) {
  if (std::optional<std::uint32_t> address = ResolveWithoutLookup(host)) return *address;
  return lookup ? lookup(host) : LookupHostName(host);
}

bool NamesThisMachine(const std::string& host) {
  if (std::optional<std::uint32_t> address = ResolveWithoutLookup(host)) {
    return IsThisMachineAddress(*address);
  }
  return IsThisMachineIPv6Text(host) || (!host.empty() && IsOwnHostName(host));
}

}  // namespace velmor
