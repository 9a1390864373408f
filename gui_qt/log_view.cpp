#include "gui_qt/log_view.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <algorithm>

#include "gui_qt/qt_colors.h"
#include "gui_qt/win1252.h"

namespace velmor {
namespace {

// Space between the pane's left edge and the text.
constexpr int kMargin = 4;
constexpr int kDragScrollMilliseconds = 50;

// One line laid out on one row, however long.
struct LineLayout {
  LineLayout(const QString& text, const QFont& font) : layout(text, font) {
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    row = layout.createLine();
    layout.endLayout();
  }
  QTextLayout layout;
  QTextLine row;
};

}  // namespace

LogView::LogView(ConversationLog& log, QWidget* parent) : QAbstractScrollArea(parent), log_(log) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  QPalette colors = palette();
  colors.setColor(QPalette::Base, ToQColor(clBtnFace, colors));
  setPalette(colors);
  Measure();
  observer_ = log.AddObserver([this](const LogLine& line) { Append(line); });
}

LogView::~LogView() {
  log_.RemoveObserver(observer_);
}

const QFont& LogView::FontOf(LogStyle style) const {
  return fonts_[static_cast<std::size_t>(style)];
}

QString LogView::ShownText(int line) const {
  // As in the log file: control characters other than tab show as blanks, so a server's
  // line can never become two.
  QString text = ToQString(log_.Line(line).text);
  for (QChar& c : text) {
    if (c.unicode() < 0x20 && c != u'\t') c = u' ';
  }
  return text;
}

int LogView::Width(int line) const {
  return QFontMetrics(FontOf(log_.Line(line).style)).horizontalAdvance(ShownText(line));
}

// The styles' fonts, the height of a row and the widest line: once, and again only when
// the font changes.
void LogView::Measure() {
  fonts_[static_cast<std::size_t>(LogStyle::kRegular)] = font();
  QFont italic = font();
  italic.setItalic(true);
  fonts_[static_cast<std::size_t>(LogStyle::kItalic)] = italic;
  QFont bold_italic = italic;
  bold_italic.setBold(true);
  fonts_[static_cast<std::size_t>(LogStyle::kBoldItalic)] = bold_italic;
  line_height_ = 1;
  for (const QFont& style_font : fonts_) {
    line_height_ = std::max(line_height_, QFontMetrics(style_font).lineSpacing());
  }
  widest_ = 0;
  for (int i = 0; i < log_.LineCount(); ++i) widest_ = std::max(widest_, Width(i));
  UpdateScrollBars();
  viewport()->update();
}

void LogView::UpdateScrollBars() {
  const int rows = std::max(1, viewport()->height() / line_height_);
  QScrollBar* vertical = verticalScrollBar();
  vertical->setRange(0, std::max(0, log_.LineCount() - rows));
  vertical->setPageStep(rows);
  vertical->setSingleStep(1);
  QScrollBar* horizontal = horizontalScrollBar();
  const int width = viewport()->width();
  horizontal->setRange(0, std::max(0, widest_ + 2 * kMargin - width));
  horizontal->setPageStep(width);
  horizontal->setSingleStep(std::max(1, QFontMetrics(font()).averageCharWidth() * 2));
}

void LogView::Append(const LogLine& line) {
  const int index = log_.LineCount() - 1;
  widest_ = std::max(widest_, QFontMetrics(FontOf(line.style)).horizontalAdvance(ShownText(index)));
  QScrollBar* vertical = verticalScrollBar();
  const bool at_end = vertical->value() == vertical->maximum();
  UpdateScrollBars();
  if (at_end) vertical->setValue(vertical->maximum());
  const int row = index - vertical->value();
  if (row * line_height_ < viewport()->height()) {
    viewport()->update(0, row * line_height_, viewport()->width(), line_height_);
  }
}

void LogView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const int first = verticalScrollBar()->value();
  const int left = kMargin - horizontalScrollBar()->value();
  const auto [from, to] = std::minmax(anchor_, cursor_);
  const QRect area = event->rect();
  QTextLayout::FormatRange selected;
  selected.format.setBackground(palette().highlight());
  selected.format.setForeground(palette().highlightedText());
  const int last = std::min(log_.LineCount() - 1, first + area.bottom() / line_height_);
  for (int i = first + area.top() / line_height_; i <= last; ++i) {
    const LogLine& line = log_.Line(i);
    const int top = (i - first) * line_height_;
    LineLayout shown(ShownText(i), FontOf(line.style));
    QList<QTextLayout::FormatRange> selections;
    if (from != to && i >= from.line && i <= to.line) {
      selected.start = i == from.line ? from.column : 0;
      selected.length = (i == to.line ? to.column : shown.layout.text().size()) - selected.start;
      if (selected.length > 0) selections.append(selected);
      // A selected line break shows as a little room after the text.
      if (i < to.line) {
        const qreal end = left + shown.row.naturalTextWidth();
        painter.fillRect(QRectF(end, top, QFontMetrics(font()).averageCharWidth(), line_height_),
                         palette().highlight());
      }
    }
    painter.setPen(ToQColor(line.color, palette()));
    shown.layout.draw(&painter, QPointF(left, top), selections);
  }
}

