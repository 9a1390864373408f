#include "gui_qt/log_panel.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace velmor {
namespace {

QString FromUtf16(const std::u16string& text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

}  // namespace

LogPanel::LogPanel(ConversationLog& log, QWidget* parent)
    : QWidget(parent),
      log_(log),
      view_(new LogView(log, this)),
      bar_(new QWidget(this)),
      field_(new QLineEdit(bar_)),
      next_(new QPushButton(QString::fromUtf8("&Weiter"), bar_)),
      previous_(new QPushButton(QString::fromUtf8("&Zurück"), bar_)),
      count_(new QLabel(bar_)) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
  column->addWidget(view_, 1);
  column->addWidget(bar_);
  auto* row = new QHBoxLayout(bar_);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(field_, 1);
  row->addWidget(next_);
  row->addWidget(previous_);
  row->addWidget(count_);
  count_->setMinimumWidth(count_->fontMetrics().horizontalAdvance("0000 von 0000"));
  bar_->hide();
  // The window's tab order and focus reach the pane itself.
  setFocusProxy(view_);

  find_ = std::make_unique<LogFind>(view_->Model());
  QObject::connect(field_, &QLineEdit::textEdited, this, [this](const QString& text) {
    find_->SetText(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                       static_cast<std::size_t>(text.size())));
    Show();
  });
  QObject::connect(next_, &QPushButton::clicked, this, [this] { Step(true); });
  QObject::connect(previous_, &QPushButton::clicked, this, [this] { Step(false); });
  field_->installEventFilter(this);
  view_->SetFindOpener([this] { OpenFind(); });

  // Window-wide keys; the window holds the panel.
  auto* open = new QShortcut(QKeySequence::Find, this, nullptr, nullptr, Qt::WindowShortcut);
  QObject::connect(open, &QShortcut::activated, this, [this] { OpenFind(); });
  auto* forward = new QShortcut(Qt::Key_F3, this, nullptr, nullptr, Qt::WindowShortcut);
  QObject::connect(forward, &QShortcut::activated, this, [this] { Step(true); });
  auto* backward =
      new QShortcut(Qt::SHIFT | Qt::Key_F3, this, nullptr, nullptr, Qt::WindowShortcut);
  QObject::connect(backward, &QShortcut::activated, this, [this] { Step(false); });

  // New lines may hold matches: they are counted too.
  observer_ = log.AddObserver([this](LogLineView) {
    if (FindOpen() && find_->Counting() && !counting_.isActive()) counting_.start(0, this);
  });
}

LogPanel::~LogPanel() {
  log_.RemoveObserver(observer_);
}

bool LogPanel::FindOpen() const {
  return !bar_->isHidden();
}

void LogPanel::OpenFind() {
  bar_->show();
  view_->SetMarks(find_.get());
  field_->setFocus(Qt::ShortcutFocusReason);
  field_->selectAll();
}

void LogPanel::CloseFind() {
  bar_->hide();
  counting_.stop();
  view_->SetMarks(nullptr);
  view_->setFocus(Qt::OtherFocusReason);
}

void LogPanel::Step(bool forward) {
  if (!FindOpen()) {
    OpenFind();
    return;
  }
  find_->Step(forward);
  Show();
}

void LogPanel::Show() {
  view_->ShowSelection();
  count_->setText(FromUtf16(find_->CountText()));
  if (find_->Counting()) counting_.start(0, this);
}

void LogPanel::timerEvent(QTimerEvent* event) {
  if (event->timerId() != counting_.timerId()) {
    QWidget::timerEvent(event);
    return;
  }
  if (!find_->CountMore()) counting_.stop();
  count_->setText(FromUtf16(find_->CountText()));
}

bool LogPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == field_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
      CloseFind();
      return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      Step(!(key->modifiers() & Qt::ShiftModifier));
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace velmor
