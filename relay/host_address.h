#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/socket.h"

// How the relay turns its server address text into an IPv4 address.
namespace velmor {

// Looks a host name up; raises EIdSocketError when there is no IPv4 address for it.
using HostLookup = std::function<std::uint32_t(const std::string&)>;

// The address `host` stands for without a lookup: "LOCALHOST" in any letter case is
// 127.0.0.1, four dot-separated decimal numbers of 0 to 255 are taken as they stand, and
// the other numeric spellings the system's resolver knows ("127.1", "0x7f.1", "::ffff:
// 127.0.0.1"; ParseNumericAddress) give what the resolver would give. nullopt for a name.
// An empty text names no host on any system: EIdSocketError 11001 (host not found).
std::optional<std::uint32_t> ResolveWithoutLookup(const std::string& host);

// ResolveWithoutLookup, and anything else (also "1.2.3.256") goes to `lookup`, which by
// default asks the system's resolver. Result in host byte order.
std::uint32_t ResolveHost(const std::string& host, const HostLookup& lookup = {});

// As ResolveHost, but ends early when `wake` is signalled: a name is looked up on a thread
// of its own while the caller waits for the answer or the wake-up, whichever comes first.
// The wake-up raises EIdSocketError 10004 (interrupted) and leaves the lookup to finish
// alone; no lookup can be called off, and the system's resolver may take many seconds.
std::uint32_t ResolveHost(const std::string& host, const HostLookup& lookup, const WakeEvent& wake);

// True when the relay would reach this machine at `host`: every spelling above of a
// loopback, unspecified or local interface address, "::1" and other IPv6 texts of this
// machine, and its own host name. Never looks a name up, so the main thread may ask.
bool NamesThisMachine(const std::string& host);

}  // namespace velmor
