#include "relay/host_address.h"

#include <array>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/socket_address.h"
#include "platform/socket_error.h"
#include "platform/text_codec.h"

namespace velmor {

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

}  // namespace

std::optional<std::uint32_t> ResolveWithoutLookup(const std::string& host) {
  // An empty name is no host anywhere; Windows would look it up as this machine's own.
  if (host.empty()) throw EIdSocketError(kWsaHostNotFound);
  if (EqualsIgnoringCase(host, "localhost")) return kLoopback;
  // Before the system's spellings: "010.0.0.1" is ten, not eight, as the relay always took it.
  if (std::optional<std::uint32_t> address = ParseDottedQuad(host)) return address;
  return ParseNumericAddress(host);
}

std::uint32_t ResolveHost(const std::string& host, const HostLookup& lookup) {
  if (std::optional<std::uint32_t> address = ResolveWithoutLookup(host)) return *address;
  return lookup ? lookup(host) : LookupHostName(host);
}

std::uint32_t ResolveHost(const std::string& host, const HostLookup& lookup,
                          const WakeEvent& wake) {
  if (std::optional<std::uint32_t> address = ResolveWithoutLookup(host)) return *address;
  // Shared with the lookup's thread, which may outlive the caller.
  struct Answer {
    WakeEvent ready;
    std::mutex mutex;
    std::uint32_t address = 0;
    std::exception_ptr error;
  };
  auto answer = std::make_shared<Answer>();
  try {
    std::thread([answer, host, lookup] {
      std::uint32_t address = 0;
      std::exception_ptr error;
      try {
        address = lookup ? lookup(host) : LookupHostName(host);
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard lock(answer->mutex);
        answer->address = address;
        answer->error = error;
      }
      answer->ready.Signal();
    }).detach();
  } catch (const std::system_error&) {
    throw EIdSocketError(kWsaTryAgain);
  }
  const std::array<int, 2> handles{answer->ready.Handle(), wake.Handle()};
  std::array<bool, 2> readable{};
  WaitForReadable(handles, readable, -1);
  if (!readable[0]) throw EIdSocketError(kWsaInterrupted);
  std::lock_guard lock(answer->mutex);
  if (answer->error) std::rethrow_exception(answer->error);
  return answer->address;
}

bool NamesThisMachine(const std::string& host) {
  if (host.empty()) return false;
  if (std::optional<std::uint32_t> address = ResolveWithoutLookup(host)) {
    return IsThisMachineAddress(*address);
  }
  return IsThisMachineIPv6Text(host) || IsOwnHostName(host);
}

}  // namespace velmor
