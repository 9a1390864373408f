#include "gui_qt/log_view.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "gui_qt/qt_colors.h"
#include "gui_qt/win1252.h"

namespace velmor {

LogView::LogView(ConversationLog& log, QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setUndoRedoEnabled(false);
  QPalette colors = palette();
  colors.setColor(QPalette::Base, ToQColor(clBtnFace, colors));
  setPalette(colors);
  for (const LogLine& line : log.Lines()) Append(line);
  log.AddObserver([this](const LogLine& line) { Append(line); });
}

void LogView::Append(const LogLine& line) {
  QScrollBar* scroll = verticalScrollBar();
  const bool at_end = scroll->value() == scroll->maximum();

  QTextCharFormat format;
  format.setForeground(ToQColor(line.color, palette()));
  format.setFontItalic(line.style != LogStyle::kRegular);
  format.setFontWeight(line.style == LogStyle::kBoldItalic ? QFont::Bold : QFont::Normal);
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  // The document starts with one empty block: the first line goes into it.
  if (!empty_) cursor.insertBlock();
  empty_ = false;
  // As in the log file: control characters other than tab show as blanks, so a server's
  // line can never become two.
  QString text = ToQString(line.text);
  for (QChar& c : text) {
    if (c.unicode() < 0x20 && c != u'\t') c = u' ';
  }
  cursor.insertText(text, format);

  if (at_end) scroll->setValue(scroll->maximum());
}

}  // namespace velmor
