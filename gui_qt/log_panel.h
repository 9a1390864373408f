#pragma once

#include <QBasicTimer>
#include <QWidget>
#include <memory>

#include "gui_qt/log_view.h"
#include "shell/log_find.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmor {

// The log pane with its find bar below it. The bar is hidden until the player asks for it
// (Ctrl+F anywhere in the window, F3, or "Suchen..." in the pane's context menu), so the
// window looks as it always did: a one-line field, "Weiter" and "Zurück" (F3 and
// Shift+F3, Enter and Shift+Enter in the field), the count of matches, and Escape closes
// it. The search is LogFind's; the matches are counted in slices between other events.
class LogPanel : public QWidget {
 public:
  LogPanel(ConversationLog& log, QWidget* parent);
  ~LogPanel() override;

  LogView& View() { return *view_; }
  void OpenFind();
  void CloseFind();
  bool FindOpen() const;

 protected:
  void timerEvent(QTimerEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // After the current match moved: the pane, the count, and the count's next slice.
  void Show();
  void Step(bool forward);

  ConversationLog& log_;
  LogView* view_;
  QWidget* bar_;
  QLineEdit* field_;
  QPushButton* next_;
  QPushButton* previous_;
  QLabel* count_;
  std::unique_ptr<LogFind> find_;
  int observer_ = -1;
  QBasicTimer counting_;
};

}  // namespace velmor
