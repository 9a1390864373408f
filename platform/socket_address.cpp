#include "platform/socket_address.h"

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

}  // namespace velmor
