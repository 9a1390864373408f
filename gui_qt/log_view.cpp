#include "gui_qt/log_view.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextLayout>
#include <QtGlobal>
#include <algorithm>

#include "gui_qt/qt_colors.h"

namespace velmor {
namespace {

// Space between the pane's left edge and the text.
constexpr int kMargin = 4;
constexpr int kDragScrollMilliseconds = 50;

// Whether the desktop asks for high contrast. Qt says so from 6.10 on; before that, GNOME's
// high-contrast themes show in GTK_THEME.
bool HighContrast() {
#if QT_VERSION >= QT_VERSION_CHECK(6, 10, 0)
  return QGuiApplication::styleHints()->accessibility()->contrastPreference() ==
         Qt::ContrastPreference::HighContrast;
#else
  return qEnvironmentVariable("GTK_THEME").startsWith("HighContrast", Qt::CaseInsensitive);
#endif
}

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

LogView::LogView(ConversationLog& log, QWidget* parent)
    : QAbstractScrollArea(parent), log_(log), model_(log) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  FollowContrast();
  Measure();
  observer_ = log.AddObserver([this](LogLineView line) { Append(line); });
}

LogView::~LogView() {
  log_.RemoveObserver(observer_);
}

const QFont& LogView::FontOf(LogStyle style) const {
  return fonts_[static_cast<std::size_t>(style)];
}

QString LogView::ShownText(int line) const {
  const std::u16string text = model_.ShownText(line);
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
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
  model_.SetRows(viewport()->height() / line_height_);
  Sync();
}

void LogView::Sync() {
  QScrollBar* vertical = verticalScrollBar();
  vertical->setRange(0, model_.LastFirstLine());
  vertical->setPageStep(model_.Rows());
  vertical->setSingleStep(1);
  vertical->setValue(model_.FirstLine());
  QScrollBar* horizontal = horizontalScrollBar();
  const int width = viewport()->width();
  horizontal->setRange(0, std::max(0, widest_ + 2 * kMargin - width));
  horizontal->setPageStep(width);
  horizontal->setSingleStep(std::max(1, QFontMetrics(font()).averageCharWidth() * 2));
  viewport()->update();
}

void LogView::Append(LogLineView line) {
  const int index = log_.LineCount() - 1;
  widest_ = std::max(widest_, QFontMetrics(FontOf(line.style)).horizontalAdvance(ShownText(index)));
  model_.LineAppended();
  // Lines that arrive together are shown together: the scroll bars and the picture follow
  // once the burst is in.
  if (!catch_up_.isActive()) catch_up_.start(0, this);
}

void LogView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const int first = model_.FirstLine();
  const int left = kMargin - horizontalScrollBar()->value();
  const auto [from, to] = model_.Selection();
  const QRect area = event->rect();
  QTextLayout::FormatRange selected;
  selected.format.setBackground(palette().highlight());
  selected.format.setForeground(palette().highlightedText());
  // The other matches of a search: the selection's colour, faintly.
  QTextCharFormat marked;
  QColor faint = palette().color(QPalette::Highlight);
  faint.setAlpha(70);
  marked.setBackground(faint);
  const int last = std::min(log_.LineCount() - 1, first + area.bottom() / line_height_);
  for (int i = first + area.top() / line_height_; i <= last; ++i) {
    const LogLineView line = log_.Line(i);
    const int top = (i - first) * line_height_;
    LineLayout shown(ShownText(i), FontOf(line.style));
    QList<QTextLayout::FormatRange> selections;
    if (marks_) {
      for (const FindMatch& match : marks_->MatchesIn(i)) {
        selections.append({match.column, match.length, marked});
      }
    }
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
    // A theme of high contrast chooses the text colour; hue colours could vanish in it.
    painter.setPen(high_contrast_ ? palette().color(QPalette::Text)
                                  : ToQColor(line.color, palette()));
    shown.layout.draw(&painter, QPointF(left, top), selections);
  }
}

void LogView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  model_.SetRows(viewport()->height() / line_height_);
  Sync();
}

void LogView::scrollContentsBy(int dx, int dy) {
  model_.ScrollTo(verticalScrollBar()->value());
  // Moves what is drawn already, so following the end draws only the new rows.
  viewport()->scroll(dx, dy * line_height_);
}

void LogView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  switch (event->type()) {
    case QEvent::FontChange:
      Measure();
      break;
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::ThemeChange:
      FollowContrast();
      break;
    default:
      break;
  }
}

void LogView::FollowContrast() {
  high_contrast_ = HighContrast();
  // The window's face colour, as the other panes; the theme's text background in high
  // contrast, which its text colour is made for.
  viewport()->setBackgroundRole(high_contrast_ ? QPalette::Base : QPalette::Button);
  viewport()->update();
}

TextPlace LogView::PlaceAt(QPoint point) const {
  if (log_.LineCount() == 0) return {};
  const int row = point.y() < 0 ? -1 - (-point.y() - 1) / line_height_ : point.y() / line_height_;
  const int line = std::clamp(model_.FirstLine() + row, 0, log_.LineCount() - 1);
  const LineLayout shown(ShownText(line), FontOf(log_.Line(line).style));
  const int x = point.x() - kMargin + horizontalScrollBar()->value();
  return {line, shown.row.xToCursor(x)};
}

