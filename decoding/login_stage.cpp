#include "decoding/login_stage.h"

namespace velmor {
namespace {

constexpr std::uint8_t kServerListId = 0xA8;
constexpr std::int32_t kServerListHeader = 6;
constexpr std::int32_t kServerEntrySize = 40;
constexpr std::uint8_t kRedirectId = 0x8C;
constexpr std::int32_t kRedirectSize = 11;

}  // namespace

LoginStage::Verdict LoginStage::Take(std::uint8_t* bytes, std::int32_t n, int client_port,
                                     bool packet_open) {
  if (over_ || n <= 0) return Verdict::kGame;
  bool plain = packet_open;
  if (!packet_open && held_.empty() && bytes[0] == kRedirectId) {
    plain = n <= kRedirectSize;
    redirect_seen_ = 0;
    redirect_open_ = plain;
  } else if (!packet_open && (!held_.empty() || bytes[0] == kServerListId)) {
    const std::size_t from_held = held_.size();
    if (from_held + static_cast<std::size_t>(n) < kServerListHeader) {
      held_.insert(held_.end(), bytes, bytes + n);
      return Verdict::kHeld;
    }
    const auto header = [&](std::size_t i) {
      return i < from_held ? held_[i] : bytes[i - from_held];
    };
    const std::int32_t length = header(1) * 256 + header(2);
    const std::int32_t count = header(4) * 256 + header(5);
    plain = length == kServerListHeader + kServerEntrySize * count;
  }
  if (!plain) {
    over_ = true;
    return Verdict::kGame;
  }
  if (redirect_open_) {
    // Bytes 1 to 4 become 127.0.0.1, bytes 5 and 6 the client port, high byte first.
    const std::uint8_t local[] = {127,
                                  0,
                                  0,
                                  1,
                                  static_cast<std::uint8_t>(client_port >> 8),
                                  static_cast<std::uint8_t>(client_port)};
    for (std::int32_t i = 0; i < n; ++i) {
      const std::int32_t at = redirect_seen_ + i;
      if (at >= 1 && at <= 6) bytes[i] = local[at - 1];
    }
    redirect_seen_ += n;
    redirect_open_ = redirect_seen_ < kRedirectSize;
  }
  return Verdict::kPlain;
}

std::vector<std::uint8_t> LoginStage::TakeHeld() {
  std::vector<std::uint8_t> held;
  held.swap(held_);
  return held;
}

}  // namespace velmor
