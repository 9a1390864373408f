#include "decoding/login_stage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace velmor {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ServerList(int servers) {
  Bytes packet(6 + 40 * static_cast<std::size_t>(servers), 0x20);
  packet[0] = 0xA8;
  packet[1] = static_cast<std::uint8_t>(packet.size() >> 8);
  packet[2] = static_cast<std::uint8_t>(packet.size());
  packet[3] = 0x5D;
  packet[4] = 0;
  packet[5] = static_cast<std::uint8_t>(servers);
  return packet;
}

TEST(RewriteRedirect, PointsTheRedirectAtTheRelay) {
  Bytes block = {0x8C, 0xC0, 0xA8, 0x00, 0x07, 0x0A, 0x21, 0x11, 0x22, 0x33, 0x44};
  RewriteRedirect(block.data(), 11, 2592);
  EXPECT_EQ(block, (Bytes{0x8C, 0x7F, 0x00, 0x00, 0x01, 0x0A, 0x20, 0x11, 0x22, 0x33, 0x44}));
}

TEST(RewriteRedirect, WritesOnlyTheBytesTheBlockHas) {
  Bytes block = {0x8C, 0xC0, 0xA8, 0xEE, 0xEE};
  RewriteRedirect(block.data(), 3, 2592);
  EXPECT_EQ(block, (Bytes{0x8C, 0x7F, 0x00, 0xEE, 0xEE}));
}

TEST(LoginStageBlocks, RedirectIsExactlyOneElevenBytePacket) {
  Bytes block(12, 0);
  block[0] = 0x8C;
  EXPECT_TRUE(IsRedirectBlock(block.data(), 11));
  EXPECT_FALSE(IsRedirectBlock(block.data(), 12));
  EXPECT_FALSE(IsRedirectBlock(block.data(), 10));
  block[0] = 0x8D;
  EXPECT_FALSE(IsRedirectBlock(block.data(), 11));
}

TEST(LoginStageBlocks, ServerListMustFitItsLayoutAndTheBlock) {
  Bytes list = ServerList(2);
  EXPECT_TRUE(IsServerListBlock(list.data(), 86));
  EXPECT_FALSE(IsServerListBlock(list.data(), 85));  // cut short
  EXPECT_TRUE(IsServerListBlock(ServerList(0).data(), 6));
  list[5] = 3;  // count and length disagree
  EXPECT_FALSE(IsServerListBlock(list.data(), 86));
  EXPECT_FALSE(IsServerListBlock(list.data(), 5));
  Bytes other = ServerList(1);
  other[0] = 0xA9;
  EXPECT_FALSE(IsServerListBlock(other.data(), 46));
}

}  // namespace
}  // namespace velmor
