#pragma once

#include <cstdint>

namespace velmor {

// Names one relayed connection to the decoding state. Any object that lives exactly as long
// as the connection serves, by its address.
enum class ConnectionId : std::uintptr_t {};

template <typename Connection>
ConnectionId ConnectionIdOf(const Connection& connection) {
  return static_cast<ConnectionId>(reinterpret_cast<std::uintptr_t>(&connection));
}

}  // namespace velmor
