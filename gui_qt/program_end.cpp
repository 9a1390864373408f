#include "gui_qt/program_end.h"

#include <QCoreApplication>
#include <QEvent>

namespace velmor {

ProgramEnd::ProgramEnd(QtDialogs& dialogs) : dialogs_(dialogs) {
  QCoreApplication::instance()->installEventFilter(this);
}

void ProgramEnd::Attach(TMainForm& form) {
  form_ = &form;
  if (requested_) RunExitSteps();
}

void ProgramEnd::Request() {
  requested_ = true;
  // A message box runs a loop of its own, which would hold the exit back until someone
  // closes it.
  dialogs_.CloseAll();
  QMetaObject::invokeMethod(
      this, [this] { RunExitSteps(); }, Qt::QueuedConnection);
}

void ProgramEnd::RunExitSteps() {
  if (form_) form_->RunGuarded([this] { form_->TrayMenuBeendenClick(); });
}

void ProgramEnd::SaveSession() {
  if (form_) form_->RunGuarded([this] { form_->SaveSession(); });
}

bool ProgramEnd::eventFilter(QObject* watched, QEvent* event) {
  // The session's end asks the application to quit; the program's own quit comes after its
  // exit steps and goes ahead.
  if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit &&
      !(form_ && form_->Terminated())) {
    Request();
    return true;
  }
  return false;
}

}  // namespace velmor
