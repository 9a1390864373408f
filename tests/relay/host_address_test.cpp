#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "platform/socket_error.h"
#include "relay/host_address.h"
#include "tests/support/system.h"

namespace velmor {
namespace {

class ResolveHostTest : public ::testing::Test {
 protected:
  std::uint32_t Resolve(const std::string& host) {
    return ResolveHost(host, [this](const std::string& name) -> std::uint32_t {
      looked_up.push_back(name);
      return 0x0A000001;
    });
  }
  std::vector<std::string> looked_up;
};

TEST_F(ResolveHostTest, LocalhostInAnyCaseIsLoopbackWithoutLookup) {
  for (const char* host : {"LOCALHOST", "localhost", "LocalHost"}) {
    EXPECT_EQ(Resolve(host), 0x7F000001u) << host;
  }
  EXPECT_TRUE(looked_up.empty());
}

TEST_F(ResolveHostTest, DottedQuadIsTakenAsItStands) {
  EXPECT_EQ(Resolve("192.168.1.20"), 0xC0A80114u);
  EXPECT_EQ(Resolve("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_TRUE(looked_up.empty());
}

TEST_F(ResolveHostTest, OtherNumericSpellingsGiveWhatTheSystemWouldWithoutLookup) {
  EXPECT_EQ(Resolve("010.0.0.1"), 0x0A000001u);  // four decimal numbers, as ever
  EXPECT_EQ(Resolve("010.1"), 0x08000001u);      // the system's reading: octal
  EXPECT_EQ(Resolve("127.1"), 0x7F000001u);
  EXPECT_EQ(Resolve("::ffff:10.0.0.2"), 0x0A000002u);
  EXPECT_TRUE(looked_up.empty());
}

TEST_F(ResolveHostTest, AnythingElseIsLookedUp) {
  for (const char* host : {"1.2.3.256", "1.2.3.4.5", "localhost.", "game.example", "::1"}) {
    Resolve(host);
  }
  EXPECT_EQ(looked_up, (std::vector<std::string>{"1.2.3.256", "1.2.3.4.5", "localhost.",
                                                 "game.example", "::1"}));
  // Empty is no host on any system; Windows' own lookup would give this machine.
  looked_up.clear();
  EXPECT_THROW(Resolve(""), EIdSocketError);
  EXPECT_TRUE(looked_up.empty());
}

TEST(NamesThisMachineTest, EverySpellingThatReachesThisMachine) {
  const std::string name = testing::HostName();
  ASSERT_FALSE(name.empty());
  std::string upper_name = name;
  for (char& c : upper_name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string& host :
       std::vector<std::string>{"localhost", "LocalHost", "127.0.0.1", "127.1", "127.0.1",
                                "127.0.0", "0x7f.1", "2130706433", "0", "0.0.0.0", "127.2.3.4",
                                "::1", "::", "::ffff:127.0.0.1", name, upper_name}) {
    EXPECT_TRUE(NamesThisMachine(host)) << host;
  }
  for (const char* host : {"", "192.0.2.1", "128.0.0.1", "0x80.1", "1.2.3.256", "::ffff:192.0.2.1",
                           "2001:db8::1", "[::1]", "localhost.example", "no-such-host.invalid"}) {
    EXPECT_FALSE(NamesThisMachine(host)) << host;
  }
}

TEST(ResolveHostSystemTest, NumberAbove255FailsAsUnknownHost) {
  // The system resolver refuses an all-digits name without asking a name server.
  try {
    ResolveHost("1.2.3.256");
    FAIL();
  } catch (const EIdSocketError& error) {
    EXPECT_EQ(error.LastError(), kWsaHostNotFound);
  }
}

}  // namespace
}  // namespace velmor
