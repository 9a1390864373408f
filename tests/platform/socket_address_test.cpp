#include "platform/socket_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

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

TEST(NamesThisMachineTest, LocalhostAndLoopbackAndAny) {
  for (const char* host : {"localhost", "LOCALHOST", "LocalHost", "127.0.0.1", "127.1.2.3",
                           "127.255.255.255", "0.0.0.0"}) {
    EXPECT_TRUE(NamesThisMachine(host)) << host;
  }
}

TEST(NamesThisMachineTest, OtherHostsAreNot) {
  for (const char* host : {"", "192.0.2.1", "128.0.0.1", "1.2.3.256", "localhost.example",
                           "no-such-host.invalid", "127.0.0"}) {
    EXPECT_FALSE(NamesThisMachine(host)) << host;
  }
}

TEST(NamesThisMachineTest, OwnHostNameInAnyCase) {
  char name[256] = {};
  ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
  std::string host = name;
  ASSERT_FALSE(host.empty());
  EXPECT_TRUE(NamesThisMachine(host));
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  EXPECT_TRUE(NamesThisMachine(host));
}

TEST(NamesThisMachineTest, AddressOfALocalInterface) {
  ifaddrs* list = nullptr;
  ASSERT_EQ(getifaddrs(&list), 0);
  std::string address;
  for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr, text,
              sizeof text);
    if (std::string(text).rfind("127.", 0) != 0) address = text;
  }
  freeifaddrs(list);
  if (address.empty()) GTEST_SKIP() << "no interface besides loopback";
  EXPECT_TRUE(NamesThisMachine(address));
}

}  // namespace
}  // namespace velmor
