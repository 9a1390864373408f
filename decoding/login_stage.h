#pragma once

#include <cstdint>
#include <vector>

namespace velmor {

// The start of one connection's server stream, while it may still be the login server's
// plain answers: server lists (0xA8) and the redirect (0x8C), which is pointed back at the
// relay. TCP may cut an answer into any number of blocks, so the stage follows them across
// blocks and rewrites the redirect's address and port bytes wherever they fall. It ends
// for good at the first block that neither goes on with a plain packet nor starts an
// answer: from there on the stream is compressed game stream. A compressed block that
// merely starts with 0xA8 or 0x8C is told apart by the answer's shape: a server list's
// length fits its server count, and a redirect is the last thing its block holds (the
// login server sends nothing after it), so a longer block is game stream.
//
// One per connection, fed its blocks in order by one thread at a time.
class LoginStage {
 public:
  enum class Verdict {
    kPlain,  // the block is login traffic; a redirect's bytes in it are rewritten
    kHeld,   // too short to tell (a server list's header is incomplete): asked again with
             // the next block, which is judged together with it
    kGame,   // the stage is over, from this block on
  };

  bool Over() const { return over_; }

  // Judges the next block (its first n bytes) while the stage lasts. `packet_open`: the
  // plain bytes so far end inside a packet, so this block goes on with it.
  Verdict Take(std::uint8_t* bytes, std::int32_t n, int client_port, bool packet_open);

  // After a verdict of kPlain or kGame: the bytes held back before the block (as the
  // server sent them), which belong in front of it. Empties the store.
  std::vector<std::uint8_t> TakeHeld();

 private:
  bool over_ = false;
  std::vector<std::uint8_t> held_;
  // A redirect cut by its block's end, and how many of its bytes have been seen.
  bool redirect_open_ = false;
  std::int32_t redirect_seen_ = 0;
};

}  // namespace velmor
