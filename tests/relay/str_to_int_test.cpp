#include "relay/str_to_int.h"

#include <gtest/gtest.h>

#include "platform/exception.h"

namespace velmor {
namespace {

TEST(StrToIntTest, ReadsDecimalAndHexadecimalForms) {
  EXPECT_EQ(StrToInt("2592"), 2592);
  EXPECT_EQ(StrToInt("   2593"), 2593);  // leading blanks are skipped
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("-7"), -7);
  EXPECT_EQ(StrToInt("$A20"), 0xA20);
  EXPECT_EQ(StrToInt("x1f"), 0x1F);
  EXPECT_EQ(StrToInt("0XfF"), 0xFF);
  EXPECT_EQ(StrToInt("-$10"), -16);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
}

TEST(StrToIntTest, RefusesAnythingElseWithTheFieldText) {
  for (const char* text : {"", " ", "abc", "25 92", "2592 ", "12a", "$", "0x", "+", "--1",
                           "2147483648", "-2147483649", "$100000000", "\xB2"}) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const Exception& error) {
      EXPECT_EQ(std::string(error.what()),
                "'" + std::string(text) + "' is not a valid integer value");
    }
  }
}

}  // namespace
}  // namespace velmor
