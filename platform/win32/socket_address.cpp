#include "platform/socket_address.h"

#include <winsock2.h>
#include <ws2tcpip.h>

// After the two above, which it needs: the interface list of the IP helper.
#include <iphlpapi.h>

#include <cstring>
#include <vector>

#include "platform/socket.h"
#include "platform/socket_error.h"
#include "platform/system_addresses.h"
#include "platform/text_codec.h"

namespace velmor {

std::uint32_t LookupHostName(const std::string& host) {
  StartSocketLayer();
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  // The name as the user typed it, not as the ANSI code page would read its bytes.
  const int error = GetAddrInfoW(Windows1252ToWide(host).c_str(), nullptr, &hints, &found);
  // Its failures are Windows Sockets numbers already (11001 for an unknown host).
  if (error != 0) throw EIdSocketError(error);
  std::optional<std::uint32_t> address;
  for (ADDRINFOW* entry = found; entry != nullptr && !address; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET) {
      address = ntohl(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
    }
  }
  FreeAddrInfoW(found);
  if (!address) throw EIdSocketError(kWsaHostNotFound);
  return *address;
}

namespace {

// Every unicast interface address of the family, handed to `take`.
template <typename Take>
void ForEachInterfaceAddress(ULONG family, Take take) {
  std::vector<unsigned char> buffer;
  ULONG size = 16 * 1024;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int tries = 0; tries < 3 && result == ERROR_BUFFER_OVERFLOW; ++tries) {
    buffer.resize(size);
    result = GetAdaptersAddresses(
        family, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER, nullptr,
        reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return;
  for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
       adapter != nullptr; adapter = adapter->Next) {
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress;
         unicast != nullptr; unicast = unicast->Next) {
      const sockaddr* entry = unicast->Address.lpSockaddr;
      if (entry != nullptr && entry->sa_family == family) take(entry);
    }
  }
}

IPv6Bytes BytesOf(const in6_addr& address) {
  IPv6Bytes bytes{};
  std::memcpy(bytes.data(), &address, bytes.size());
  return bytes;
}

}  // namespace

std::optional<IPv6Bytes> ParseIPv6Text(std::string_view text) {
  StartSocketLayer();
  in6_addr address{};
  if (::inet_pton(AF_INET6, std::string(text).c_str(), &address) != 1) return std::nullopt;
  return BytesOf(address);
}

std::vector<std::uint32_t> InterfaceIPv4Addresses() {
  std::vector<std::uint32_t> addresses;
  ForEachInterfaceAddress(AF_INET, [&addresses](const sockaddr* entry) {
    addresses.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(entry)->sin_addr.s_addr));
  });
  return addresses;
}

std::vector<IPv6Bytes> InterfaceIPv6Addresses() {
  std::vector<IPv6Bytes> addresses;
  ForEachInterfaceAddress(AF_INET6, [&addresses](const sockaddr* entry) {
    addresses.push_back(BytesOf(reinterpret_cast<const sockaddr_in6*>(entry)->sin6_addr));
  });
  return addresses;
}

bool IsOwnHostName(const std::string& host) {
  StartSocketLayer();
  wchar_t name[256] = {};
  if (GetHostNameW(name, 255) != 0) return false;
  return name[0] != L'\0' && EqualsIgnoringCase(WideToWindows1252(name), host);
}

}  // namespace velmor
