// The program entry: builds the platform services, the main window and its Qt view, and
// runs the message loop until the exit command (or a signal, or the end of the desktop
// session, which run the same exit steps).
#include <QApplication>
#include <QSessionManager>
#include <cstdlib>
#include <memory>

#include "app/working_folder.h"
#include "audio_sdl/sdl_media_system.h"
#include "gui_qt/main_window_view.h"
#include "gui_qt/program_end.h"
#include "gui_qt/qt_dialogs.h"
#include "gui_qt/qt_dispatcher.h"
#include "gui_qt/qt_timer_host.h"
#include "gui_qt/qt_tray_icon.h"
#include "gui_qt/signal_bridge.h"
#include "relay/thread_count.h"
#include "shell/UOListener.h"
#include "shell/application_title.h"

int main(int argc, char** argv) {
  using namespace velmor;
  // A signal before the bridge below takes over must wait for it rather than end the
  // program unsaved.
  SignalBridge::HoldSignals();
  QApplication app(argc, argv);
  // The window hides instead of closing; only the exit command ends the program.
  QApplication::setQuitOnLastWindowClosed(false);
  const std::string program_file = QApplication::applicationFilePath().toStdString();
  // The taskbar groups the window under the application title, not the caption.
  QApplication::setApplicationName(QString::fromStdString(ApplicationTitle(program_file)));

  QtDispatcher dispatcher(&app);
  QtDialogs dialogs;
  // QApplication took its own options out of argv.
  if (argc > 1) {
    const char* home = std::getenv("HOME");
    if (auto error = EnterWorkingFolder(argv[1], home ? home : "")) {
      dialogs.ShowError(*error, ApplicationTitle(program_file));
      return 1;
    }
  }
  // Start-up may already show a message box, whose loop would otherwise hold a signal back.
  ProgramEnd program_end(dialogs);
  SignalBridge signal_bridge([&program_end] { program_end.Request(); });
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                   [&program_end](QSessionManager&) { program_end.SaveSession(); });

  QtTimerHost timers;
  QtTrayIcon tray;
  SdlMediaSystem media(dispatcher);

  auto form = std::make_unique<TMainForm>(
      MainFormServices{dialogs, dispatcher, timers, tray, media, program_file, {}});
  auto view = std::make_unique<MainWindowView>(*form);
  dialogs.SetParent(view.get());
  tray.SetMenu(&view->PopupMenu(), view.get());
  // The loop ends from its top, once the command that ran the exit steps is off the stack;
  // posted, it also ends a loop that starts only after them.
  form->OnTerminate = [&app] {
    QMetaObject::invokeMethod(
        &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  };

  form->RunGuarded([&form] { form->ApplyStartHidden(); });
  program_end.Attach(*form);
  // The message loop first shows the window; a "Hide" start hides it 100 ms later.
  view->show();
  app.exec();

  // The relay stops with the window, before the process ends.
  view.reset();
  form.reset();
  // Workers end with the relay; only one whose tap call hangs could still be running.
  // Everything is saved by now, so the wait for it is bounded.
  WaitForRelayThreads(std::chrono::seconds(10));
  return 0;
}
