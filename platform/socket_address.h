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

// True when `host` names this machine: "localhost" in any letter case, any 127.x.x.x
// address, 0.0.0.0, an IPv4 address of a local interface, or the machine's own host name
// (letter case ignored). Never asks a name server, so the main thread may call it.
bool NamesThisMachine(const std::string& host);

}  // namespace velmor
