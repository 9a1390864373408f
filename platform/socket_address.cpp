#include "platform/socket_address.h"

#include <algorithm>

#include "platform/system_addresses.h"

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

namespace {

// One part of a numeric IPv4 address from text[i]: decimal, octal after a leading 0, hex
// after 0x. nullopt without a digit, with a digit foreign to the base, or above 32 bits.
std::optional<std::uint64_t> ParseAddressPart(std::string_view text, std::size_t& i) {
  auto digit_at = [&text](std::size_t at, int base) -> int {
    if (at >= text.size()) return -1;
    const char c = text[at];
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < base ? value : -1;
  };
  if (digit_at(i, 10) < 0) return std::nullopt;
  int base = 10;
  if (text[i] == '0') {
    base = 8;
    if (i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
      base = 16;
      i += 2;
      if (digit_at(i, 16) < 0) return std::nullopt;
    }
  }
  std::uint64_t value = 0;
  for (int digit; (digit = digit_at(i, base)) >= 0; ++i) {
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  // An 8 or 9 in an octal part ends the number where the system refuses it.
  if (base == 8 && digit_at(i, 10) >= 0) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> ParseIPv4Numbers(std::string_view text) {
  std::uint64_t parts[4] = {};
  int count = 0;
  std::size_t i = 0;
  for (;;) {
    std::optional<std::uint64_t> part = ParseAddressPart(text, i);
    if (!part) return std::nullopt;
    parts[count++] = *part;
    if (i == text.size()) break;
    if (text[i] != '.' || count == 4 || *part > 0xFF) return std::nullopt;
    ++i;
  }
  // The last part fills the bytes the others left.
  const int last_bits = 8 * (5 - count);
  if (last_bits < 32 && parts[count - 1] >> last_bits != 0) return std::nullopt;
  std::uint64_t address = parts[count - 1];
  for (int k = 0; k < count - 1; ++k) address |= parts[k] << (24 - 8 * k);
  return static_cast<std::uint32_t>(address);
}

}  // namespace

std::optional<std::uint32_t> ParseNumericAddress(std::string_view text) {
  if (std::optional<std::uint32_t> address = ParseIPv4Numbers(text)) return address;
  return ParseMappedIPv6(text);
}

std::optional<std::uint32_t> ParseMappedIPv6(std::string_view text) {
  const std::optional<IPv6Bytes> v6 = ParseIPv6Text(text);
  // ::ffff:a.b.c.d: ten zero bytes, two 0xff bytes, then the IPv4 address.
  if (!v6 || !std::all_of(v6->begin(), v6->begin() + 10, [](std::uint8_t b) { return b == 0; }) ||
      (*v6)[10] != 0xFF || (*v6)[11] != 0xFF) {
    return std::nullopt;
  }
  return std::uint32_t{(*v6)[12]} << 24 | std::uint32_t{(*v6)[13]} << 16 |
         std::uint32_t{(*v6)[14]} << 8 | (*v6)[15];
}

bool IsThisMachineAddress(std::uint32_t address) {
  if ((address >> 24) == 127 || address == 0) return true;
  const std::vector<std::uint32_t> own = InterfaceIPv4Addresses();
  return std::find(own.begin(), own.end(), address) != own.end();
}

bool IsThisMachineIPv6Text(const std::string& text) {
  const std::optional<IPv6Bytes> v6 = ParseIPv6Text(text);
  if (!v6) return false;
  constexpr IPv6Bytes kUnspecified{};
  constexpr IPv6Bytes kLoopback{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  if (*v6 == kUnspecified || *v6 == kLoopback) return true;
  const std::vector<IPv6Bytes> own = InterfaceIPv6Addresses();
  return std::find(own.begin(), own.end(), *v6) != own.end();
}

}  // namespace velmor
