#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// What the system itself says about addresses, for the portable address logic of
// platform/socket_address.cpp; each system's half is in its socket_address.cpp.
namespace velmor {

using IPv6Bytes = std::array<std::uint8_t, 16>;

// An IPv6 address text as the system reads it (inet_pton), in network byte order.
std::optional<IPv6Bytes> ParseIPv6Text(std::string_view text);

// The addresses of this machine's interfaces: IPv4 in host byte order; empty when the
// system cannot list them.
std::vector<std::uint32_t> InterfaceIPv4Addresses();
std::vector<IPv6Bytes> InterfaceIPv6Addresses();

}  // namespace velmor
