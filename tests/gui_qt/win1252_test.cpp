#include "gui_qt/win1252.h"

#include <gtest/gtest.h>

namespace velmor {
namespace {

TEST(Win1252Test, EveryByteSurvivesTheWayThroughQt) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  EXPECT_EQ(FromQString(ToQString(all)), all);
}

TEST(Win1252Test, HighControlsAreTheWindowsCharacters) {
  EXPECT_EQ(ToQString("\x80 \x9F \xE4"), QString::fromUtf8("\u20AC \u0178 \u00E4"));
  // Typed characters the code page lacks cannot reach a field's text unnoticed.
  EXPECT_EQ(FromQString(QString::fromUtf8("\u20AC\u4E2D")), "\x80?");
}

}  // namespace
}  // namespace velmor
