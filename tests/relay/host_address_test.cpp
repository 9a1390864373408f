#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/socket_error.h"
#include "relay/host_address.h"

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

TEST_F(ResolveHostTest, AnythingElseIsLookedUp) {
  for (const char* host : {"1.2.3.256", "1.2.3", "1.2.3.4.5", "localhost.", "game.example"}) {
    Resolve(host);
  }
  EXPECT_EQ(looked_up, (std::vector<std::string>{"1.2.3.256", "1.2.3", "1.2.3.4.5", "localhost.",
                                                 "game.example"}));
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
