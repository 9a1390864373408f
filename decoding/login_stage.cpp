#include "decoding/login_stage.h"

namespace velmor {
namespace {

constexpr std::uint8_t kServerListId = 0xA8;
constexpr std::int32_t kServerListHeader = 6;
constexpr std::int32_t kServerEntrySize = 40;
constexpr std::uint8_t kRedirectId = 0x8C;
constexpr std::int32_t kRedirectSize = 11;

}  // namespace

bool IsServerListBlock(const std::uint8_t* bytes, std::int32_t n) {
  if (n < kServerListHeader || bytes[0] != kServerListId) return false;
  const std::int32_t length = bytes[1] * 256 + bytes[2];
  const std::int32_t count = bytes[4] * 256 + bytes[5];
  return length == kServerListHeader + kServerEntrySize * count && length <= n;
}

bool IsRedirectBlock(const std::uint8_t* bytes, std::int32_t n) {
  return n == kRedirectSize && bytes[0] == kRedirectId;
}

void RewriteRedirect(std::uint8_t* bytes, std::int32_t n, int client_port) {
  const std::uint8_t replacement[6] = {127,
                                       0,
                                       0,
                                       1,
                                       static_cast<std::uint8_t>(client_port >> 8),
                                       static_cast<std::uint8_t>(client_port)};
  for (std::int32_t i = 1; i < n && i <= 6; ++i) bytes[i] = replacement[i - 1];
}

}  // namespace velmor
