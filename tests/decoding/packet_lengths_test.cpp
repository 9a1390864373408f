#include "decoding/packet_lengths.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>

namespace velmor {
namespace {

TEST(PacketLengths, ListHas112AscendingPairsAndItsClosingPair) {
  ASSERT_EQ(std::size(kPacketLengthPairs), 113u);
  EXPECT_EQ(kPacketLengthPairs[112].id, -1);
  EXPECT_EQ(kPacketLengthPairs[112].length, -1);
  for (std::size_t i = 1; i < 112; ++i) {
    EXPECT_LT(kPacketLengthPairs[i - 1].id, kPacketLengthPairs[i].id);
  }
  int known = 0;
  for (std::int32_t length : PacketLengths) known += length != 0;
  EXPECT_EQ(known, 112);
}

TEST(PacketLengths, TableSpotChecks) {
  static_assert(PacketLengths[0x1C] == -1 && PacketLengths[0xAE] == -1);
  EXPECT_EQ(PacketLengths[0x00], 104);
  EXPECT_EQ(PacketLengths[0x29], 1);
  EXPECT_EQ(PacketLengths[0x5D], 73);
  EXPECT_EQ(PacketLengths[0x86], 304);
  EXPECT_EQ(PacketLengths[0x8C], 11);
  EXPECT_EQ(PacketLengths[0x9B], 258);
  EXPECT_EQ(PacketLengths[0xA8], -1);
  EXPECT_EQ(PacketLengths[0xC7], 49);
  EXPECT_EQ(PacketLengths[0xD1], 2);
  EXPECT_EQ(PacketLengths[0xF0], -1);
  EXPECT_EQ(PacketLengths[0x0A], 0);
  EXPECT_EQ(PacketLengths[0xBE], 0);
  EXPECT_EQ(PacketLengths[0xFF], 0);
}

TEST(GetPacketLength, FixedVariableAndUnknown) {
  const std::uint8_t frame[] = {0x55, 0x1C, 0x01, 0x2C, 0x0A, 0xAE,
                                0x00, 0x00, 0xB9, 0x1C, 0x00, 0x02};
  EXPECT_EQ(GetPacketLength(frame, 0), 1);    // 0x55: fixed 1
  EXPECT_EQ(GetPacketLength(frame, 1), 300);  // big-endian length field
  EXPECT_EQ(GetPacketLength(frame, 4), 1);    // unknown id
  EXPECT_EQ(GetPacketLength(frame, 5), 1);    // length field 0
  EXPECT_EQ(GetPacketLength(frame, 8), 3);
  EXPECT_EQ(GetPacketLength(frame, 9), 2);  // a length field of 2 is taken as it is
}

}  // namespace
}  // namespace velmor
