#pragma once

#include <sys/socket.h>
#include <sys/time.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

// Loopback plumbing for the benchmarks: connecting, accepting, moving exact byte counts,
// and seeing when another process listens. Every wait is bounded, so a stuck peer ends a
// benchmark with an error instead of hanging `make bench`.
namespace velmor::bench {

constexpr std::uint32_t kLoopback = 0x7F000001;
constexpr int kPatienceSeconds = 20;

inline void LimitWaits(Socket& socket) {
  timeval limit{kPatienceSeconds, 0};
  setsockopt(socket.Handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(socket.Handle(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

inline Socket ListenLoopback() {
  Socket socket = Socket::Open();
  socket.Bind(kLoopback, 0);
  socket.Listen(16);
  return socket;
}

inline Socket ConnectTo(std::uint16_t port) {
  Socket socket = Socket::Open();
  socket.Connect(kLoopback, port);
  LimitWaits(socket);
  return socket;
}

// The next connection on `listener`; raises when none comes within the patience.
inline Socket AcceptWithin(const Socket& listener) {
  int handle = listener.Handle();
  bool readable = false;
  if (WaitForReadable({&handle, 1}, {&readable, 1}, kPatienceSeconds * 1000) == 0) {
    throw std::runtime_error("no connection arrived");
  }
  Socket accepted = listener.Accept();
  LimitWaits(accepted);
  return accepted;
}

inline void SendAll(Socket& socket, const std::uint8_t* data, std::size_t size) {
  std::size_t sent = 0;
  while (sent < size) sent += socket.Send(data + sent, size - sent);
}

// Fills `buffer` completely; false when the peer closed first.
inline bool ReceiveExactly(Socket& socket, std::uint8_t* buffer, std::size_t size) {
  std::size_t received = 0;
  while (received < size) {
    const std::size_t n = socket.Receive(buffer + received, size - received);
    if (n == 0) return false;
    received += n;
  }
  return true;
}

// A loopback port that was free a moment ago, for a program that binds it itself.
inline std::uint16_t FreePort() {
  Socket socket = Socket::Open();
  socket.Bind(kLoopback, 0);
  return socket.LocalPort();
}

// True when some socket of this machine listens on TCP `port` (IPv4 or IPv6).
inline bool Listening(std::uint16_t port) {
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
      // "  sl  local_address rem_address   st ..." with st 0A for LISTEN
      char local[64], remote[64], state[8];
      if (std::sscanf(line.c_str(), "%*s %63s %63s %7s", local, remote, state) != 3) continue;
      const std::string address(local);
      if (address.size() > 5 && address.compare(address.size() - 5, 5, wanted) == 0 &&
          std::string(state) == "0A") {
        return true;
      }
    }
  }
  return false;
}

// Waits until `port` is listening, up to `limit`; false when it never did.
inline bool WaitUntilListening(std::uint16_t port, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!Listening(port)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace velmor::bench
