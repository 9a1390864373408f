#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "tests/support/system.h"

// Real loopback sockets for tests and benchmarks. Every wait is bounded: sockets made here
// give up a receive or send after kPatience, which fails a test or ends a benchmark with an
// error instead of hanging.
namespace velmor::testing {

constexpr std::uint32_t kLoopback = 0x7F000001;
constexpr auto kPatience = std::chrono::seconds(5);

// A listening socket on 127.0.0.1 with a port of the system's choice.
inline Socket ListenLoopback(int backlog = 16) {
  Socket socket = Socket::Open();
  socket.Bind(kLoopback, 0);
  socket.Listen(backlog);
  return socket;
}

inline Socket ConnectTo(std::uint16_t port, std::uint32_t address = kLoopback,
                        std::chrono::seconds patience = kPatience) {
  Socket socket = Socket::Open();
  LimitWaits(socket, patience);
  socket.Connect(address, port);
  return socket;
}

// The next connection on `listener`, or a closed socket when none came within `patience`.
inline Socket AcceptWithin(const Socket& listener, std::chrono::seconds patience = kPatience) {
  int handle = listener.Handle();
  bool readable = false;
  int limit = static_cast<int>(std::chrono::milliseconds(patience).count());
  if (WaitForReadable({&handle, 1}, {&readable, 1}, limit) == 0) return Socket();
  Socket accepted = listener.Accept();
  LimitWaits(accepted, patience);
  return accepted;
}

inline void SendAll(Socket& socket, const std::uint8_t* data, std::size_t size) {
  std::size_t sent = 0;
  while (sent < size) sent += socket.Send(data + sent, size - sent);
}

inline void SendAll(Socket& socket, const std::vector<std::uint8_t>& bytes) {
  SendAll(socket, bytes.data(), bytes.size());
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

// A free loopback port with nothing listening on it (connects are refused), for a relay or
// another process to bind.
inline std::uint16_t UnusedPort() {
  Socket socket = Socket::Open();
  socket.Bind(kLoopback, 0);
  return socket.LocalPort();
}

// Waits until `port` is listening, up to `limit`; false when it never did.
inline bool WaitUntilListening(std::uint16_t port, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!PortIsListening(port)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A server on 127.0.0.1 whose accept queue is full: connection attempts to it neither
// complete nor fail until it is destroyed, as with a server that swallows them.
struct BlackHoleServer {
  BlackHoleServer() {
    listener.Bind(kLoopback, 0);
    listener.Listen(0);
    for (Socket& filler : fillers) {
      filler = Socket::Open();
      MakeNonBlocking(filler);
      try {
        filler.Connect(kLoopback, listener.LocalPort());
      } catch (const EIdSocketError&) {
        // in progress
      }
    }
  }
  std::uint16_t Port() const { return listener.LocalPort(); }

  Socket listener = Socket::Open();
  Socket fillers[2];
};

// A gate that threads wait at until it is opened; counts who came and who went on.
struct Gate {
  void Pass() {
    ++arrived;
    std::unique_lock lock(mutex);
    opened.wait(lock, [this] { return open; });
    ++passed;
  }
  void Open() {
    std::lock_guard lock(mutex);
    open = true;
    opened.notify_all();
  }
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  std::atomic<int> arrived{0};
  std::atomic<int> passed{0};
};

}  // namespace velmor::testing
