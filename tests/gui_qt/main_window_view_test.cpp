// The Qt window over a main window with fake services, on the offscreen platform.
#include "gui_qt/main_window_view.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QToolButton>

#include "gui_qt/one_line_edit.h"
#include "tests/shell/main_form_fixture.h"

namespace velmor::testing {
namespace {

class MainWindowViewTest : public MainFormTest {
 protected:
  void TearDown() override {
    view_.reset();
    MainFormTest::TearDown();
  }

  MainWindowView& View() {
    view_ = std::make_unique<MainWindowView>(Create());
    return *view_;
  }
  QLineEdit* Field(const char* name) { return view_->findChild<QLineEdit*>(name); }

  std::unique_ptr<MainWindowView> view_;
};

TEST_F(MainWindowViewTest, FieldsTakeTheSchemesWindowColourAgainAfterStartAndStop) {
  View();
  form_->UOClientPort.SetText("0");
  form_->UOServerPort.SetText("1");
  const QColor window = QApplication::palette(Field("UOServerIP")).color(QPalette::Base);
  form_->StartButton.Click();
  ASSERT_TRUE(form_->Running());
  EXPECT_NE(Field("UOServerIP")->palette().color(QPalette::Base), window);
  form_->StopButton.Click();
  for (const char* name : {"UOClientPort", "UOServerIP", "UOServerPort"}) {
    EXPECT_EQ(Field(name)->palette().color(QPalette::Base), window) << name;
  }
}

TEST_F(MainWindowViewTest, PastedLineBreaksNeverReachAFieldOrTheSettings) {
  View();
  QApplication::clipboard()->setText("192.168.0.5\r\n2593\n");
  Field("UOServerIP")->selectAll();
  Field("UOServerIP")->paste();
  EXPECT_EQ(Field("UOServerIP")->text(), "192.168.0.5");
  form_->TrayMenuBeendenClick();
  EXPECT_EQ(ReadSettings(), "2592\r\n192.168.0.5\r\n2593\r\nStop\r\nShow\r\nAnim\r\n");
}

TEST(KeepOneLineTest, OnlyTheFirstLineOfTheInsertionEnters) {
  const QString nul(QChar(u'\0'));
  const struct {
    QString before, after, text;
    int cursor;
  } cases[] = {
      {"127.0.0.1", "192.168.0.5\n", "192.168.0.5", 11},  // all replaced
      {"2593", "25x\r\ny93", "25x93", 3},                 // pasted in the middle
      {"2593", "2593" + nul + "1", "2593", 4},            // NUL ends the text
      {"abc", "\nxyzabc", "abc", 0},                      // a break first: nothing enters
      {"12", "123", "123", 3},                            // plain typing
      {"2593", "293", "293", 1},                          // deleting
  };
  for (const auto& c : cases) {
    const OneLineEdit edit = KeepOneLine(c.before, c.after);
    EXPECT_EQ(edit.text, c.text) << c.after.toStdString();
    EXPECT_EQ(edit.cursor, c.cursor) << c.after.toStdString();
  }
}

TEST_F(MainWindowViewTest, ControlsSitInsideTheirGroupBoxesAndTheMediaBarSpeaksGerman) {
  View();
  view_->show();
  for (QGroupBox* box : view_->findChildren<QGroupBox*>()) {
    for (QWidget* child : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      EXPECT_GE(child->y(), box->contentsRect().top())
          << child->objectName().toStdString() << " on the frame of " << box->title().toStdString();
    }
  }
  QStringList tips;
  for (QToolButton* button : view_->findChildren<QToolButton*>()) {
    tips << button->toolTip();
  }
  EXPECT_EQ(tips, QStringList({"Wiedergabe", "Pause", "Stopp"}));
}

}  // namespace
}  // namespace velmor::testing
