#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>

#include "tests/support/loopback.h"

// The loopback helpers of the tests, with a benchmark's longer patience: a stuck peer ends a
// benchmark with an error instead of hanging `make bench`.
namespace velmor::bench {

using testing::kLoopback;
using testing::ListenLoopback;
using testing::ReceiveExactly;
using testing::SendAll;
using testing::UnusedPort;
using testing::WaitUntilListening;

constexpr auto kPatience = std::chrono::seconds(20);

inline Socket ConnectTo(std::uint16_t port) {
  return testing::ConnectTo(port, kLoopback, kPatience);
}

// The next connection on `listener`; raises when none comes within the patience.
inline Socket AcceptWithin(const Socket& listener) {
  Socket accepted = testing::AcceptWithin(listener, kPatience);
  if (!accepted.IsOpen()) throw std::runtime_error("no connection arrived");
  return accepted;
}

}  // namespace velmor::bench
