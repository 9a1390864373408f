#pragma once

#include <QObject>

#include "gui_qt/qt_dialogs.h"
#include "shell/UOListener.h"

namespace velmor {

// The ways out besides the exit command: a termination signal and the end of the desktop
// session. Either closes every open message box (each one's loop would hold the exit back)
// and has the main window run its exit steps from the top of the event loop; one that comes
// while the window is still being built waits for it. Main thread only.
class ProgramEnd : public QObject {
 public:
  // Watches the application for the session's request to quit.
  explicit ProgramEnd(QtDialogs& dialogs);

  // The window is complete: an end asked for meanwhile runs now.
  void Attach(TMainForm& form);
  // A termination signal or the end of the session.
  void Request();
  // A session save that need not be the end: the settings are written, nothing ends.
  void SaveSession();

 protected:
  // The program leaves its loop through QCoreApplication::exit after its exit steps, so a
  // request to quit that reaches the application always comes from outside: the session.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QtDialogs& dialogs_;
  TMainForm* form_ = nullptr;
  bool waiting_for_form_ = false;
};

}  // namespace velmor
