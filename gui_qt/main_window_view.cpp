#include "gui_qt/main_window_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "gui_qt/icon_image.h"
#include "gui_qt/log_view.h"
#include "gui_qt/media_bar.h"
#include "gui_qt/one_line_edit.h"
#include "gui_qt/qt_colors.h"
#include "gui_qt/win1252.h"

namespace velmor {
namespace {

// "MS Sans Serif", 8 point: 11 pixels high at 96 dpi, the nearest sans serif font here.
QFont WindowFont() {
  // Where the original face is missing, fonts with Arial's narrow metrics keep the texts
  // inside their nominal bounds; DejaVu Sans, the usual default, is too wide for them.
  QFont::insertSubstitutions(
      QStringLiteral("MS Sans Serif"),
      {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Helvetica"),
       QStringLiteral("DejaVu Sans Condensed")});
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

void SetRole(QWidget* widget, QPalette::ColorRole role, TColor color) {
  QPalette colors = widget->palette();
  // System colours come from the application's scheme: the widget's own palette may hold an
  // explicit colour set earlier (the silver of a running relay's fields).
  colors.setColor(role, ToQColor(color, QApplication::palette(widget)));
  widget->setPalette(colors);
}

// Moves a group box's children down where the style draws its frame lower than the
// nominal layout expects, so that no control sits on the frame line.
void KeepInsideFrame(QGroupBox* box) {
  const QObjectList children = box->children();
  int top = box->height();
  for (QObject* child : children) {
    if (auto* widget = qobject_cast<QWidget*>(child)) top = std::min(top, widget->y());
  }
  const int shift = box->contentsRect().top() - top;
  if (shift <= 0) return;
  for (QObject* child : children) {
    if (auto* widget = qobject_cast<QWidget*>(child))
      widget->move(widget->x(), widget->y() + shift);
  }
}

// The nominal client area of the window (657 x 381 with its frame).
constexpr int kNominalWidth = 649;
constexpr int kNominalHeight = 347;

}  // namespace

MainWindowView::MainWindowView(TMainForm& form) : form_(form) {
  setWindowTitle(ToQString(form.Caption()));
  // A close button and the system menu only: no minimise or maximise button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowIcon(WindowIcon());
  setFont(WindowFont());
  setAutoFillBackground(true);
  SetRole(this, QPalette::Window, clBtnFace);
  resize(kNominalWidth, kNominalHeight);

  BuildControls();
  BuildMenu();
  BuildTimers();
  media_bar_ = new MediaBar(form.Media(), this);
  media_bar_->move(0, 0);

  form.SetObserver([this] { SyncWindow(); });
}

QWidget* MainWindowView::Place(TControl& control, QWidget* widget) {
  const TRect bounds = control.Bounds();
  widget->setGeometry(bounds.left, bounds.top, bounds.width, bounds.height);
  widget->setObjectName(QString::fromStdString(control.Name()));
  widgets_.insert(&control, widget);
  const auto sync = [&control, widget] {
    widget->setVisible(control.Visible());
    widget->setEnabled(control.Enabled());
  };
  sync();
  control.SetObserver(sync);
  return widget;
}

void MainWindowView::BuildControls() {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  panel_ = new QWidget(this);
  panel_->setFixedWidth(form_.Panel1.Bounds().width);
  widgets_.insert(&form_.Panel1, panel_);
  layout->addWidget(panel_);

  auto* log_box = new QGroupBox(ToQString(form_.GroupBox5.Caption()), this);
  auto* log_layout = new QVBoxLayout(log_box);
  log_layout->setContentsMargins(2, 2, 2, 2);
  log_layout->addWidget(new LogView(form_.LogTalking, log_box));
  widgets_.insert(&form_.GroupBox5, log_box);
  layout->addWidget(log_box, 1);

  for (TContainer* box : {&form_.GroupBox1, &form_.GroupBox2, &form_.GroupBox3}) {
    Place(*box, new QGroupBox(ToQString(box->Caption()), panel_));
  }
  const auto parent_of = [this](const TControl& control) {
    return widgets_.value(control.Parent());
  };

  for (TLabel* label :
       {&form_.Label1, &form_.Label2, &form_.Label6, &form_.Label3, &form_.Label4, &form_.Label5,
        &form_.Label7, &form_.Label8, &form_.UOClientStatus, &form_.UOServerStatus}) {
    auto* widget = new QLabel(parent_of(*label));
    widget->setWordWrap(label->WordWrap());
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Place(*label, widget);
    const auto sync = [label, widget] {
      widget->setVisible(label->Visible());
      widget->setText(ToQString(label->Caption()));
      const TRect bounds = label->Bounds();
      // Texts longer than their nominal place grow it rather than being cut.
      if (label->WordWrap()) {
        widget->resize(bounds.width, std::max(bounds.height, widget->heightForWidth(bounds.width)));
      } else {
        widget->resize(std::max(bounds.width, widget->sizeHint().width()), bounds.height);
      }
      SetRole(widget, QPalette::WindowText, label->FontColor());
    };
    sync();
    label->SetObserver(sync);
  }

  for (TEdit* edit :
       {&form_.UOClientPort, &form_.UOClientLoginServer, &form_.UOServerIP, &form_.UOServerPort}) {
    auto* widget = new QLineEdit(parent_of(*edit));
    Place(*edit, widget);
    const auto sync = [edit, widget] {
      widget->setVisible(edit->Visible());
      if (widget->text() != ToQString(edit->Text())) widget->setText(ToQString(edit->Text()));
      widget->setReadOnly(edit->ReadOnly());
      SetRole(widget, QPalette::Base, edit->Color());
    };
    sync();
    edit->SetObserver(sync);
    QObject::connect(widget, &QLineEdit::textEdited, widget, [edit, widget](const QString& text) {
      // A field holds one line: of pasted or dropped text only its first line enters.
      const OneLineEdit line = KeepOneLine(ToQString(edit->Text()), text);
      if (line.text != text) {
        widget->setText(line.text);
        widget->setCursorPosition(line.cursor);
      }
      edit->SetText(FromQString(line.text));
    });
  }

  for (TButton* button : {&form_.StopButton, &form_.StartButton}) {
    auto* widget = new QPushButton(ToQString(button->Caption()), parent_of(*button));
    Place(*button, widget);
    const auto sync = [button, widget] {
      widget->setVisible(button->Visible());
      widget->setEnabled(button->Enabled());
      SetRole(widget, QPalette::ButtonText, button->FontColor());
    };
    sync();
    button->SetObserver(sync);
    QObject::connect(widget, &QPushButton::clicked, widget, [button] { button->Click(); });
  }
  // Tab order: within each box by the controls' tab order, then box by box.
  setTabOrder(widgets_.value(&form_.UOClientPort), widgets_.value(&form_.UOServerIP));
  setTabOrder(widgets_.value(&form_.UOServerIP), widgets_.value(&form_.UOServerPort));
  setTabOrder(widgets_.value(&form_.UOServerPort), widgets_.value(&form_.StartButton));
  setTabOrder(widgets_.value(&form_.StartButton), widgets_.value(&form_.StopButton));
  for (TContainer* box : {&form_.GroupBox1, &form_.GroupBox2, &form_.GroupBox3}) {
    KeepInsideFrame(static_cast<QGroupBox*>(widgets_.value(box)));
  }
}

void MainWindowView::BuildMenu() {
  menu_ = new QMenu(this);
  for (TMenuItem* item : form_.PopupMenu1()) {
    QAction* action =
        item->IsSeparator() ? menu_->addSeparator() : menu_->addAction(ToQString(item->Caption()));
    const bool checkable = item == &form_.TrayMenuSymbolAnimCheck;
    action->setCheckable(checkable);
    const auto sync = [item, action] {
      action->setVisible(item->Visible());
      action->setEnabled(item->Enabled());
      action->setChecked(item->Checked());
    };
    sync();
    item->SetObserver(sync);
    QObject::connect(action, &QAction::triggered, action,
                     [item, action] { action->setChecked(item->Checked()); });
    // The entry's handler decides the check mark, not the click. It runs from the event loop
    // itself, after the menu, the tray icon or the D-Bus call that delivered the click is
    // done: the exit removes the icon and its exported menu.
    QObject::connect(
        action, &QAction::triggered, action, [item] { item->Click(); }, Qt::QueuedConnection);
  }
}

void MainWindowView::BuildTimers() {
  for (TTimer* timer : {&form_.HideTimer, &form_.AnimTimer, &form_.LogFileTimer}) {
    auto* qtimer = new QTimer(this);
    const auto sync = [timer, qtimer] {
      if (!timer->Enabled()) {
        qtimer->stop();
      } else if (!qtimer->isActive() || qtimer->interval() != timer->Interval()) {
        qtimer->start(timer->Interval());
      }
    };
    sync();
    timer->SetObserver(sync);
    QObject::connect(qtimer, &QTimer::timeout, qtimer, [timer] { timer->Tick(); });
  }
}

void MainWindowView::SyncWindow() {
  if (!form_.Visible()) {
    hide();
  } else if (form_.Minimized()) {
    showMinimized();
  } else {
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
  }
  if (QWidget* focus = widgets_.value(form_.ActiveControl())) focus->setFocus();
}

void MainWindowView::closeEvent(QCloseEvent* event) {
  bool allow = true;
  form_.FormClose(allow);
  if (allow) {
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindowView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && !isMinimized()) form_.Restored();
}

void MainWindowView::contextMenuEvent(QContextMenuEvent* event) {
  menu_->popup(event->globalPos());
}

}  // namespace velmor
