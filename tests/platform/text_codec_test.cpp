#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace velmor {
namespace {

TEST(TextCodecTest, EveryByteSurvivesTheWayThroughUnicode) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
  EXPECT_EQ(WideToWindows1252(Windows1252ToWide(all)), all);
}

TEST(TextCodecTest, HighBytesAreTheWindowsCharacters) {
  EXPECT_EQ(Windows1252ToUtf8("\x80 \x9F \xE4 \x81"), "\u20AC \u0178 \u00E4 \u0081");
  // Characters the code page lacks cannot reach the logic unnoticed.
  EXPECT_EQ(Utf8ToWindows1252("\u20AC\u4E2D\U0001F600"), "\x80??");
  // Bytes that are not UTF-8 stand for themselves.
  EXPECT_EQ(Utf8ToWindows1252("a\xE4z"), "a\xE4z");
  EXPECT_EQ(Windows1252ToWide("\x80\x9F\xE4"), L"\u20AC\u0178\u00E4");
  // A pair of UTF-16 surrogates is one character, so one '?'; a lone one is '?' too.
  EXPECT_EQ(WideToWindows1252(std::wstring{L'a', wchar_t(0xD83D), wchar_t(0xDE00), L'b'}), "a?b");
  EXPECT_EQ(WideToWindows1252(std::wstring{wchar_t(0xDC00), L'\u4E2D', L'\u0153'}), "??\x9C");
}

TEST(TextCodecTest, CaseFollowsWindows1252) {
  EXPECT_TRUE(EqualsIgnoringCase("Gl\xC4nzend.WAV", "gl\xE4nzend.wav"));    // Ä, ä
  EXPECT_TRUE(EqualsIgnoringCase("\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF"));  // Š Œ Ž Ÿ
  EXPECT_FALSE(EqualsIgnoringCase("\xD7", "\xF7"));  // × and ÷ are no letters
  EXPECT_FALSE(EqualsIgnoringCase("ab", "abc"));
}

TEST(TextCodecTest, LocaleTextBecomesWindows1252) {
  EXPECT_EQ(LocaleTextToWindows1252("Gespr\xC3\xA4"
                                    "che"),
            "Gespr\xE4"
            "che");
  EXPECT_EQ(LocaleTextToWindows1252("\xE2\x82\xAC 5"), "\x80 5");
  EXPECT_EQ(LocaleTextToWindows1252("\xE5\x8D\x88\xE5\xBE\x8C"), "??");
  // Not UTF-8: already 8-bit, kept as it is.
  EXPECT_EQ(LocaleTextToWindows1252("Gespr\xE4"
                                    "che"),
            "Gespr\xE4"
            "che");
  EXPECT_EQ(LocaleTextToWindows1252("\xC0\x80"), "\xC0\x80");
}

}  // namespace
}  // namespace velmor
