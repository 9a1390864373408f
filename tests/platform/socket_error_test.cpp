#include "platform/socket_error.h"

#include <gtest/gtest.h>

#include <utility>

namespace velmor {
namespace {

TEST(SocketErrorTest, MessageCarriesNumberAndDescription) {
  EIdSocketError error(10054);
  EXPECT_EQ(error.LastError(), 10054);
  EXPECT_STREQ(error.what(), "Socket Error # 10054\r\nConnection reset by peer.");
}

TEST(SocketErrorTest, NumberWithoutEntryHasEmptyDescription) {
  EXPECT_STREQ(EIdSocketError(12345).what(), "Socket Error # 12345\r\n");
  EXPECT_STREQ(EIdSocketError(0).what(), "Socket Error # 0\r\n");
}

TEST(SocketErrorTest, DescriptionsUseTheWindowsSocketsWording) {
  const std::pair<int, const char*> rows[] = {
      {10013, "Access denied."},
      {10048, "Address already in use."},
      {10049, "Cannot assign requested address."},
      {10053, "Software caused connection abort."},
      {10054, "Connection reset by peer."},
      {10060, "Connection timed out."},
      {10061, "Connection refused."},
      {11001, "Host not found."},
  };
  for (const auto& [code, text] : rows) EXPECT_EQ(SocketErrorDescription(code), text) << code;
  for (int code = 10004; code <= 10071; ++code) {
    if (code == 10004 || code == 10013 || code == 10014 || code == 10022 || code == 10024 ||
        code >= 10035) {
      EXPECT_FALSE(SocketErrorDescription(code).empty()) << code;
    }
  }
}

}  // namespace
}  // namespace velmor