void LogView::resizeEvent(QResizeEvent* event) {
  QScrollBar* vertical = verticalScrollBar();
  const bool at_end = vertical->value() == vertical->maximum();
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
  if (at_end) vertical->setValue(vertical->maximum());
}

void LogView::scrollContentsBy(int dx, int dy) {
  // Moves what is drawn already, so following the end draws only the new rows.
  viewport()->scroll(dx, dy * line_height_);
}

void LogView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) Measure();
}

LogView::Place LogView::PlaceAt(QPoint point) const {
  if (log_.LineCount() == 0) return {};
  const int row = point.y() < 0 ? -1 - (-point.y() - 1) / line_height_ : point.y() / line_height_;
  const int line = std::clamp(verticalScrollBar()->value() + row, 0, log_.LineCount() - 1);
  const LineLayout shown(ShownText(line), FontOf(log_.Line(line).style));
  const int x = point.x() - kMargin + horizontalScrollBar()->value();
  return {line, shown.row.xToCursor(x)};
}

QString LogView::SelectedText() const {
  const auto [from, to] = std::minmax(anchor_, cursor_);
  QString text;
  if (from == to) return text;
  for (int i = from.line; i <= to.line; ++i) {
    const QString shown = ShownText(i);
    const int start = i == from.line ? from.column : 0;
    const int end = i == to.line ? to.column : shown.size();
    text += shown.mid(start, end - start);
    if (i < to.line) text += u'\n';
  }
  return text;
}

void LogView::Copy(QClipboard::Mode mode) const {
  const QString text = SelectedText();
  if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text, mode);
}

void LogView::Select(Place anchor, Place cursor) {
  anchor_ = anchor;
  cursor_ = cursor;
  viewport()->update();
}

void LogView::keyPressEvent(QKeyEvent* event) {
  QScrollBar* vertical = verticalScrollBar();
  if (event == QKeySequence::Copy) {
    Copy(QClipboard::Clipboard);
  } else if (event == QKeySequence::SelectAll) {
    const int last = log_.LineCount() - 1;
    if (last >= 0) Select({0, 0}, {last, static_cast<int>(ShownText(last).size())});
  } else if (event == QKeySequence::MoveToStartOfDocument) {
    vertical->setValue(0);
  } else if (event == QKeySequence::MoveToEndOfDocument) {
    vertical->setValue(vertical->maximum());
  } else {
    QAbstractScrollArea::keyPressEvent(event);
  }
}

void LogView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  const Place place = PlaceAt(event->position().toPoint());
  Select(event->modifiers() & Qt::ShiftModifier ? anchor_ : place, place);
  selecting_ = true;
}

void LogView::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_) return;
  drag_point_ = event->position().toPoint();
  Select(anchor_, PlaceAt(drag_point_));
  if (viewport()->rect().contains(drag_point_)) {
    drag_scroll_.stop();
  } else if (!drag_scroll_.isActive()) {
    drag_scroll_.start(kDragScrollMilliseconds, this);
  }
}

void LogView::timerEvent(QTimerEvent* event) {
  if (event->timerId() != drag_scroll_.timerId()) {
    QAbstractScrollArea::timerEvent(event);
    return;
  }
  const QRect inside = viewport()->rect();
  QScrollBar* vertical = verticalScrollBar();
  QScrollBar* horizontal = horizontalScrollBar();
  if (drag_point_.y() < inside.top()) vertical->setValue(vertical->value() - 1);
  if (drag_point_.y() > inside.bottom()) vertical->setValue(vertical->value() + 1);
  if (drag_point_.x() < inside.left()) horizontal->setValue(horizontal->value() - 20);
  if (drag_point_.x() > inside.right()) horizontal->setValue(horizontal->value() + 20);
  Select(anchor_, PlaceAt(drag_point_));
}

void LogView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !selecting_) return;
  selecting_ = false;
  drag_scroll_.stop();
  // Where the system has a selection of its own (X11), the middle button pastes it.
  if (QGuiApplication::clipboard()->supportsSelection()) Copy(QClipboard::Selection);
}

void LogView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || log_.LineCount() == 0) return;
  const Place place = PlaceAt(event->position().toPoint());
  const QString text = ShownText(place.line);
  const auto in_word = [&text](int i) { return text.at(i).isLetterOrNumber(); };
  int start = place.column;
  int end = place.column;
  while (start > 0 && in_word(start - 1)) --start;
  while (end < text.size() && in_word(end)) ++end;
  Select({place.line, start}, {place.line, end});
  if (QGuiApplication::clipboard()->supportsSelection()) Copy(QClipboard::Selection);
}

}  // namespace velmor
