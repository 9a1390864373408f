#include "platform/socket_address.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/system.h"

namespace velmor {
namespace {

TEST(ParseDottedQuadTest, FourNumbersUpTo255) {
  EXPECT_EQ(ParseDottedQuad("127.0.0.1"), 0x7F000001u);
  EXPECT_EQ(ParseDottedQuad("0.0.0.0"), 0u);
  EXPECT_EQ(ParseDottedQuad("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseDottedQuad("010.0.0.1"), 0x0A000001u);  // decimal, not octal
}

TEST(ParseDottedQuadTest, AnythingElseIsNoAddress) {
  for (const char* text :
       {"", "1.2.3.256", "1.2.3", "1.2.3.4.", "1.2.3.4.5", ".1.2.3", "1..2.3", " 1.2.3.4",
        "1.2.3.4 ", "+1.2.3.4", "1.2.3.-4", "a.b.c.d", "localhost", "99999999999.1.1.1"}) {
    EXPECT_FALSE(ParseDottedQuad(text).has_value()) << text;
  }
}

TEST(ParseNumericAddressTest, ReadsEveryNumericSpellingAsTheSystemResolverDoes) {
  for (const char* text :
       {"127.1", "127.0.1", "0x7f.1", "0X7F.0x1", "2130706433", "017700000001", "0", "00", "0x0",
        "127.2.3.4", "00000127.0.0.1", "0x00000000007f.1", "1.0xffffff", "1.16777215", "1.2.65535",
        "4294967295", "0xffffffff", "::ffff:127.0.0.1", "::FFFF:7F00:0001", "0:0:0:0:0:ffff:7f00:1",
        // and what it refuses
        "", "08", "0x", "0x.1", "0x1g", "1.16777216", "1.2.65536", "256.1", "4294967296",
        "0x100000000", "1.2.3.4.", "1.2.3.4.5", "1.", ".1", "1..2", " 1.2.3.4", "1.2.3.4 ", "+1",
        "-1", "1e3", "::1", "::", "::127.0.0.1", "::ffff:0:7f00:1", "::ffff:1.2.3.4%lo",
        "localhost"}) {
    EXPECT_EQ(ParseNumericAddress(text), testing::NumericReading(text)) << '"' << text << '"';
  }
}

TEST(IsThisMachineAddressTest, LoopbackAnyAndInterfacesButNothingElse) {
  std::vector<std::uint32_t> local = {0x7F000001, 0x7F020304, 0x7FFFFFFF, 0};
  std::vector<std::uint32_t> remote = {0xC0000201, 0x80000001, 0x7E000001};
  for (std::uint32_t address : testing::InterfaceAddresses()) local.push_back(address);
  for (std::uint32_t address : local) EXPECT_TRUE(IsThisMachineAddress(address)) << address;
  for (std::uint32_t address : remote) EXPECT_FALSE(IsThisMachineAddress(address)) << address;
}

}  // namespace
}  // namespace velmor
