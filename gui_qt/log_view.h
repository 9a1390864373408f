#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QClipboard>
#include <QFont>
#include <QString>
#include <array>
#include <functional>

#include "shell/log_find.h"
#include "shell/log_pane_model.h"

namespace velmor {

// The read-only pane that shows the conversation log: Qt's drawing over the LogPaneModel,
// which holds what is in sight and what is selected. It draws the lines in sight straight
// from the log and keeps nothing of its own per line, so a session of a million lines costs
// the pane no more than the log's own lines; appending a line costs the same however long
// the log is, and a burst of lines is shown once it is in. Each appended line shows at the end in
// its colour and style; the view follows the end while it is scrolled to the bottom. Text is
// selected with the mouse across lines (a double click takes a word) or with Shift and the cursor
// keys; Ctrl+A selects everything and Ctrl+C copies, as the context menu does.
//
// The log must outlive the view.
class LogView : public QAbstractScrollArea {
 public:
  LogView(ConversationLog& log, QWidget* parent);
  ~LogView() override;

  // The selection as plain text, lines joined by "\n".
  QString SelectedText() const;

  LogPaneModel& Model() { return model_; }
  // After the model's selection was set from outside: the scroll bars, the picture, and the
  // pane scrolled sideways so that the selection is in sight.
  void ShowSelection();
  // The matches of a search to mark lightly, or none.
  void SetMarks(const LogFind* find);
  // What "Suchen..." in the context menu does.
  void SetFindOpener(std::function<void()> open) { open_find_ = std::move(open); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Append(LogLineView line);
  void Measure();
  int Width(int line) const;
  // The vertical scroll bar and the picture after the model moved or changed.
  void Sync();
  QString ShownText(int line) const;
  // Takes the pane's colours from the theme when it asks for high contrast.
  void FollowContrast();
  const QFont& FontOf(LogStyle style) const;
  TextPlace PlaceAt(QPoint point) const;
  void Copy(QClipboard::Mode mode) const;

  ConversationLog& log_;
  LogPaneModel model_;
  int observer_ = -1;
  // Regular, italic, bold and italic: the pane's font in each style.
  std::array<QFont, 3> fonts_;
  int line_height_ = 1;
  int widest_ = 0;
  bool selecting_ = false;
  bool high_contrast_ = false;
  // Scrolls while a selection is dragged beyond the pane's edge.
  QBasicTimer drag_scroll_;
  QPoint drag_point_;
  // Shows the lines appended since it started.
  QBasicTimer catch_up_;
  const LogFind* marks_ = nullptr;
  std::function<void()> open_find_;
};

}  // namespace velmor
