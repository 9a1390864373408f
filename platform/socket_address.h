#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// IPv4 address texts and host names.
namespace velmor {

// Four dot-separated decimal numbers, each 0 to 255 ("127.0.0.1"), as an address in host
// byte order; anything else (a fifth part, a sign, a blank, a number above 255) is nullopt.
std::optional<std::uint32_t> ParseDottedQuad(std::string_view text);

// Looks `host` up by name and returns its first IPv4 address in host byte order. May block
// for as long as the system's resolver takes. Raises EIdSocketError (11001 "Host not
// found." and its neighbours) when there is none.
std::uint32_t LookupHostName(const std::string& host);

// The numeric spellings the system's resolver turns into an IPv4 address without asking
// anyone: one to four dot-separated numbers, each decimal, octal (leading 0) or hex (0x),
// the last one filling the remaining bytes ("127.1", "0x7f.1", "2130706433", "0"), and an
// IPv4-mapped IPv6 address ("::ffff:127.0.0.1"). nullopt for anything else.
std::optional<std::uint32_t> ParseNumericAddress(std::string_view text);

// The IPv4 address inside an IPv4-mapped IPv6 address text ("::ffff:127.0.0.1"), read as
// the system reads IPv6 texts; nullopt for anything else.
std::optional<std::uint32_t> ParseMappedIPv6(std::string_view text);

// True for an IPv4 address (host byte order) that reaches this machine: 127.x.x.x, 0.0.0.0
// and the addresses of its interfaces.
bool IsThisMachineAddress(std::uint32_t address);

// True for an IPv6 address text that names this machine: "::1", "::" or an address of one
// of its interfaces.
bool IsThisMachineIPv6Text(const std::string& text);

// True when `host` is this machine's own host name, letter case ignored. Asks no name server.
bool IsOwnHostName(const std::string& host);

}  // namespace velmor
