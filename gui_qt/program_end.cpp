#include "gui_qt/program_end.h"

#include <QCoreApplication>
#include <QEvent>

namespace velmor {

ProgramEnd::ProgramEnd(QtDialogs& dialogs) : dialogs_(dialogs) {
  QCoreApplication::instance()->installEventFilter(this);
}

void ProgramEnd::Attach(TMainForm& form) {
  form_ = &form;
  if (waiting_for_form_) Request();
}

void ProgramEnd::Request() {
  dialogs_.CloseAll();
  if (!form_) {
    waiting_for_form_ = true;
    return;
  }
  QMetaObject::invokeMethod(
      this, [this] { form_->RunGuarded([this] { form_->TrayMenuBeendenClick(); }); },
      Qt::QueuedConnection);
}

void ProgramEnd::SaveSession() {
  if (form_) form_->RunGuarded([this] { form_->SaveSession(); });
}

bool ProgramEnd::eventFilter(QObject* watched, QEvent* event) {
  if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
    Request();
    return true;
  }
  return false;
}

}  // namespace velmor
