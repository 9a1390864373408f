// The Windows log pane at the size of a long session, under wine: how fast lines go into
// the pane with the window shown, and what each line costs in memory. The pane runs as in
// the program: the Win32 window over a TMainForm, lines posted through the dispatcher as
// relay workers post them, 100 at a time between two turns of the message loop.
//
// Usage: win32_log_pane_bench (make bench-windows runs it on a display of its own).
#include "gui_win32/windows_api.h"
// After windows.h, which it needs.
#include <psapi.h>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "gui_win32/main_window.h"
#include "gui_win32/win32_dispatcher.h"
#include "gui_win32/win32_tray_icon.h"
#include "shell/UOListener.h"
#include "tests/fakes/fake_media.h"
#include "tests/fakes/recording_dialogs.h"

namespace velmor::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kLines = 100000;
constexpr int kBatch = 100;
constexpr double kLinesPerSecondTarget = 2000;
constexpr double kBytesPerLineTarget = 300;

// The process's resident memory, as the system counts it.
double WorkingSetBytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<double>(counters.WorkingSetSize);
}

// What the C library's heap has handed out.
double HeapBytes() {
  _HEAPINFO entry = {};
  double used = 0;
  while (_heapwalk(&entry) == _HEAPOK) {
    if (entry._useflag == _USEDENTRY) used += static_cast<double>(entry._size);
  }
  return used;
}

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Lines of the length and mix a busy server gives.
LogLine LineNumber(int i) {
  return {"14:05:" + std::to_string(10 + i % 50) + " [Spieler" + std::to_string(i % 37) +
              "] Gr\xFC\xDF"
              "e aus Britain, wer kommt mit? " +
              std::to_string(i),
          (velmor::RGB)(i * 40 % 200, i * 70 % 200, i * 90 % 200),
          i % 5 == 0 ? LogStyle::kItalic : LogStyle::kRegular};
}

// `at_least`: the figure should reach the target, else stay below it.
void Verdict(const char* what, double figure, double target, const char* unit, bool at_least) {
  const bool held = at_least ? figure >= target : figure <= target;
  std::printf("  %-9s %s: %.0f %s (target %s %.0f %s)\n", held ? "[held]" : "[missed]", what,
              figure, unit, at_least ? ">=" : "<=", target, unit);
}

int Run() {
  const fs::path folder = fs::temp_directory_path() /
                          ("velmor-win32-pane-bench-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(folder);
  double lines_per_second = 0;
  double bytes_per_line = 0;
  {
    Win32MainWindow window(GetModuleHandleW(nullptr));
    Win32Dispatcher dispatcher;
    dispatcher.SetWindow(window.Handle());
    testing::RecordingDialogs dialogs;
    Win32TrayIcon tray(window.Handle());
    testing::FakeMediaSystem media;
    TMainForm form(
        MainFormServices{dialogs, dispatcher, window.Timers(), tray, media, "velmor", folder});
    window.Attach(form, dispatcher, tray);
    window.Show();
    Pump();
    // The fonts and the live log file are made with the first lines.
    for (int i = 0; i < 200; ++i) form.LogTalking.AppendLogLine(LineNumber(i));
    Pump();
    const double heap_before = HeapBytes();
    const double resident_before = WorkingSetBytes();
    double text = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kLines; i += kBatch) {
      for (int j = i; j < i + kBatch; ++j) {
        LogLine line = LineNumber(j);
        text += static_cast<double>(line.text.size());
        dispatcher.Post([&form, line = std::move(line)] { form.LogTalking.AppendLogLine(line); });
      }
      Pump();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    lines_per_second = kLines / seconds;
    bytes_per_line = (HeapBytes() - heap_before - text) / kLines;
    const double resident_per_line = (WorkingSetBytes() - resident_before) / kLines;
    std::printf("Windows log pane (Win32 window over TMainForm, shown, live log file on)\n");
    std::printf(
        "  %d lines in %.2f s: %.0f lines/s; heap beyond the text %.0f B per line, "
        "resident memory %.0f B per line\n",
        kLines, seconds, lines_per_second, bytes_per_line, resident_per_line);
    window.Detach();
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  std::printf("Windows log pane targets\n");
  Verdict("lines appended per second", lines_per_second, kLinesPerSecondTarget, "lines/s", true);
  Verdict("memory per line beyond its text", bytes_per_line, kBytesPerLineTarget, "bytes", false);
  return 0;
}

}  // namespace
}  // namespace velmor::bench

int main() {
  return velmor::bench::Run();
}
