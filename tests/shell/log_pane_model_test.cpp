#include "shell/log_pane_model.h"

#include <gtest/gtest.h>

namespace velmor {
namespace {

using Key = LogPaneModel::Key;

class LogPaneModelTest : public ::testing::Test {
 protected:
  LogPaneModelTest() {
    model_.SetRows(10);
    for (int i = 0; i < 100; ++i) Append("Zeile " + std::to_string(i));
  }
  void Append(std::string text) {
    log_.AppendLogLine(std::move(text));
    model_.LineAppended();
  }
  ConversationLog log_;
  LogPaneModel model_{log_};
};

// The keys scroll a page, a row or to either end; with Shift they move the selection's
// cursor from the first line in sight and keep it in sight.
TEST_F(LogPaneModelTest, KeysScrollAndShiftedKeysSelectAcrossLines) {
  model_.ScrollTo(0);
  model_.Press(Key::kPageDown, false);
  EXPECT_EQ(model_.FirstLine(), 10);
  model_.Press(Key::kUp, false);
  EXPECT_EQ(model_.FirstLine(), 9);
  EXPECT_FALSE(model_.HasSelection());
  EXPECT_FALSE(model_.Press(Key::kLeft, false)) << "sideways is the view's";

  model_.Press(Key::kRight, true);
  model_.Press(Key::kDown, true);
  model_.Press(Key::kLineEnd, true);
  EXPECT_EQ(model_.SelectedText(u"|"), u"Zeile 9|Zeile 10");
  model_.Press(Key::kLeft, true);
  EXPECT_EQ(model_.SelectedText(u"|"), u"Zeile 9|Zeile 1");
  model_.Press(Key::kPageDown, true);
  model_.Press(Key::kPageDown, true);
  EXPECT_EQ(model_.Cursor().line, 30);
  EXPECT_EQ(model_.FirstLine(), 21) << "the cursor stays in sight";
  model_.Press(Key::kBottom, true);
  EXPECT_TRUE(model_.AtEnd());
  EXPECT_EQ(model_.Cursor(), (TextPlace{99, 8}));
}

// A pane at the end follows the new lines, however its height changes; one scrolled up
// stays where it is.
TEST_F(LogPaneModelTest, FollowsTheEndOnlyWhileAtIt) {
  EXPECT_TRUE(model_.AtEnd());
  Append("neu");
  EXPECT_EQ(model_.FirstLine(), 91);
  model_.SetRows(20);
  EXPECT_EQ(model_.FirstLine(), 81);
  model_.ScrollBy(-5);
  Append("noch neuer");
  EXPECT_EQ(model_.FirstLine(), 76);
}

TEST(LogPaneModelWordTest, DoubleClickTakesTheWordOfAnyScriptAndControlsShowAsBlanks) {
  ConversationLog log;
  log.AppendLogLine(
      "12:00 [Bj\xF6rn] Gr\xFC\xDF"
      "e,\tWelt\r\nx");
  LogPaneModel model(log);
  EXPECT_EQ(model.ShownText(0), u"12:00 [Bj\u00F6rn] Gr\u00FC\u00DFe,\tWelt  x");
  model.SelectWordAt({0, 10});
  EXPECT_EQ(model.SelectedText(u"\n"), u"Bj\u00F6rn");
  model.SelectWordAt({0, 19});
  EXPECT_EQ(model.SelectedText(u"\n"), u"Gr\u00FC\u00DFe");
  model.SelectWordAt({0, 6});  // between a blank and a bracket
  EXPECT_FALSE(model.HasSelection());
}

}  // namespace
}  // namespace velmor
