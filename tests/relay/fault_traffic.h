#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "tests/support/system.h"

// Traffic for fault and load tests of the relay: byte streams that need no storage and a
// poll loop that drives many non-blocking loopback ends from one thread, so hundreds of
// connections need no test thread each. Every wait here is bounded by a deadline.
namespace velmor::testing {

// Sanitizer builds run many times slower; volume-bound tests scale themselves down.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSanitizerSlowdown = 8;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr int kSanitizerSlowdown = 8;
#else
constexpr int kSanitizerSlowdown = 1;
#endif
#else
constexpr int kSanitizerSlowdown = 1;
#endif
constexpr bool kUnderSanitizer = kSanitizerSlowdown > 1;

// A fixed pseudo-random byte sequence that streams index into from a start of their own.
// Its period is odd and far above any block, so a dropped, repeated or altered run of
// bytes never matches by chance.
class Pattern {
 public:
  static constexpr std::size_t kWindow = 128 * 1024;  // longest run Bytes() hands out
  static constexpr std::uint64_t kPeriod = (4u << 20) + 4099;

  static const Pattern& Shared() {
    static const Pattern pattern;
    return pattern;
  }

  // kWindow contiguous bytes from stream offset `offset`.
  const std::uint8_t* Bytes(std::uint64_t offset) const { return data_.data() + offset % kPeriod; }

 private:
  Pattern() : data_(kPeriod + kWindow) {
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::size_t i = 0; i < kPeriod; ++i) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      data_[i] = static_cast<std::uint8_t>(state >> 24);
    }
    std::copy_n(data_.begin(), kWindow, data_.begin() + kPeriod);
  }

  std::vector<std::uint8_t> data_;
};

// One direction's bytes: `length` bytes of the pattern from `start`.
struct Stream {
  std::uint64_t start = 0;
  std::uint64_t length = 0;

  const std::uint8_t* At(std::uint64_t position) const {
    return Pattern::Shared().Bytes(start + position);
  }
};

// Closes with a reset instead of a FIN: pending data on both sides is dropped.
inline void Abort(Socket& socket) {
  if (!socket.IsOpen()) return;
  AbortOnClose(socket);
  socket.Close();
}

// One end of a connection under test: sends `out` in blocks of the chosen sizes and
// checks every byte it receives against `expected_in`, as far as it gets. The plan fields
// say when it resets or closes; the rest is what happened.
struct Peer {
  Peer(Socket connected, Stream sends, Stream receives)
      : socket(std::move(connected)), out(sends), expected_in(receives) {}

  Socket socket;
  Stream out;
  Stream expected_in;
  std::mt19937 random{1};
  std::uniform_int_distribution<std::size_t> block_size{1, 65536};

  bool reading = true;
  std::size_t read_size = 64 * 1024;      // most bytes taken by one receive
  std::optional<std::uint64_t> abort_at;  // reset the connection once this much is sent
  bool close_when_complete = false;       // close once everything is sent and received
  bool close_when_sent = false;           // close once everything is sent, read or not
  bool finish_when_sent = false;          // shut sending down once everything is sent
  bool close_on_peer_close = true;        // close once the other end has closed

  std::uint64_t sent = 0;
  std::uint64_t received = 0;
  std::optional<std::uint64_t> first_bad_byte;  // position of the first altered byte
  bool eof = false;                             // the other end closed
  bool reset = false;                           // a receive or send reported a reset
  bool send_failed = false;                     // the connection no longer takes data
  bool closed = false;                          // this end closed its socket
  bool aborted = false;                         // ... with a reset, at abort_at
  bool finished = false;                        // sending was shut down

  bool Complete() const { return sent == out.length && received == expected_in.length; }
  bool SawClose() const { return eof || reset; }
  // Everything received so far is the start of what the other end sent.
  bool Intact() const { return !first_bad_byte && received <= expected_in.length; }
  std::uint64_t SendLimit() const {
    return abort_at ? std::min(*abort_at, out.length) : out.length;
  }

  short Events() const {
    if (closed) return 0;
    short events = reading && !SawClose() ? POLLIN : 0;
    if (!send_failed && sent < SendLimit()) events |= POLLOUT;
    return events;
  }

  void Close() {
    socket.Close();
    closed = true;
  }

  // Handles what poll() reported; never blocks.
  void Step(short revents, std::vector<std::uint8_t>& scratch) {
    if (closed) return;
    if (revents & (POLLIN | POLLHUP | POLLERR)) Receive(scratch);
    if ((revents & (POLLOUT | POLLERR)) && !send_failed) Send();
    Settle();
  }

