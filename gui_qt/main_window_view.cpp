#include "gui_qt/main_window_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui_qt/icon_image.h"
#include "gui_qt/log_panel.h"
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

// Where a group box's style draws its frame inside the nominal layout: its controls move
// right and down by as much as the frame would cover the first of them, and controls that
// stretch with the box keep their distance from the frame's far edges. So no control sits
// on the frame line.
struct FrameInsets {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

FrameInsets InsetsOf(const TControl& box, const QWidget& widget, const TMainForm& form) {
  const auto* group = qobject_cast<const QGroupBox*>(&widget);
  if (!group) return {};
  int left = box.Bounds().width;
  int top = box.Bounds().height;
  for (const TControl* control : form.Controls()) {
    if (control->Parent() != &box) continue;
    left = std::min(left, control->Bounds().left);
    top = std::min(top, control->Bounds().top);
  }
  const QRect inside = group->contentsRect();
  return {std::max(0, inside.left() - left), std::max(0, inside.top() - top),
          group->width() - 1 - inside.right(), group->height() - 1 - inside.bottom()};
}

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
  resize(TMainForm::kClientWidth, TMainForm::kClientHeight);

  BuildControls();
  BuildMenu();
  media_bar_ = new MediaBar(form.Media(), this);
  media_bar_->move(0, 0);

  form.SetObserver([this] { SyncWindow(); });
}

QWidget* MainWindowView::Make(TControl& control, QWidget* parent) {
  switch (control.Kind()) {
    case ControlKind::kPanel:
      return new QWidget(parent);
    case ControlKind::kGroupBox:
      return new QGroupBox(ToQString(static_cast<TContainer&>(control).Caption()), parent);
    case ControlKind::kLabel: {
      auto* widget = new QLabel(parent);
      widget->setWordWrap(static_cast<TLabel&>(control).WordWrap());
      widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return widget;
    }
    case ControlKind::kEdit: {
      auto& edit = static_cast<TEdit&>(control);
      auto* widget = new QLineEdit(parent);
      QObject::connect(widget, &QLineEdit::textEdited, widget,
                       [&edit, widget](const QString& text) {
                         // A field holds one line: of pasted or dropped text only its first line
                         // enters.
                         const OneLineEdit line = KeepOneLine(ToQString(edit.Text()), text);
                         if (line.text != text) {
                           widget->setText(line.text);
                           widget->setCursorPosition(line.cursor);
                         }
                         edit.SetText(FromQString(line.text));
                       });
      return widget;
    }
    case ControlKind::kButton: {
      auto& button = static_cast<TButton&>(control);
      auto* widget = new QPushButton(ToQString(button.Caption()), parent);
      QObject::connect(widget, &QPushButton::clicked, widget, [&button] { button.Click(); });
      return widget;
    }
    case ControlKind::kLogPane:
      return new LogPanel(static_cast<TLogPane&>(control), parent);
  }
  return new QWidget(parent);
}

void MainWindowView::Sync(const TControl& control, QWidget& widget) {
  widget.setVisible(control.Visible());
  widget.setEnabled(control.Enabled());
  switch (control.Kind()) {
    case ControlKind::kLabel: {
      const auto& label = static_cast<const TLabel&>(control);
      static_cast<QLabel&>(widget).setText(ToQString(label.Caption()));
      SetRole(&widget, QPalette::WindowText, label.FontColor());
      Place(control);  // the text may need more room
      break;
    }
    case ControlKind::kEdit: {
      const auto& edit = static_cast<const TEdit&>(control);
      auto& line = static_cast<QLineEdit&>(widget);
      if (line.text() != ToQString(edit.Text())) line.setText(ToQString(edit.Text()));
      line.setReadOnly(edit.ReadOnly());
      SetRole(&widget, QPalette::Base, edit.Color());
      break;
    }
    case ControlKind::kButton:
      SetRole(&widget, QPalette::ButtonText, static_cast<const TButton&>(control).FontColor());
      break;
    case ControlKind::kPanel:
    case ControlKind::kGroupBox:
    case ControlKind::kLogPane:
      break;
  }
}

void MainWindowView::BuildControls() {
  QWidget* previous = nullptr;
  for (TControl* control : form_.Controls()) {
    QWidget* parent = control->Parent() ? widgets_.value(control->Parent()) : this;
    QWidget* widget = Make(*control, parent);
    widget->setObjectName(QString::fromStdString(control->Name()));
    widgets_.insert(control, widget);
    // Creation order is the tab order.
    if (control->TabStop()) {
      if (previous) setTabOrder(previous, widget);
      previous = widget;
    }
  }
  for (TControl* control : form_.Controls()) {
    QWidget* widget = widgets_.value(control);
    if (control->Kind() == ControlKind::kLabel) {
      if (const TControl* named = static_cast<const TLabel*>(control)->FocusControl) {
        static_cast<QLabel*>(widget)->setBuddy(widgets_.value(named));
      }
    }
    Place(*control);
    Sync(*control, *widget);
    control->SetObserver([this, control, widget] { Sync(*control, *widget); });
  }
}

void MainWindowView::Place(const TControl& control) {
  QWidget* widget = widgets_.value(&control);
  if (!widget) return;
  TRect rect =
      PlaceInParent(control, width(), height(), TMainForm::kClientWidth, TMainForm::kClientHeight);
  if (const TControl* parent = control.Parent()) {
    const FrameInsets insets = InsetsOf(*parent, *widgets_.value(parent), form_);
    rect.left += insets.left;
    rect.top += insets.top;
    if (control.Anchoring().right) {
      rect.width = std::max(0, rect.width - insets.left - insets.right);
    }
    if (control.Anchoring().bottom) {
      rect.height = std::max(0, rect.height - insets.top - insets.bottom);
    }
  }
  if (control.Kind() == ControlKind::kLabel) {
    // Texts longer than their nominal place grow it rather than being cut.
    const auto* label = static_cast<const QLabel*>(widget);
    if (label->wordWrap()) {
      rect.height = std::max(rect.height, label->heightForWidth(rect.width));
    } else {
      rect.width = std::max(rect.width, label->sizeHint().width());
    }
  }
  widget->setGeometry(rect.left, rect.top, rect.width, rect.height);
}

void MainWindowView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  for (const TControl* control : form_.Controls()) Place(*control);
}

void MainWindowView::BuildMenu() {
  menu_ = new QMenu(this);
  for (TMenuItem* item : form_.PopupMenu1()) {
    QAction* action =
        item->IsSeparator() ? menu_->addSeparator() : menu_->addAction(ToQString(item->Caption()));
    action->setCheckable(item->Checkable());
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
