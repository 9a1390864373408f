#pragma once

#include <dirent.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/socket.h"

// Helpers for relay tests over real loopback sockets. Every wait is bounded: sockets made
// here give up a receive or send after kPatience, which fails the test instead of hanging.
namespace velmor::testing {

constexpr std::uint32_t kLoopback = 0x7F000001;
constexpr auto kPatience = std::chrono::seconds(5);

inline void LimitWaits(Socket& socket) {
  timeval limit{static_cast<time_t>(kPatience.count()), 0};
  setsockopt(socket.Handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(socket.Handle(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

// A listening socket on 127.0.0.1 with a port of the system's choice.
inline Socket ListenLoopback(int backlog = 16) {
  Socket socket = Socket::Open();
  socket.Bind(kLoopback, 0);
  socket.Listen(backlog);
  return socket;
}

inline Socket ConnectTo(std::uint16_t port, std::uint32_t address = kLoopback) {
  Socket socket = Socket::Open();
  LimitWaits(socket);
  socket.Connect(address, port);
  return socket;
}

// The next connection on `listener`, or a closed socket after kPatience.
inline Socket AcceptWithin(const Socket& listener) {
  int handle = listener.Handle();
  bool readable = false;
  int limit = static_cast<int>(std::chrono::milliseconds(kPatience).count());
  if (WaitForReadable({&handle, 1}, {&readable, 1}, limit) == 0) return Socket();
  Socket accepted = listener.Accept();
  LimitWaits(accepted);
  return accepted;
}

inline void SendAll(Socket& socket, const std::vector<std::uint8_t>& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) sent += socket.Send(bytes.data() + sent, bytes.size() - sent);
}

inline void SendText(Socket& socket, const std::string& text) {
  SendAll(socket, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Reads until `count` bytes have come or the peer closed; a stalled peer raises (time-out).
inline std::vector<std::uint8_t> ReceiveBytes(Socket& socket, std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  std::size_t received = 0;
  while (received < count) {
    std::size_t n = socket.Receive(bytes.data() + received, count - received);
    if (n == 0) break;
    received += n;
  }
  bytes.resize(received);
  return bytes;
}

inline std::string ReceiveText(Socket& socket, std::size_t count) {
  std::vector<std::uint8_t> bytes = ReceiveBytes(socket, count);
  return std::string(bytes.begin(), bytes.end());
}

// True when the peer has closed: the next receive delivers end of stream (a reset counts
// too). Data still pending is read and discarded first.
inline bool SeesClose(Socket& socket) {
  std::uint8_t buffer[4096];
  try {
    while (socket.Receive(buffer, sizeof buffer) > 0) {
    }
    return true;
  } catch (const EIdSocketError& error) {
    return error.LastError() == 10054;
  }
}

// Polls `condition` every 5 ms until it holds or kPatience has passed.
inline bool Eventually(const std::function<bool()>& condition) {
  auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The number of descriptors the process has open.
inline int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    --count;  // the directory stream itself
  }
  return count;
}

// A free loopback port with nothing listening on it (connects are refused).
inline std::uint16_t UnusedPort() {
  Socket socket = Socket::Open();
  socket.Bind(kLoopback, 0);
  return socket.LocalPort();
}

}  // namespace velmor::testing
