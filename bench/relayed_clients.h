#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "bench/bench_net.h"
#include "bench/game_stream.h"

// Game clients and their game servers for a relay under test, each end on a thread of its
// own, so that the relay in between (another process) carries real traffic.
namespace velmor::bench {

// One end of a relayed connection on a thread of its own. Every tick (or back to back, for
// a tick of 0) it sends the next piece, and it reads and counts whatever arrives.
class Endpoint {
 public:
  using Pieces = std::function<std::pair<const std::uint8_t*, std::size_t>()>;

  Endpoint(Socket socket, Pieces pieces, std::chrono::milliseconds tick)
      : socket_(std::move(socket)), pieces_(std::move(pieces)), tick_(tick) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Endpoint() { Stop(); }

  void Stop() {
    stop_ = true;
    socket_.Shutdown(Socket::Direction::kBoth);
    if (thread_.joinable()) thread_.join();
  }
  std::int64_t Received() const { return received_; }
  bool Failed() const { return failed_; }

 private:
  void Run() {
    std::vector<std::uint8_t> buffer(256 << 10);
    auto next = std::chrono::steady_clock::now();
    int handle = socket_.Handle();
    try {
      while (!stop_) {
        const auto now = std::chrono::steady_clock::now();
        if (tick_.count() == 0 || now >= next) {
          auto [data, size] = pieces_();
          if (size > 0) SendAll(socket_, data, size);
          next += tick_;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now);
        bool readable = false;
        const int limit =
            tick_.count() == 0 ? 0 : static_cast<int>(std::max<long>(0, wait.count()));
        if (WaitForReadable({&handle, 1}, {&readable, 1}, limit) > 0) {
          const std::size_t n = socket_.Receive(buffer.data(), buffer.size());
          if (n == 0) break;
          received_ += static_cast<std::int64_t>(n);
        }
      }
    } catch (const std::exception&) {
      failed_ = !stop_;
    }
  }

  Socket socket_;
  Pieces pieces_;
  std::chrono::milliseconds tick_;
  std::atomic<bool> stop_{false};
  std::atomic<std::int64_t> received_{0};
  std::atomic<bool> failed_{false};
  std::thread thread_;
};

// Game clients connected through the relay, each with its server end. Ends its
// connections when destroyed.
class Clients {
 public:
  // `count` clients connect to `relay_port`, and each connection the relay makes is
  // accepted on `server`. Each server end sends its own pass over `stream`, `server_piece`
  // bytes every `server_tick` (0: back to back); each client sends a walk request every
  // `client_tick` when `clients_talk`. Both ends read and count everything that arrives.
  Clients(int count, std::chrono::milliseconds client_tick, std::uint16_t relay_port,
          Socket& server, const CompressedStream& stream, std::size_t server_piece,
          std::chrono::milliseconds server_tick, bool clients_talk) {
    static const std::uint8_t kWalk[7] = {0x02, 0x01, 0x00, 0, 0, 0, 0};
    for (int i = 0; i < count; ++i) {
      Socket client = ConnectTo(relay_port);
      Socket accepted = AcceptWithin(server);
      auto cursor = std::make_shared<StreamCursor>(stream.bytes);
      servers_.push_back(std::make_unique<Endpoint>(
          std::move(accepted), [cursor, server_piece] { return cursor->Next(server_piece); },
          server_tick));
      clients_.push_back(std::make_unique<Endpoint>(
          std::move(client),
          [clients_talk]() -> std::pair<const std::uint8_t*, std::size_t> {
            return {kWalk, clients_talk ? sizeof kWalk : 0};
          },
          client_tick));
    }
  }
  ~Clients() { Stop(); }

  void Stop() {
    for (auto& endpoint : clients_) endpoint->Stop();
    for (auto& endpoint : servers_) endpoint->Stop();
  }
  std::int64_t ReceivedByClients() const {
    std::int64_t total = 0;
    for (const auto& endpoint : clients_) total += endpoint->Received();
    return total;
  }
  bool Failed() const {
    for (const auto& endpoint : clients_) {
      if (endpoint->Failed()) return true;
    }
    for (const auto& endpoint : servers_) {
      if (endpoint->Failed()) return true;
    }
    return false;
  }

 private:
  std::vector<std::unique_ptr<Endpoint>> servers_;
  std::vector<std::unique_ptr<Endpoint>> clients_;
};

}  // namespace velmor::bench