QString LogView::SelectedText() const {
  const std::u16string text = model_.SelectedText(u"\n");
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

void LogView::Copy(QClipboard::Mode mode) const {
  const QString text = SelectedText();
  if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text, mode);
}

void LogView::keyPressEvent(QKeyEvent* event) {
  using Key = LogPaneModel::Key;
  if (event == QKeySequence::Copy) {
    Copy(QClipboard::Clipboard);
    return;
  }
  if (event == QKeySequence::SelectAll) {
    model_.SelectAll();
    Sync();
    return;
  }
  const bool control = event->modifiers() & Qt::ControlModifier;
  Key key;
  switch (event->key()) {
    case Qt::Key_Up:
      key = Key::kUp;
      break;
    case Qt::Key_Down:
      key = Key::kDown;
      break;
    case Qt::Key_Left:
      key = Key::kLeft;
      break;
    case Qt::Key_Right:
      key = Key::kRight;
      break;
    case Qt::Key_PageUp:
      key = Key::kPageUp;
      break;
    case Qt::Key_PageDown:
      key = Key::kPageDown;
      break;
    case Qt::Key_Home:
      key = control ? Key::kTop : Key::kLineStart;
      break;
    case Qt::Key_End:
      key = control ? Key::kBottom : Key::kLineEnd;
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  if (model_.Press(key, event->modifiers() & Qt::ShiftModifier)) {
    Sync();
  } else {
    QAbstractScrollArea::keyPressEvent(event);  // sideways
  }
}

void LogView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  const TextPlace place = PlaceAt(event->position().toPoint());
  model_.Select(event->modifiers() & Qt::ShiftModifier ? model_.Anchor() : place, place);
  viewport()->update();
  selecting_ = true;
}

void LogView::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_) return;
  drag_point_ = event->position().toPoint();
  model_.Select(model_.Anchor(), PlaceAt(drag_point_));
  viewport()->update();
  if (viewport()->rect().contains(drag_point_)) {
    drag_scroll_.stop();
  } else if (!drag_scroll_.isActive()) {
    drag_scroll_.start(kDragScrollMilliseconds, this);
  }
}

void LogView::timerEvent(QTimerEvent* event) {
  if (event->timerId() == catch_up_.timerId()) {
    catch_up_.stop();
    Sync();
    return;
  }
  if (event->timerId() != drag_scroll_.timerId()) {
    QAbstractScrollArea::timerEvent(event);
    return;
  }
  const QRect inside = viewport()->rect();
  QScrollBar* horizontal = horizontalScrollBar();
  if (drag_point_.y() < inside.top()) model_.ScrollBy(-1);
  if (drag_point_.y() > inside.bottom()) model_.ScrollBy(1);
  if (drag_point_.x() < inside.left()) horizontal->setValue(horizontal->value() - 20);
  if (drag_point_.x() > inside.right()) horizontal->setValue(horizontal->value() + 20);
  model_.Select(model_.Anchor(), PlaceAt(drag_point_));
  Sync();
}

void LogView::ShowSelection() {
  Sync();
  const auto [from, to] = model_.Selection();
  if (from == to || from.line != to.line) return;
  const LineLayout shown(ShownText(from.line), FontOf(log_.Line(from.line).style));
  const int start = kMargin + qRound(shown.row.cursorToX(from.column));
  const int end = kMargin + qRound(shown.row.cursorToX(to.column));
  QScrollBar* sideways = horizontalScrollBar();
  const int width = viewport()->width();
  if (end > sideways->value() + width - kMargin) sideways->setValue(end - width + kMargin);
  if (start < sideways->value() + kMargin) sideways->setValue(start - kMargin);
}

void LogView::SetMarks(const LogFind* find) {
  marks_ = find;
  viewport()->update();
}

void LogView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copy = menu.addAction(QString::fromUtf8("&Kopieren"));
  copy->setShortcut(QKeySequence::Copy);
  copy->setEnabled(model_.HasSelection());
  QObject::connect(copy, &QAction::triggered, this, [this] { Copy(QClipboard::Clipboard); });
  QAction* all = menu.addAction(QString::fromUtf8("Alles &markieren"));
  all->setShortcut(QKeySequence::SelectAll);
  QObject::connect(all, &QAction::triggered, this, [this] {
    model_.SelectAll();
    Sync();
  });
  if (open_find_) {
    menu.addSeparator();
    QAction* find = menu.addAction(QString::fromUtf8("&Suchen..."));
    find->setShortcut(QKeySequence::Find);
    QObject::connect(find, &QAction::triggered, this, [this] { open_find_(); });
  }
  menu.exec(event->globalPos());
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
  model_.SelectWordAt(PlaceAt(event->position().toPoint()));
  viewport()->update();
  if (QGuiApplication::clipboard()->supportsSelection()) Copy(QClipboard::Selection);
}

}  // namespace velmor
