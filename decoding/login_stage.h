#pragma once

#include <cstdint>
#include <vector>

namespace velmor {

// The start of one connection's server stream, while it may be the login server's plain
// answers. The stage is decided by the stream's first bytes, not by where a read starts: a
// connection is a login connection only when it begins with an answer that the client's
// login gets (a server list 0xA8 whose length fits its server count, or a login refusal
// 0x82); anything else is the compressed game stream from its first byte, however short
// its first read. A login connection's plain packets are then followed one after the other
// across reads, however TCP cut them, and a redirect (0x8C, 11 bytes) that follows a
// server list is pointed back at the relay wherever it starts; after it, nothing more is
// decoded. A packet that is no login answer ends the stage: from its first byte on, the
// stream is game stream.
//
// One per connection, fed its reads in order by one thread at a time.
class LoginStage {
 public:
  // What one read holds.
  struct Reading {
    // Bytes of earlier reads that could not be judged then; they come first, plain or game
    // stream as `front_plain` says.
    std::vector<std::uint8_t> front;
    bool front_plain = false;
    // Then the read's first `plain` bytes are login answers, framed as they stand.
    std::int32_t plain = 0;
    // And the rest of the read is game stream (kGame), held back to be judged with the next
    // read (kHeld), or relayed undecoded (kNone: after the redirect).
    enum class Rest { kGame, kHeld, kNone } rest = Rest::kNone;
  };

  // True once the stream is game stream: every read from now on is.
  bool Game() const { return state_ == State::kGame; }

  // Walks the next read (its first n bytes) and rewrites a redirect's address and port
  // bytes in it in place: 127.0.0.1 and `client_port`.
  Reading Take(std::uint8_t* bytes, std::int32_t n, int client_port);

 private:
  enum class State { kFirst, kLogin, kGame, kAfterRedirect };
  // What the packet starting the held bytes is: not known yet (more bytes needed), a login
  // answer of the given length, or no login answer.
  struct Judgement {
    bool known = false;
    bool login = false;
    std::int32_t length = 0;
  };
  Judgement Judge(const std::vector<std::uint8_t>& start) const;

  State state_ = State::kFirst;
  bool list_seen_ = false;
  // The packet being walked: its length, how many of its bytes have passed, and whether it
  // is the redirect.
  std::int32_t length_ = 0;
  std::int32_t seen_ = 0;
  bool redirect_ = false;
  // The first bytes of a packet too short yet to judge.
  std::vector<std::uint8_t> held_;
};

}  // namespace velmor