  // Resets or closes when the plan says so.
  void Settle() {
    if (closed) return;
    if (abort_at && sent >= *abort_at) {
      Abort(socket);
      closed = true;
      aborted = true;
    } else if ((close_when_complete && Complete()) || (close_when_sent && sent == out.length) ||
               (close_on_peer_close && SawClose())) {
      Close();
    } else if (finish_when_sent && sent == out.length && !finished) {
      socket.Shutdown(Socket::Direction::kSend);
      finished = true;
    }
  }

 private:
  void Receive(std::vector<std::uint8_t>& scratch) {
    if (!reading || SawClose()) return;
    int error = 0;
    const long n = ReceiveNow(socket, scratch.data(), std::min(read_size, scratch.size()), &error);
    if (n > 0) {
      Check(scratch.data(), static_cast<std::size_t>(n));
    } else if (n == 0) {
      eof = true;
    } else if (error == kWsaConnReset || error == kWsaShutdown || error == kWsaConnAborted) {
      reset = true;
    }
  }

  void Check(const std::uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count && !first_bad_byte) {
      std::uint64_t position = received + done;
      if (position >= expected_in.length) {
        first_bad_byte = position;  // more than was sent
        break;
      }
      std::size_t n =
          std::min<std::uint64_t>({count - done, Pattern::kWindow, expected_in.length - position});
      const std::uint8_t* expected = expected_in.At(position);
      if (std::memcmp(data + done, expected, n) != 0) {
        std::size_t i = 0;
        while (data[done + i] == expected[i]) ++i;
        first_bad_byte = position + i;
      }
      done += n;
    }
    received += count;
  }

  void Send() {
    if (block_left_ == 0) block_left_ = block_size(random);
    std::uint64_t n = std::min<std::uint64_t>({block_left_, SendLimit() - sent, Pattern::kWindow});
    if (n == 0) return;
    int error = 0;
    const long taken = SendNow(socket, out.At(sent), n, &error);
    if (taken > 0) {
      sent += static_cast<std::uint64_t>(taken);
      block_left_ -= static_cast<std::size_t>(taken);
    } else if (taken < 0 && error != kWsaWouldBlock && error != kWsaInterrupted) {
      send_failed = true;
      if (error == kWsaConnReset || error == kWsaConnAborted) reset = true;
    }
  }

  std::size_t block_left_ = 0;
};

// Runs poll() over the open peers until `done` holds, or until nothing has happened for
// `stall_limit`: no byte moved and no end closed or saw its peer close. True when `done`
// held. Judging progress rather than time, a loaded machine is slow but never fails.
// Peers never wait in a receive or send. `done` runs on the calling thread.
template <typename Done>
bool Drive(const std::vector<Peer*>& peers, Done done, std::chrono::milliseconds stall_limit) {
  std::vector<std::uint8_t> scratch(64 * 1024);
  std::vector<PollEntry> entries;
  std::vector<Peer*> polled;
  const auto progress = [&peers] {
    std::uint64_t sum = 0;
    for (const Peer* peer : peers) {
      sum += peer->sent + peer->received + peer->closed + peer->SawClose() + peer->send_failed;
    }
    return sum;
  };
  std::uint64_t last_progress = progress();
  auto deadline = std::chrono::steady_clock::now() + stall_limit;
  for (;;) {
    for (Peer* peer : peers) peer->Settle();
    if (done()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (const std::uint64_t current = progress(); current != last_progress) {
      last_progress = current;
      deadline = now + stall_limit;
    } else if (now > deadline) {
      return false;
    }
    entries.clear();
    polled.clear();
    for (Peer* peer : peers) {
      short events = peer->Events();
      if (events == 0) continue;
      entries.push_back(WatchFor(peer->socket, events));
      polled.push_back(peer);
    }
    if (entries.empty()) return false;  // nothing can change any more
    if (Poll(entries, 50) <= 0) continue;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].revents != 0) polled[i]->Step(entries[i].revents, scratch);
    }
  }
}

// What an end did, for the message of a test that failed.
inline std::string Describe(const Peer& peer) {
  return "sent " + std::to_string(peer.sent) + " of " + std::to_string(peer.out.length) +
         ", received " + std::to_string(peer.received) + " of " +
         std::to_string(peer.expected_in.length) + (peer.eof ? ", saw the close" : "") +
         (peer.reset ? ", saw a reset" : "") + (peer.send_failed ? ", send failed" : "") +
         (peer.finished ? ", finished sending" : "") + (peer.closed ? ", closed" : ", open");
}

}  // namespace velmor::testing
