#include "gui_qt/log_view.h"

#include "gui_qt/log_panel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include "tests/support/unicode_texts.h"

namespace velmor {
namespace {

void Mouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, at, target->mapToGlobal(at), button, held, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers) {
  QKeyEvent event(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(target, &event);
}

class LogViewTest : public ::testing::Test {
 protected:
  LogViewTest() {
    log_.AppendLogLine("erste Zeile");
    log_.AppendLogLine("zweite Zeile", RGB(60, 32, 0), LogStyle::kItalic);
    log_.AppendLogLine("dritte\nZeile", clBlack, LogStyle::kBoldItalic);
    view_.resize(300, 200);
    view_.show();
  }

  // The middle of a line's row, at the far left (before its first character) or far right.
  QPoint At(int line, bool right) const {
    const int row = QFontMetrics(view_.font()).lineSpacing();
    return {right ? view_.viewport()->width() - 1 : 0, line * row + row / 2};
  }

  // Drags from one place to another with the left button and copies with Ctrl+C.
  QString DragAndCopy(QPoint from, QPoint to) {
    QWidget* area = view_.viewport();
    Mouse(area, QEvent::MouseButtonPress, from, Qt::LeftButton);
    Mouse(area, QEvent::MouseMove, to, Qt::LeftButton);
    Mouse(area, QEvent::MouseButtonRelease, to, Qt::NoButton);
    QApplication::clipboard()->clear();
    Key(&view_, Qt::Key_C, Qt::ControlModifier);
    return QApplication::clipboard()->text();
  }

  ConversationLog log_;
  LogView view_{log_, nullptr};
};

TEST_F(LogViewTest, SelectionAcrossLinesCopiesWhatIsShown) {
  // Either way round; a line break inside a server's line shows and copies as a blank.
  EXPECT_EQ(DragAndCopy(At(0, false), At(2, true)), "erste Zeile\nzweite Zeile\ndritte Zeile");
  EXPECT_EQ(DragAndCopy(At(2, false), At(0, true)), "\nzweite Zeile\n");
  EXPECT_EQ(DragAndCopy(At(1, true), At(1, true)), "");

  Mouse(view_.viewport(), QEvent::MouseButtonDblClick, At(1, false), Qt::LeftButton);
  EXPECT_EQ(view_.SelectedText(), "zweite");
  Key(&view_, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(view_.SelectedText(), "erste Zeile\nzweite Zeile\ndritte Zeile");
}

TEST_F(LogViewTest, ShowsUnicodeSpeechAsSent) {
  QString all = "erste Zeile\nzweite Zeile\ndritte Zeile";
  for (const char* text : testing::kUnicodeTexts) {
    log_.AppendLogLine(text);
    all += "\n" + QString::fromUtf8(text);
  }
  Key(&view_, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(view_.SelectedText(), all);
}

TEST_F(LogViewTest, FollowsTheEndOnlyWhileScrolledToIt) {
  QScrollBar* vertical = view_.verticalScrollBar();
  for (int i = 0; i < 500; ++i) log_.AppendLogLine("Zeile " + std::to_string(i));
  QApplication::processEvents();  // a burst is shown once it is in
  EXPECT_GT(vertical->maximum(), 0);
  EXPECT_EQ(vertical->value(), vertical->maximum());
  vertical->setValue(10);
  log_.AppendLogLine("noch eine");
  QApplication::processEvents();
  EXPECT_EQ(vertical->value(), 10);
}

// Ctrl+F opens the bar; what is typed selects the first match from the top line in sight
// (the pane follows the end), F3 and Shift+F3 step through the matches across the log's
// ends, the count says where the current match stands; case is ignored in every script.
TEST(LogPanelTest, FindsTypedTextAndStepsThroughTheMatches) {
  ConversationLog log;
  for (int i = 0; i < testing::kFindTestLines; ++i) log.AppendLogLine(testing::FindTestLine(i));
  LogPanel panel(log, nullptr);
  panel.resize(400, 200);
  panel.show();
  auto* field = panel.findChild<QLineEdit*>();
  auto* count = panel.findChild<QLabel*>();
  ASSERT_TRUE(field && count);
  EXPECT_FALSE(panel.FindOpen());

  QApplication::setActiveWindow(&panel);
  QTest::keyClick(&panel.View(), Qt::Key_F, Qt::ControlModifier);
  ASSERT_TRUE(panel.FindOpen());
  const auto type = [&](const QString& text) {
    field->selectAll();
    for (const QChar c : text) {
      QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    for (int i = 0; i < 100 && count->text().endsWith("..."); ++i) QApplication::processEvents();
  };
  const auto step = [&](Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(field, Qt::Key_F3, modifiers);
    return std::make_pair(panel.View().SelectedText(), count->text());
  };
  type("passWORT");
  EXPECT_EQ(panel.View().SelectedText(), "Passwort");
  EXPECT_EQ(count->text(), "3 von 3");
  using Seen = std::pair<QString, QString>;
  EXPECT_EQ(step(Qt::NoModifier), Seen("PASSWORT", "1 von 3"));
  EXPECT_EQ(step(Qt::NoModifier), Seen("passwort", "2 von 3"));
  EXPECT_EQ(step(Qt::ShiftModifier), Seen("PASSWORT", "1 von 3"));
  QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(count->text(), "3 von 3") << "Shift+Enter in the field";
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(step(Qt::ShiftModifier), Seen("Passwort", "3 von 3"));

  type(QString::fromUtf8("ПАРОЛЬ"));
  EXPECT_EQ(panel.View().SelectedText(), QString::fromUtf8("Пароль"));
  EXPECT_EQ(count->text(), "1 von 1");
  type("drachenEI");
  EXPECT_EQ(count->text(), "1 von 1");
  EXPECT_GT(panel.View().horizontalScrollBar()->value(), 0) << "the match far right is in sight";
  type("Greif");
  EXPECT_EQ(count->text(), "Keine Treffer");

  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_FALSE(panel.FindOpen());
}

}  // namespace
}  // namespace velmor
