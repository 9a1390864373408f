#include "gui_qt/win1252.h"

#include <gtest/gtest.h>

namespace velmor {
namespace {

TEST(Win1252Test, EveryByteSurvivesTheWayThroughQt) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  EXPECT_EQ(FromQString(ToQString(all)), all);
}

TEST(Win1252Test, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(FromQString(QString::fromUtf8("\u20AC\u4E2D")), "\x80?");
}

}  // namespace
}  // namespace velmor
