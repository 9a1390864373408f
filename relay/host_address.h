#pragma once

#include <cstdint>
#include <functional>
#include <string>

// How the relay turns its server address text into an IPv4 address.
namespace velmor {

// Looks a host name up; raises EIdSocketError when there is no IPv4 address for it.
using HostLookup = std::function<std::uint32_t(const std::string&)>;

// "LOCALHOST" in any letter case is 127.0.0.1 and four dot-separated decimal numbers of 0
// to 255 are taken as they stand, both without a lookup; anything else (also "1.2.3.256")
// goes to `lookup`, which by default asks the system's resolver. Result in host byte order.
std::uint32_t ResolveHost(const std::string& host, const HostLookup& lookup = {});

}  // namespace velmor
