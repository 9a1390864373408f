#include "decoding/login_stage.h"

#include <algorithm>

namespace velmor {
namespace {

constexpr std::uint8_t kServerListId = 0xA8;
constexpr std::size_t kServerListHeader = 6;
constexpr std::int32_t kServerEntrySize = 40;
constexpr std::uint8_t kRefusalId = 0x82;
constexpr std::int32_t kRefusalSize = 2;
// The reasons a login server gives for a refusal; a game stream's first bytes that merely
// look like a refusal are told apart by them.
constexpr std::uint8_t kLastRefusalReason = 0x0F;
constexpr std::uint8_t kRedirectId = 0x8C;
constexpr std::int32_t kRedirectSize = 11;

}  // namespace

LoginStage::Judgement LoginStage::Judge(const std::vector<std::uint8_t>& start) const {
  constexpr Judgement kNotYet{};
  constexpr Judgement kNoAnswer{true, false, 0};
  switch (start[0]) {
    case kServerListId: {
      if (start.size() < kServerListHeader) return kNotYet;
      const std::int32_t length = start[1] * 256 + start[2];
      const std::int32_t count = start[4] * 256 + start[5];
      if (length != static_cast<std::int32_t>(kServerListHeader) + kServerEntrySize * count) {
        return kNoAnswer;
      }
      return {true, true, length};
    }
    case kRefusalId:
      if (state_ == State::kLogin) return {true, true, kRefusalSize};
      if (start.size() < 2) return kNotYet;
      return start[1] <= kLastRefusalReason ? Judgement{true, true, kRefusalSize} : kNoAnswer;
    case kRedirectId:
      // Only the answer to a server list: at any other place these bytes are game stream.
      return list_seen_ ? Judgement{true, true, kRedirectSize} : kNoAnswer;
    default:
      return kNoAnswer;
  }
}

LoginStage::Reading LoginStage::Take(std::uint8_t* bytes, std::int32_t n, int client_port) {
  Reading reading;
  if (state_ == State::kGame) {
    reading.rest = Reading::Rest::kGame;
    return reading;
  }
  if (state_ == State::kAfterRedirect) return reading;
  // Bytes 1 to 4 of the redirect become 127.0.0.1, bytes 5 and 6 the client port, high
  // byte first.
  const std::uint8_t local[] = {127,
                                0,
                                0,
                                1,
                                static_cast<std::uint8_t>(client_port >> 8),
                                static_cast<std::uint8_t>(client_port)};
  std::int32_t i = 0;
  while (i < n) {
    if (seen_ < length_) {
      const std::int32_t take = std::min(length_ - seen_, n - i);
      for (std::int32_t k = 0; redirect_ && k < take; ++k) {
        const std::int32_t at = seen_ + k;
        if (at >= 1 && at <= 6) bytes[i + k] = local[at - 1];
      }
      seen_ += take;
      i += take;
      if (redirect_ && seen_ == length_) {
        state_ = State::kAfterRedirect;
        reading.plain = i;
        return reading;
      }
      continue;
    }
    // A packet starts here (its first bytes may have come with earlier reads): judged by as
    // many of its bytes as that takes.
    std::vector<std::uint8_t> start = held_;
    Judgement judgement;
    for (std::int32_t j = i; !judgement.known && j < n; ++j) {
      start.push_back(bytes[j]);
      judgement = Judge(start);
    }
    if (!judgement.known) {
      held_ = std::move(start);
      reading.plain = i;
      reading.rest = Reading::Rest::kHeld;
      return reading;
    }
    if (!held_.empty()) {
      reading.front = held_;
      reading.front_plain = judgement.login;
    }
    if (!judgement.login) {
      state_ = State::kGame;
      held_.clear();
      reading.plain = i;
      reading.rest = Reading::Rest::kGame;
      return reading;
    }
    if (state_ == State::kFirst) state_ = State::kLogin;
    if (start[0] == kServerListId) list_seen_ = true;
    redirect_ = start[0] == kRedirectId;
    length_ = judgement.length;
    seen_ = static_cast<std::int32_t>(held_.size());
    held_.clear();
  }
  reading.plain = n;
  return reading;
}

}  // namespace velmor
