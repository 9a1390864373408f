// The Windows entry: builds the platform services, the main window and its Win32 view, and
// runs the message loop until the exit command (or the end of the session, which runs the
// same exit steps). A program of the window subsystem has no console, so no console event
// ever reaches it.
#include "gui_win32/windows_api.h"
// After windows.h, which it needs: the command line's arguments.
#include <shellapi.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "app/working_folder.h"
#include "audio_winmm/mci_media_system.h"
#include "gui_win32/main_window.h"
#include "gui_win32/win32_dialogs.h"
#include "gui_win32/win32_dispatcher.h"
#include "gui_win32/win32_tray_icon.h"
#include "platform/text_codec.h"
#include "relay/thread_count.h"
#include "shell/UOListener.h"
#include "shell/application_title.h"

namespace {

std::string ProgramFile() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return velmor::WideToWindows1252(path);
    }
    path.resize(path.size() * 2);
  }
}

// The folder the command line names, if any (see EnterWorkingFolder).
std::optional<std::string> EnterFolderOfCommandLine() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return std::nullopt;
  std::optional<std::string> error;
  if (count > 1) {
    const wchar_t* home = _wgetenv(L"USERPROFILE");
    error = velmor::EnterWorkingFolder(arguments[1], home ? home : L"");
  }
  LocalFree(arguments);
  return error;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace velmor;
  // DLLs loaded by name from here on (winmm and iphlpapi at their first call) come from the
  // system folder only, never from the program's folder, where anyone may have put one.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  const std::string program_file = ProgramFile();
  Win32MainWindow window(instance);
  Win32Dispatcher dispatcher;
  dispatcher.SetWindow(window.Handle());
  Win32Dialogs dialogs;
  dialogs.SetOwner(window.Handle());
  if (auto error = EnterFolderOfCommandLine()) {
    dialogs.ShowError(*error, ApplicationTitle(program_file));
    return 1;
  }
  Win32TrayIcon tray(window.Handle());
  MciMediaSystem media;

  // The end of the session may come while the window is still being built (its message
  // boxes run the loop): the exit steps then wait for the window.
  std::unique_ptr<TMainForm> form;
  bool end_requested = false;
  window.OnExitSteps = [&form, &dialogs, &end_requested] {
    dialogs.CloseAllAndBlock();
    if (form) {
      form->TrayMenuBeendenClick();
    } else {
      end_requested = true;
    }
  };
  form = std::make_unique<TMainForm>(
      MainFormServices{dialogs, dispatcher, window.Timers(), tray, media, program_file, {}});
  window.Attach(*form, dispatcher, tray);
  // The loop ends on this flag rather than WM_QUIT, which a modal loop (the popup menu's,
  // a message box's) may take out of the queue.
  bool quit = false;
  form->OnTerminate = [&quit, &window] {
    // Gone from the screen at once, whatever the rest of the ending takes.
    ShowWindow(window.Handle(), SW_HIDE);
    quit = true;
    PostMessageW(window.Handle(), WM_NULL, 0, 0);
  };

  form->RunGuarded([&form] { form->ApplyStartHidden(); });
  if (end_requested) form->RunGuarded([&form] { form->TrayMenuBeendenClick(); });
  // The message loop first shows the window; a "Hide" start hides it 100 ms later.
  if (!quit) window.Show();
  MSG message;
  while (!quit && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window.PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // The relay stops with the window, before the process ends.
  dispatcher.SetWindow(nullptr);
  window.Detach();
  form.reset();
  // A worker still stuck in a connect attempt may hold the exit for a while; everything is
  // saved by now, so the wait is bounded.
  WaitForRelayThreads(std::chrono::seconds(10));
  return 0;
}
